"""Whole processes side by side: what bench/formats.py and bench/cli.py share.

A program is timed as a process, so that start-up counts for every side:
wall-clock time (median and best of the runs: noise on a shared machine only
adds time), the median CPU time (user + system), and the peak resident
memory (max RSS).

The peak is GNU time's, the median of three runs of their own for each
command: a child that Python starts inherits Python's peak through exec, so
its own wait4 figure is Python's.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

HEADER = ('| {what} | input | ours median / best | {peer} median / best '
          '| ratio median / best | CPU ratio | max RSS ours / {peer} |\n'
          '|---|---:|---:|---:|---:|---:|---:|')


_peaks = {}


def peak_mib(cmd):
    """cmd's peak resident memory in MiB, from a run under GNU time."""
    if tuple(cmd) in _peaks:
        return _peaks[tuple(cmd)]
    peaks = []
    for _ in range(3):
        with tempfile.NamedTemporaryFile('r') as out:
            subprocess.run(['/usr/bin/time', '-f', '%M', '-o', out.name, *cmd],
                           stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, check=True)
            peaks.append(int(out.read().split()[-1]) / 1024)
    _peaks[tuple(cmd)] = statistics.median(peaks)
    return _peaks[tuple(cmd)]


def run(cmd):
    """Runs cmd once: (wall seconds, CPU seconds, max RSS in MiB)."""
    cmd = [str(c) for c in cmd]
    start = time.perf_counter()
    p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    if status != 0:
        sys.exit(f'failed: {" ".join(cmd)}')
    return (time.perf_counter() - start, usage.ru_utime + usage.ru_stime,
            peak_mib(cmd))


def same(ours, theirs, flag):
    """Whether srec_cmp finds the two files to hold the same image."""
    return subprocess.run(['srec_cmp', ours, flag, theirs, flag],
                          stderr=subprocess.DEVNULL).returncode == 0


def row(name, src, ours, theirs, alike):
    """One table row from the runs of both sides."""
    med = [statistics.median(r[0] for r in x) for x in (ours, theirs)]
    best = [min(r[0] for r in x) for x in (ours, theirs)]
    cpu = [statistics.median(r[1] for r in x) for x in (ours, theirs)]
    rss = [max(r[2] for r in x) for x in (ours, theirs)]
    return (f'| {name} | {os.path.getsize(src) / 2**20:.1f} MiB '
            f'| {med[0]:.3f} / {best[0]:.3f} s '
            f'| {med[1]:.3f} / {best[1]:.3f} s '
            f'| {med[1] / med[0]:.1f} / {best[1] / best[0]:.1f} x '
            f'| {cpu[1] / cpu[0]:.1f} x | {rss[0]:.1f} / {rss[1]:.1f} MiB |'
            + ('' if alike else ' **outputs differ**'))


def regions_hex(tool, base, region):
    """Writes image.hex: four regions of random bytes from base, each a
    region long, with a region's hole after each."""
    parts = []
    for i in range(4):
        with open(f'region{i}.bin', 'wb') as f:
            f.write(os.urandom(region))
        parts.append(f'region{i}.bin@{base + 2 * i * region:#x}')
    run([tool, 'cat', *parts, '-o', 'image.hex'])
