#!/usr/bin/python3
"""Times `dwxvmm cat` from Intel HEX to UF2 and to DfuSe against the same
16 MiB image written as Intel HEX, each as a whole process; prints a table
and exits 1 if an output holds another image (dwxvmm cmp).

Usage: flash.py DWXVMM WORKDIR [REPS]
"""
import os
import statistics
import subprocess
import sys

from processes import regions_hex, run

tool, work = sys.argv[1:3]
reps = int(sys.argv[3]) if len(sys.argv) > 3 else 5
os.makedirs(work, exist_ok=True)
os.chdir(work)
regions_hex(tool, 0x08000000, 4 << 20)

print('| Intel HEX to | output | median / best | CPU median | vs Intel HEX '
      '(wall / CPU) | max RSS |\n|---|---:|---:|---:|---:|---:|')
cases = (('Intel HEX', 'o.hex', []),
         ('UF2', 'o.uf2', ['--uf2-family', 'STM32F4']),
         ('DfuSe', 'o.dfu', []))
# Interleaved, so that a busy spell of a shared machine hits every case.
runs = {name: [] for name, _, _ in cases}
for _ in range(reps):
    for name, out, extra in cases:
        runs[name].append(run([tool, 'cat', 'image.hex', '-o', out, *extra]))
base = None
bad = False
for name, out, _ in cases:
    wall = statistics.median(r[0] for r in runs[name])
    cpu = statistics.median(r[1] for r in runs[name])
    best = min(r[0] for r in runs[name])
    rss = max(r[2] for r in runs[name])
    base = base or (wall, cpu)
    alike = subprocess.run([tool, 'cmp', 'image.hex', out],
                           stdout=subprocess.DEVNULL).returncode == 0
    bad |= not alike
    print(f'| {name} | {os.path.getsize(out) / 2**20:.1f} MiB '
          f'| {wall:.3f} / {best:.3f} s | {cpu:.3f} s '
          f'| {base[0] / wall:.2f} / {base[1] / cpu:.2f} x | {rss:.1f} MiB |'
          + ('' if alike else ' **another image**'))
sys.exit(1 if bad else 0)
