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

from processes import run

tool, work = sys.argv[1:3]
reps = int(sys.argv[3]) if len(sys.argv) > 3 else 5
os.makedirs(work, exist_ok=True)
os.chdir(work)
BASE, REGION = 0x08000000, 4 << 20
parts = []
for i in range(4):
    with open(f'region{i}.bin', 'wb') as f:
        f.write(os.urandom(REGION))
    parts.append(f'region{i}.bin@{BASE + 2 * i * REGION:#x}')
run([tool, 'cat', *parts, '-o', 'image.hex'])

print('| Intel HEX to | output | median / best | vs Intel HEX median '
      '| max RSS | vs Intel HEX |\n|---|---:|---:|---:|---:|---:|')
base = None
bad = False
for name, out, extra in (('Intel HEX', 'o.hex', []),
                         ('UF2', 'o.uf2', ['--uf2-family', 'STM32F4']),
                         ('DfuSe', 'o.dfu', [])):
    runs = [run([tool, 'cat', 'image.hex', '-o', out, *extra])
            for _ in range(reps)]
    med = statistics.median(r[0] for r in runs)
    best = min(r[0] for r in runs)
    rss = max(r[2] for r in runs)
    base = base or (med, rss)
    alike = subprocess.run([tool, 'cmp', 'image.hex', out],
                           stdout=subprocess.DEVNULL).returncode == 0
    bad |= not alike
    print(f'| {name} | {os.path.getsize(out) / 2**20:.1f} MiB '
          f'| {med:.3f} / {best:.3f} s | {base[0] / med:.2f} x '
          f'| {rss:.1f} MiB | {rss - base[1]:+.1f} MiB |'
          + ('' if alike else ' **another image**'))
sys.exit(1 if bad else 0)
