#!/usr/bin/python3
"""Times `dwxvmm dump` of 1 MiB of data spread over the 4 GiB address space
(16 blocks of 64 KiB, the last at the top), and `dwxvmm cmp` of it against
a copy with a 4 KiB table changed: both grow with the data, not the span.
Prints a table; exits 1 unless the dump takes under a second.

Usage: dump.py DWXVMM WORKDIR [REPS]
"""
import os
import random
import statistics
import subprocess
import sys
import time


tool, work = map(os.path.abspath, sys.argv[1:3])
reps = int(sys.argv[3]) if len(sys.argv) > 3 else 5
os.makedirs(work, exist_ok=True)
os.chdir(work)

rnd = random.Random(29)
blocks = [(min(i * 0x10000000 + 0x08000000, 0xFFFF0000), rnd.randbytes(0x10000))
          for i in range(16)]


def write_srec(name, blocks):
    lines = []
    for address, data in blocks:
        for at in range(0, len(data), 32):
            body = (address + at).to_bytes(4, 'big') + data[at:at + 32]
            fields = bytes([len(body) + 1]) + body
            lines.append('S3' + fields.hex().upper() +
                         f'{~sum(fields) & 255:02X}')
    open(name, 'w').write('\n'.join(lines + ['S70500000000FA']) + '\n')


write_srec('a.srec', blocks)
changed = list(blocks)
changed[7] = (blocks[7][0], blocks[7][1][:0x1000] +
              bytes(b ^ 0xFF for b in blocks[7][1][0x1000:0x2000]) +
              blocks[7][1][0x2000:])
write_srec('b.srec', changed)
size = len(subprocess.run([tool, 'dump', 'a.srec'], capture_output=True,
                          check=True).stdout)


def timed(cmd, status):
    """Wall seconds of one run of cmd, which must end with status."""
    start = time.perf_counter()
    p = subprocess.run(cmd, stdout=subprocess.DEVNULL)
    if p.returncode != status:
        sys.exit(f'failed: {" ".join(cmd)}')
    return time.perf_counter() - start


print('| 1 MiB over 4 GiB | output | median / best |\n|---|---:|---:|')
best = {}
for name, cmd, status, out in (
        ('dump', [tool, 'dump', 'a.srec'], 0, f'{size / 1e6:.1f} MB'),
        ('cmp, 4 KiB changed', [tool, 'cmp', 'a.srec', 'b.srec'], 1, '2 lines')):
    wall = [timed(cmd, status) for _ in range(reps)]
    best[name] = min(wall)
    print(f'| {name} | {out} | {statistics.median(wall):.3f} / {min(wall):.3f} s |')
sys.exit(best['dump'] >= 1)
