#!/usr/bin/python3
"""Times loading and saving the 16 MiB image in the same format, ours
(image_convert) against srec_cat, each as a whole process; prints a table.

Usage: formats.py IMAGE_CONVERT WORKDIR [REPS]
Times are the median wall-clock seconds of REPS runs (default 5); peak
resident memory (max RSS) of one run. Outputs are compared with srec_cmp.
"""
import os
import statistics
import subprocess
import sys
import time

tool, work = sys.argv[1:3]
reps = int(sys.argv[3]) if len(sys.argv) > 3 else 5
subprocess.run([tool, 'make', work], check=True)


def run(cmd):
    start = time.perf_counter()
    p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    if status != 0:
        sys.exit(f'failed: {" ".join(cmd)}')
    return time.perf_counter() - start, usage.ru_maxrss / 1024


print('| format | file | ours | srec_cat | ratio | ours max RSS | srec_cat max RSS |')
print('|---|---:|---:|---:|---:|---:|---:|')
bad = False
for name, flag, ext in (('Intel HEX', '-intel', 'hex'),
                        ('Motorola S-record', '-motorola', 'srec')):
    src = os.path.join(work, 'image.' + ext)
    ours_out, theirs_out = src + '.ours', src + '.theirs'
    ours = [run([tool, name, src, ours_out]) for _ in range(reps)]
    theirs = [run(['srec_cat', src, flag, '-o', theirs_out, flag,
                   '-Output_Block_Size=32']) for _ in range(reps)]
    same = subprocess.run(['srec_cmp', ours_out, flag, theirs_out, flag],
                          stderr=subprocess.DEVNULL).returncode == 0
    bad |= not same
    a = statistics.median(t for t, _ in ours)
    b = statistics.median(t for t, _ in theirs)
    print(f'| {name} | {os.path.getsize(src) / 2**20:.1f} MiB | {a:.3f} s '
          f'| {b:.3f} s | {b / a:.1f} x | {ours[0][1]:.1f} MiB '
          f'| {theirs[0][1]:.1f} MiB |' + ('' if same else ' **outputs differ**'))
sys.exit(1 if bad else 0)
