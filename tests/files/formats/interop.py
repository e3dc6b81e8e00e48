#!/usr/bin/python3
"""Writes or checks an image with python3-intelhex, for the interop tests.

Usage: interop.py write DESC OUT.hex | interop.py check DESC IN.hex
DESC has lines "ADDR HEXBYTES" and maybe "start EIP" or "start CS IP" (hex).
check exits 1 after naming the first difference; the start address is
compared (as a linear address) only when DESC has one.
"""
import sys

from intelhex import IntelHex


def linear(start):
    if not start:
        return None
    return start['EIP'] if 'EIP' in start else start['CS'] * 16 + start['IP']


mode, desc, path = sys.argv[1:4]
want = IntelHex()
for line in open(desc):
    f = line.split()
    if f[0] == 'start':
        v = [int(x, 16) for x in f[1:]]
        want.start_addr = ({'EIP': v[0]} if len(v) == 1
                           else {'CS': v[0], 'IP': v[1]})
    else:
        want.puts(int(f[0], 16), bytes.fromhex(f[1]))
if mode == 'write':
    want.write_hex_file(path)
    sys.exit(0)
got = IntelHex(path)
a, b = got.todict(), want.todict()
for d in (a, b):
    d.pop('start_addr', None)
if a != b:
    diff = sorted(set(a.items()) ^ set(b.items()))[:4]
    sys.exit(f'{path}: bytes differ (got/want): {diff}')
if want.start_addr and linear(got.start_addr) != linear(want.start_addr):
    sys.exit(f'{path}: start {got.start_addr}, want {want.start_addr}')
