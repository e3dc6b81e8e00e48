#!/usr/bin/python3
"""The Python module against python3-intelhex, in one run; prints tables.

Usage: python.py MODULE_DIR WORKDIR [REPS]
MODULE_DIR holds the built module. Times a 2 MiB image loaded from Intel
HEX and written back (both sides), a 16 MiB image loaded and saved in a
process of its own with its peak memory, two such images loaded and saved
in two threads against both in one thread, and 1 MiB read and written
through img[a:b] against a copy between bytearrays. REPS runs each
(default 5); the
times are the best and the median.
"""
import os
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, sys.argv[1])
import dwxvmm  # noqa: E402
from intelhex import IntelHex  # noqa: E402

work = sys.argv[2]
reps = int(sys.argv[3]) if len(sys.argv) > 3 else 5
MiB = 1 << 20
os.makedirs(work, exist_ok=True)


def timed(f, n=reps):
    """Best and median wall-clock time, and the median CPU time."""
    wall, cpu = [], []
    for _ in range(n):
        start, start_cpu = time.perf_counter(), time.process_time()
        f()
        wall.append(time.perf_counter() - start)
        cpu.append(time.process_time() - start_cpu)
    return min(wall), statistics.median(wall), statistics.median(cpu)


def make(path, runs):
    img = dwxvmm.Image()
    for a, n in runs:
        img[a:a + n] = os.urandom(n)
    img.start_address = runs[0][0]
    img.save(path, line_bytes=16)  # intelhex writes 16 bytes a record
    return img


# The peak resident memory of a process that loads and saves, above its
# peak once it has imported the module: what the image costs beyond the
# interpreter. VmHWM, since ru_maxrss keeps the parent's across exec.
CHILD = '''
import sys, time
sys.path.insert(0, sys.argv[1])
import dwxvmm
def peak():
    for line in open('/proc/self/status'):
        if line.startswith('VmHWM:'):
            return int(line.split()[1])
base = peak()
start = time.perf_counter()
{body}
took = time.perf_counter() - start
print(took, base, peak())
'''


def child(body, *args):
    out = subprocess.run([sys.executable, '-c', CHILD.format(body=body),
                          sys.argv[1], *args], check=True,
                         capture_output=True, text=True).stdout.split()
    took, base, peak = float(out[0]), int(out[1]), int(out[2])
    return took, (peak - base) * 1024


def same(a, b):
    x, y = dwxvmm.load(a), dwxvmm.load(b)
    return x.segments() == y.segments() and all(
        x[s:e] == y[s:e] for s, e in x.segments())


bad = False
# 1. 2 MiB of Intel HEX, loaded and written back.
src = os.path.join(work, 'two.hex')
make(src, [(0x08000000, 2 * MiB)])
ours = timed(lambda: dwxvmm.load(src).save(src + '.ours', format='ihex', line_bytes=16),
             3 * reps)
theirs = timed(lambda: IntelHex(src).write_hex_file(src + '.theirs'), 3)
alike = same(src + '.ours', src + '.theirs')
bad |= not alike
ih_took, ih_mem = child('from intelhex import IntelHex\n'
                        'IntelHex(sys.argv[2]).write_hex_file(sys.argv[2] + ".x")',
                        src)
print('| 2 MiB Intel HEX, load + write | dwxvmm best / median | intelhex best / '
      'median | ratio best / median | CPU ratio |\n|---|---:|---:|---:|---:|')
print(f'| {os.path.getsize(src) / MiB:.1f} MiB file | {ours[0]:.3f} / {ours[1]:.3f} s '
      f'| {theirs[0]:.2f} / {theirs[1]:.2f} s '
      f'| {theirs[0] / ours[0]:.0f} / {theirs[1] / ours[1]:.0f} x '
      f'| {theirs[2] / ours[2]:.0f} x |' + ('' if alike else ' **outputs differ**'))
print(f'\nintelhex, a process of its own: {ih_took:.2f} s, '
      f'{ih_mem / (2 * MiB):.0f} bytes of memory per data byte')

# 2. 16 MiB: 16 runs of 1 MiB over four regions, the last at the top.
big = os.path.join(work, 'sixteen.hex')
runs = [(base + i * 0x110000 + 0x123, MiB) for base in
        (0, 0x08000000, 0x20000000) for i in range(5)] + [(0xFFF00000, MiB)]
make(big, runs)
results = [child('dwxvmm.load(sys.argv[2]).save(sys.argv[2] + ".out", format="ihex")', big)
           for _ in range(reps)]
bad |= not same(big, big + '.out')
took = sorted(r[0] for r in results)
per_byte = max(r[1] for r in results) / (16 * MiB)
print(f'\n16 MiB Intel HEX ({os.path.getsize(big) / MiB:.1f} MiB file), load + '
      f'save: best {took[0]:.3f} s, median {statistics.median(took):.3f} s; '
      f'peak memory above the interpreter {per_byte:.3f} bytes per data byte')

# 2b. Two such images, each loaded and saved in a thread of its own,
# against both in one thread: the module lets the interpreter lock go while
# the library works, so on two cores the pair takes little more than one.
second = os.path.join(work, 'sixteen-b.hex')
make(second, runs)  # other random bytes


def convert(path):
    dwxvmm.load(path).save(path + '.out', format='ihex')


def both_in_threads():
    threads = [threading.Thread(target=convert, args=(p,))
               for p in (big, second)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


one, two = [], []
for _ in range(reps):  # interleaved, so that both see the same machine
    one.append(timed(lambda: [convert(big), convert(second)], 1)[0])
    two.append(timed(both_in_threads, 1)[0])
bad |= not same(second, second + '.out')
ratio = statistics.median(two) / statistics.median(one)
print('\n| two 16 MiB Intel HEX images, load + save | best | median |\n'
      '|---|---:|---:|')
print(f'| one thread, one after the other | {min(one):.3f} s '
      f'| {statistics.median(one):.3f} s |')
print(f'| two threads, one each | {min(two):.3f} s '
      f'| {statistics.median(two):.3f} s |')
print(f'\ntwo threads / one thread: {min(two) / min(one):.2f} best, '
      f'{ratio:.2f} median (target at most 0.65)')
bad |= ratio > 0.65

# 3. 1 MiB through img[a:b] against the same copy between bytearrays.
img, a, data = dwxvmm.Image(), 0x08000123, os.urandom(MiB)
img[a:a + MiB] = data
flat = bytearray(MiB)
n = 200


def loop(f):
    return timed(lambda: [f() for _ in range(n)])[0] / n * 1e6


rows = [('read img[a:b]', loop(lambda: img[a:a + MiB]),
         loop(lambda: bytes(flat))),
        ('write img[a:b] = data', loop(lambda: img.__setitem__(
            slice(a, a + MiB), data)), loop(lambda: flat.__setitem__(
                slice(0, MiB), data)))]
bad |= img[a:a + MiB] != data
print('\n| 1 MiB | dwxvmm | bytearray copy | ratio |\n|---|---:|---:|---:|')
for name, t, ref in rows:
    print(f'| {name} | {t:.0f} µs | {ref:.0f} µs | {t / ref:.2f} x |')
sys.exit(1 if bad else 0)
