#!/usr/bin/python3
"""Times a serial batch, `dwxvmm cat app.hex --serial ... --count N`, against
N separate conversions with `--set`, each with a CRC over the serial: a
1 MiB application in Intel HEX, a file a device. Prints a table and exits 1
if a batch file differs from its single conversion or the batch takes more
than 0.6 of the singles' time.

Usage: serials.py DWXVMM WORKDIR [REPS] [COUNT]
"""
import filecmp
import os
import shutil
import statistics
import subprocess
import sys
import time

tool, work = sys.argv[1:3]
reps = int(sys.argv[3]) if len(sys.argv) > 3 else 5
count = int(sys.argv[4]) if len(sys.argv) > 4 else 1000
os.makedirs(work, exist_ok=True)
os.chdir(work)
with open('app.bin', 'wb') as f:
    f.write(os.urandom(1 << 20))
subprocess.run([tool, 'cat', 'app.bin@0x08000000', '-o', 'app.hex'],
               stdout=subprocess.DEVNULL, check=True)
at, crc = 0x08100000, ['--checksum', 'crc32-le@0x08100004']


def timed(commands):
    """Runs the commands one after another: (wall, CPU) seconds in all."""
    start, cpu = time.perf_counter(), 0.0
    for cmd in commands:
        p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL)
        _, status, usage = os.wait4(p.pid, 0)
        if status != 0:
            sys.exit(f'failed: {" ".join(cmd)}')
        cpu += usage.ru_utime + usage.ru_stime
    return time.perf_counter() - start, cpu


batch, single = [], []
for _ in range(reps):
    for folder in ('batch', 'single'):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
    batch.append(timed([[tool, 'cat', 'app.hex', '--serial', f'u32le@{at:#x}:1',
                         '--count', str(count), *crc, '-o', 'batch/{n}.hex']]))
    single.append(timed([[tool, 'cat', 'app.hex', '--set', f'u32le:{n}@{at:#x}',
                          *crc, '-o', f'single/{n}.hex']
                         for n in range(1, count + 1)]))
names = [f'{n}.hex' for n in range(1, count + 1)]
_, differ, missing = filecmp.cmpfiles('batch', 'single', names, shallow=False)
wall = [statistics.median(r[0] for r in x) for x in (batch, single)]
cpu = [statistics.median(r[1] for r in x) for x in (batch, single)]
ratio = wall[0] / wall[1]
print(f'| {count} images of a 1 MiB application | one batch | {count} '
      '--set conversions | batch / singles (wall) | CPU |\n'
      '|---|---:|---:|---:|---:|\n'
      f'| Intel HEX, a CRC-32 over the serial | {wall[0]:.2f} s | {wall[1]:.2f} s '
      f'| {ratio:.2f} x (target 0.60) | {cpu[0] / cpu[1]:.2f} x |'
      + (' **files differ**' if differ or missing else ''))
sys.exit(1 if differ or missing or ratio > 0.6 else 0)
