#!/usr/bin/python3
"""Times `dwxvmm map ... -o X.svg` on 10,000 runs, and headless Chromium
drawing the picture, against Chromium drawing the picture of no data: the
difference is what the runs cost a browser. Prints a table.

Usage: map_svg.py DWXVMM WORKDIR [REPS]
REPS runs each (default 5), whole processes; the median and the best.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

from processes import run

tool, work = sys.argv[1:3]
reps = int(sys.argv[3]) if len(sys.argv) > 3 else 5
os.makedirs(work, exist_ok=True)
os.chdir(work)


def write_hex(name, blocks):
    lines = []
    for address, data in blocks:
        for kind, at, body in ((4, 0, [address >> 24, address >> 16 & 255]),
                               (0, address & 0xFFFF, data)):
            fields = [len(body), at >> 8, at & 255, kind, *body]
            lines.append(':' + ''.join(f'{b:02X}' for b in fields) +
                         f'{-sum(fields) & 255:02X}')
    open(name, 'w').write('\n'.join(lines + [':00000001FF']) + '\n')


write_hex('band.hex', [(0x20000000 + 32 * i, [i & 255] * 8)
                       for i in range(10000)])
write_hex('every.hex', [(i * 429_451, [i & 255] * (1 + i % 40))
                        for i in range(10000)])
open('empty.bin', 'wb').close()


def chromium(svg):
    profile = tempfile.mkdtemp()
    try:
        return run(['chromium', '--headless', '--no-sandbox', '--disable-gpu',
                    '--no-first-run', '--disable-background-networking',
                    '--disable-component-update', '--disable-sync',
                    f'--user-data-dir={profile}', '--screenshot=shot.png',
                    '--window-size=1000,1000', 'file://' + os.path.abspath(svg)])
    finally:
        shutil.rmtree(profile, ignore_errors=True)


def median_best(times):
    return statistics.median(times), min(times)


run([tool, 'map', 'empty.bin', '-o', 'empty.svg'])
blank = median_best([chromium('empty.svg')[0] for _ in range(reps)])
print('| 10,000 runs | SVG | dwxvmm map median / best | Chromium median / best '
      '| less no data: median / best |\n|---|---:|---:|---:|---:|')
for name, src in (('in one band', 'band.hex'), ('in every region', 'every.hex')):
    svg = src.replace('.hex', '.svg')
    made = median_best([run([tool, 'map', src, '-o', svg])[0]
                        for _ in range(reps)])
    drawn = median_best([chromium(svg)[0] for _ in range(reps)])
    print(f'| {name} | {os.path.getsize(svg) / 1000:.0f} kB '
          f'| {made[0]:.3f} / {made[1]:.3f} s | {drawn[0]:.2f} / {drawn[1]:.2f} s '
          f'| {drawn[0] - blank[0]:.2f} / {drawn[1] - blank[1]:.2f} s |')
