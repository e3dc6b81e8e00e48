#!/usr/bin/python3
"""Times `dwxvmm cat` against srec_cat doing the same conversion of the same
16 MiB image (four 4 MiB regions with 4 MiB holes between them), and the
same build edit of it (fill a 32 MiB flash with 0xff short of its last word,
a CRC-32 of the rest in that word), each as a whole process; prints a table
and exits 1 if two outputs differ.

Usage: cli.py DWXVMM WORKDIR [REPS]
REPS runs each (default 5), timed as bench/processes.py says; outputs are
compared with srec_cmp.
"""
import os
import sys

from processes import HEADER, regions_hex, row, run, same

tool, work = sys.argv[1:3]
reps = int(sys.argv[3]) if len(sys.argv) > 3 else 5
os.makedirs(work, exist_ok=True)
os.chdir(work)
BASE, REGION = 0x08000000, 4 << 20
LAST = BASE + 7 * REGION - 1  # the highest written byte
CRC_AT = BASE + 8 * REGION - 4  # the last word of a 32 MiB flash


regions_hex(tool, BASE, REGION)
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
    # srec_cat's CRC covers all the data, which the fill's range holds.
    ('fill and CRC-32, Intel HEX', 'image.hex', 'o3.hex', 't3.hex', '-intel',
     [tool, 'cat', 'image.hex', '--fill', f'0xff@{BASE:#x}-{CRC_AT - 1:#x}',
      '--checksum', f'crc32-le@{CRC_AT:#x}:{BASE:#x}-{CRC_AT - 1:#x}', '-o',
      'o3.hex'],
     ['srec_cat', 'image.hex', '-intel', '-fill', '0xff', f'{BASE:#x}',
      f'{CRC_AT:#x}', '-crc32-l-e', f'{CRC_AT:#x}', '-o', 't3.hex', '-intel',
      block]),
)
print(HEADER.format(what='conversion', peer='srec_cat'))
bad = False
for name, src, out, theirs_out, flag, ours_cmd, theirs_cmd in cases:
    ours = [run(ours_cmd) for _ in range(reps)]
    theirs = [run(theirs_cmd) for _ in range(reps)]
    alike = same(out, theirs_out, flag)
    bad |= not alike
    print(row(name, src, ours, theirs, alike))
sys.exit(1 if bad else 0)
