#!/usr/bin/python3
"""Times `dwxvmm cat` against srec_cat doing the same conversion of the same
16 MiB image (four 4 MiB regions with 4 MiB holes between them), and the
same build edit of it (fill a 32 MiB flash with 0xff short of its last word,
a CRC-32 of the rest in that word), each as a whole process; prints a table
and exits 1 if two outputs differ.

Usage: cli.py DWXVMM WORKDIR [REPS [IMAGE_CONVERT]]
REPS paired runs each (default 5: ours, then srec_cat's, then the floor's),
timed as bench/processes.py says; the ratio is the median of the pairs'
ratios. The floor is `image_convert floor`: a process that reads the input
and writes as many bytes as our output has, 64 KiB a call, into a new file
renamed over the old as the tool writes, the files in the page cache. Outputs are compared with srec_cmp.
"""
import os
import statistics
import sys

from processes import regions_hex, run, same

tool, work = sys.argv[1:3]
reps = int(sys.argv[3]) if len(sys.argv) > 3 else 5
floor_tool = sys.argv[4] if len(sys.argv) > 4 else None
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
print('| conversion | input | ours median / best | srec_cat median / best '
      '| ratio, median of pairs | CPU ratio | floor median | ours / floor '
      '| max RSS ours / srec_cat |\n'
      '|---|---:|---:|---:|---:|---:|---:|---:|---:|')
bad = False
for name, src, out, theirs_out, flag, ours_cmd, theirs_cmd in cases:
    ours, theirs, floor = [], [], []
    for _ in range(reps):
        ours.append(run(ours_cmd))
        theirs.append(run(theirs_cmd))
        if floor_tool:
            floor.append(run([floor_tool, 'floor', src, 'floor.out',
                              os.path.getsize(out)]))
    alike = same(out, theirs_out, flag)
    bad |= not alike
    med = [statistics.median(r[0] for r in x) for x in (ours, theirs)]
    best = [min(r[0] for r in x) for x in (ours, theirs)]
    cpu = [statistics.median(r[1] for r in x) for x in (ours, theirs)]
    pairs = statistics.median(t[0] / o[0] for o, t in zip(ours, theirs))
    low = statistics.median(r[0] for r in floor) if floor else float('nan')
    print(f'| {name} | {os.path.getsize(src) / 2**20:.1f} MiB '
          f'| {med[0]:.3f} / {best[0]:.3f} s | {med[1]:.3f} / {best[1]:.3f} s '
          f'| {pairs:.1f} x | {cpu[1] / cpu[0]:.1f} x | {low:.3f} s '
          f'| {med[0] / low:.1f} x | {ours[0][2]:.1f} / {theirs[0][2]:.1f} MiB |'
          + ('' if alike else ' **outputs differ**'))
sys.exit(1 if bad else 0)
