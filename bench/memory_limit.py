#!/usr/bin/python3
"""The memory ceiling of a load: an Intel HEX file of 100,000 one-byte
records scattered over 4 GiB (a page each), loaded by `dwxvmm info` under
--max-memory 64M (refused at the record that would pass it) and under the
default (loaded). Prints the time and the peak resident memory of each;
exits 1 unless the refusal takes under a second and 100 MiB.

Usage: memory_limit.py DWXVMM WORKDIR
"""
import os
import random
import subprocess
import sys
import time

tool, work = sys.argv[1:3]
os.makedirs(work, exist_ok=True)
path = os.path.join(work, 'scattered.hex')


def record(kind, address, data):
    body = bytes([len(data), address >> 8 & 0xFF, address & 0xFF, kind]) + data
    return ':' + (body + bytes([-sum(body) & 0xFF])).hex().upper() + '\n'


rng = random.Random(26)
with open(path, 'w') as f:
    for i in range(100000):
        a = (i * 42949 + rng.randrange(4096)) & 0xFFFFFFFF
        f.write(record(4, 0, (a >> 16).to_bytes(2, 'big')))
        f.write(record(0, a & 0xFFFF, b'\x5a'))
    f.write(':00000001FF\n')


def run(args):
    start = time.perf_counter()
    p = subprocess.Popen([tool, 'info', path, *args], stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    return (os.waitstatus_to_exitcode(status), time.perf_counter() - start,
            usage.ru_maxrss / 1024)


print(f'| load of {os.path.getsize(path) / 1e6:.1f} MB, 100,000 pages '
      '| status | seconds | max RSS MiB |\n|---|---:|---:|---:|')
refused = run(['--max-memory', '64M'])
loaded = run([])
for name, (status, seconds, rss) in (('--max-memory 64M', refused),
                                     ('default (1G)', loaded)):
    print(f'| {name} | {status} | {seconds:.2f} | {rss:.0f} |')
sys.exit(0 if refused[0] == 2 and refused[1] < 1 and refused[2] < 100
         and loaded[0] == 0 else 1)
