#!/usr/bin/python3
"""Times loading and saving the 16 MiB image in the same format, ours
(image_convert) against srec_cat, each as a whole process; prints a table.

Usage: formats.py IMAGE_CONVERT WORKDIR [REPS]
Wall-clock times of REPS runs each (default 5), median and best (noise on a
shared machine only adds time), the median CPU time (user + system) ratio,
and the peak resident memory (max RSS). The outputs are compared with
srec_cmp.
"""
import os
import statistics
import subprocess
import sys
import time

tool, work = sys.argv[1:3]
reps = int(sys.argv[3]) if len(sys.argv) > 3 else 5
subprocess.run([tool, 'make', work], check=True, stderr=subprocess.DEVNULL)


def run(cmd):
    start = time.perf_counter()
    p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    if status != 0:
        sys.exit(f'failed: {" ".join(cmd)}')
    return (time.perf_counter() - start, usage.ru_utime + usage.ru_stime,
            usage.ru_maxrss / 1024)


print('| format | file | ours median / best | srec_cat median / best '
      '| ratio median / best | CPU ratio | max RSS ours / srec_cat |')
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
    med = [statistics.median(r[0] for r in x) for x in (ours, theirs)]
    best = [min(r[0] for r in x) for x in (ours, theirs)]
    cpu = [statistics.median(r[1] for r in x) for x in (ours, theirs)]
    print(f'| {name} | {os.path.getsize(src) / 2**20:.1f} MiB '
          f'| {med[0]:.3f} / {best[0]:.3f} s | {med[1]:.3f} / {best[1]:.3f} s '
          f'| {med[1] / med[0]:.1f} / {best[1] / best[0]:.1f} x '
          f'| {cpu[1] / cpu[0]:.1f} x | {ours[0][2]:.1f} / {theirs[0][2]:.1f} MiB |'
          + ('' if same else ' **outputs differ**'))
sys.exit(1 if bad else 0)
