#!/usr/bin/python3
"""Times loading and saving the 16 MiB image in the same format, ours
(image_convert) against srec_cat, each as a whole process; prints a table.

Usage: formats.py IMAGE_CONVERT WORKDIR [REPS]
Times are medians of REPS runs (default 5): wall clock, and CPU time (user +
system, which a busy shared machine disturbs less); peak resident memory
(max RSS) of one run. The two outputs are compared with srec_cmp.
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


print('| format | file | ours | srec_cat | ratio | ours CPU | srec_cat CPU '
      '| CPU ratio | ours max RSS | srec_cat max RSS |')
print('|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|')
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
    a, b = (statistics.median(r[0] for r in x) for x in (ours, theirs))
    ca, cb = (statistics.median(r[1] for r in x) for x in (ours, theirs))
    print(f'| {name} | {os.path.getsize(src) / 2**20:.1f} MiB | {a:.3f} s '
          f'| {b:.3f} s | {b / a:.1f} x | {ca:.3f} s | {cb:.3f} s '
          f'| {cb / ca:.1f} x | {ours[0][2]:.1f} MiB | {theirs[0][2]:.1f} MiB |'
          + ('' if same else ' **outputs differ**'))
sys.exit(1 if bad else 0)
