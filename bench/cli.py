#!/usr/bin/python3
"""Times `dwxvmm cat` against srec_cat doing the same conversion of the same
16 MiB image (four 4 MiB regions with 4 MiB holes between them), each as a
whole process; prints a table and exits 1 if two outputs differ.

Usage: cli.py DWXVMM WORKDIR [REPS]
Times are medians of REPS runs (default 5): wall clock and CPU time (user +
system); peak resident memory (max RSS) of one run. Outputs are compared
with srec_cmp.
"""
import os
import statistics
import subprocess
import sys
import time

tool, work = sys.argv[1:3]
reps = int(sys.argv[3]) if len(sys.argv) > 3 else 5
os.makedirs(work, exist_ok=True)
os.chdir(work)
BASE, REGION = 0x08000000, 4 << 20
LAST = BASE + 7 * REGION - 1  # the highest written byte


def run(cmd):
    start = time.perf_counter()
    p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    if status != 0:
        sys.exit(f'failed: {" ".join(cmd)}')
    return (time.perf_counter() - start, usage.ru_utime + usage.ru_stime,
            usage.ru_maxrss / 1024)


parts = []
for i in range(4):
    with open(f'region{i}.bin', 'wb') as f:
        f.write(os.urandom(REGION))
    parts.append(f'region{i}.bin@{BASE + 2 * i * REGION:#x}')
run([tool, 'cat', *parts, '-o', 'image.hex'])
run([tool, 'cat', 'image.hex', '-o', 'image.srec'])
run([tool, 'cat', 'image.hex', '-o', 'image.bin'])

fill = ['-fill', '0xff', f'{BASE:#x}', f'{LAST + 1:#x}', '-offset',
        f'{-BASE:#x}']
block = '-Output_Block_Size=32'
cases = (
    ('Intel HEX to Intel HEX', 'image.hex', 'o.hex', 't.hex', '-intel',
     [tool, 'cat', 'image.hex', '-o', 'o.hex'],
     ['srec_cat', 'image.hex', '-intel', '-o', 't.hex', '-intel', block]),
    ('Intel HEX to S-record', 'image.hex', 'o.srec', 't.srec', '-motorola',
     [tool, 'cat', 'image.hex', '-o', 'o.srec'],
     ['srec_cat', 'image.hex', '-intel', '-o', 't.srec', '-motorola', block]),
    ('S-record to binary', 'image.srec', 'o.bin', 't.bin', '-binary',
     [tool, 'cat', 'image.srec', '-o', 'o.bin'],
     ['srec_cat', 'image.srec', '-motorola', *fill, '-o', 't.bin',
      '-binary']),
    ('binary to Intel HEX', 'image.bin', 'o2.hex', 't2.hex', '-intel',
     [tool, 'cat', f'image.bin@{BASE:#x}', '-o', 'o2.hex'],
     ['srec_cat', 'image.bin', '-binary', '-offset', f'{BASE:#x}', '-o',
      't2.hex', '-intel', block]),
)
print('| conversion | input | dwxvmm | srec_cat | ratio | dwxvmm CPU '
      '| srec_cat CPU | CPU ratio | dwxvmm max RSS | srec_cat max RSS |')
print('|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|')
bad = False
for name, src, out, theirs_out, flag, ours_cmd, theirs_cmd in cases:
    ours = [run(ours_cmd) for _ in range(reps)]
    theirs = [run(theirs_cmd) for _ in range(reps)]
    same = subprocess.run(['srec_cmp', out, flag, theirs_out, flag],
                          stderr=subprocess.DEVNULL).returncode == 0
    bad |= not same
    a, b = (statistics.median(r[0] for r in x) for x in (ours, theirs))
    ca, cb = (statistics.median(r[1] for r in x) for x in (ours, theirs))
    print(f'| {name} | {os.path.getsize(src) / 2**20:.1f} MiB | {a:.3f} s '
          f'| {b:.3f} s | {b / a:.1f} x | {ca:.3f} s | {cb:.3f} s '
          f'| {cb / ca:.1f} x | {max(r[2] for r in ours):.1f} MiB '
          f'| {max(r[2] for r in theirs):.1f} MiB |'
          + ('' if same else ' **outputs differ**'))
sys.exit(1 if bad else 0)
