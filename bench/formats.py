#!/usr/bin/python3
"""Times loading and saving the 16 MiB image in the same format, ours
(image_convert) against srec_cat, each as a whole process; prints a table.

Usage: formats.py IMAGE_CONVERT WORKDIR [REPS]
REPS runs each (default 5), timed as bench/processes.py says; the outputs
are compared with srec_cmp.
"""
import os
import subprocess
import sys

from processes import HEADER, row, run, same

tool, work = sys.argv[1:3]
reps = int(sys.argv[3]) if len(sys.argv) > 3 else 5
subprocess.run([tool, 'make', work], check=True, stderr=subprocess.DEVNULL)
print(HEADER.format(what='format', peer='srec_cat'))
bad = False
for name, flag, ext in (('Intel HEX', '-intel', 'hex'),
                        ('Motorola S-record', '-motorola', 'srec')):
    src = os.path.join(work, 'image.' + ext)
    ours_out, theirs_out = src + '.ours', src + '.theirs'
    ours = [run([tool, name, src, ours_out]) for _ in range(reps)]
    theirs = [run(['srec_cat', src, flag, '-o', theirs_out, flag,
                   '-Output_Block_Size=32']) for _ in range(reps)]
    alike = same(ours_out, theirs_out, flag)
    bad |= not alike
    print(row(name, src, ours, theirs, alike))
sys.exit(1 if bad else 0)
