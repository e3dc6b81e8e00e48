#!/usr/bin/python3
"""Independent readers and writers of UF2, DfuSe, MIF and COE for the tests,
written from the formats' public descriptions.

DESC has lines "ADDR HEXBYTES" (hex), and, for writers, "family ID" (UF2:
the family of the blocks that follow), "skip ADDR HEXBYTES" (UF2: a block
not in main flash), "target ALT NAME" (DfuSe: a new target).
  uf2-write DESC OUT PAYLOAD     blocks of PAYLOAD bytes of each run
  uf2-check DESC IN FILL [ID]    IN is, byte for byte, what the rules make
  dfu-write DESC OUT             each run an element
  dfu-check DESC IN ALT NAME VID PID DEVICE
  mif-check DESC IN WIDTH FILL / coe-check DESC IN WIDTH FILL
A check exits 1 naming the first difference.
"""
import re
import struct
import sys
import zlib


def runs(lines):
    out = []
    for f in lines:
        a, data = int(f[0], 16), bytes.fromhex(f[1])
        if out and out[-1][0] + len(out[-1][1]) == a:
            out[-1] = (out[-1][0], out[-1][1] + data)
        else:
            out.append((a, data))
    return out


def image(lines):
    return {a + i: b for a, d in runs(lines) for i, b in enumerate(d)}


def uf2_block(flags, addr, data, n, count, family):
    head = struct.pack('<8I', 0x0A324655, 0x9E5D5157, flags, addr, len(data),
                       n, count, family)
    return head + data.ljust(476, b'\0') + struct.pack('<I', 0x0AB16F30)


def uf2_write(desc, payload):
    groups, family, cur = [], None, []  # one numbering a family
    for f in desc:
        if f[0] == 'family':
            family, cur = int(f[1], 16), []
            groups.append((family, cur))
            continue
        if not groups:
            groups.append((None, cur))
        flags = 1 if f[0] == 'skip' else 0
        for a, d in runs([f[-2:]]):
            for o in range(0, len(d), payload):
                cur.append((flags, a + o, d[o:o + payload]))
    out = b''
    for family, blocks in groups:
        for n, (flags, a, d) in enumerate(blocks):
            flags |= 0x2000 if family is not None else 0
            out += uf2_block(flags, a, d, n, len(blocks), family or 0)
    return out


def uf2_expect(desc, fill, family):
    img = image(desc)
    groups = sorted({a & ~0xFF for a in img})
    out = b''
    for n, g in enumerate(groups):
        data = bytes(img.get(g + i, fill) for i in range(256))
        out += uf2_block(0x2000 if family is not None else 0, g, data, n,
                         len(groups), family or 0)
    return out


def dfu_write(desc):
    targets = []
    for f in desc:
        if f[0] == 'target':
            targets.append((int(f[1]), f[2].encode(), []))
        else:
            targets[-1][2].append(f)
    body = b''
    for alt, name, lines in targets:
        elems = b''.join(struct.pack('<II', a, len(d)) + d
                         for a, d in runs(lines))
        body += (b'Target' + struct.pack('<BI', alt, 1) + name.ljust(255, b'\0')
                 + struct.pack('<II', len(elems), len(runs(lines))) + elems)
    data = b'DfuSe\x01' + struct.pack('<IB', 11 + len(body), len(targets)) + body
    data += struct.pack('<HHHH', 0xFFFF, 0xDF11, 0x0483, 0x011A) + b'UFD\x10'
    return data + struct.pack('<I', ~zlib.crc32(data) & 0xFFFFFFFF)


def dfu_check(desc, data, alt, name, vid, pid, device):
    assert struct.unpack('<HHHH', data[-16:-8]) == (device, pid, vid, 0x011A)
    assert data[-8:-4] == b'UFD\x10', 'suffix signature'
    crc = struct.unpack('<I', data[-4:])[0]
    assert crc == ~zlib.crc32(data[:-4]) & 0xFFFFFFFF, 'CRC'
    sig, version, size, ntargets = struct.unpack('<5sBIB', data[:11])
    assert (sig, version, size, ntargets) == (b'DfuSe', 1, len(data) - 16, 1)
    sig, got_alt, named = struct.unpack('<6sBI', data[11:22])
    got_name = data[22:277].rstrip(b'\0').decode()
    tsize, nelem = struct.unpack('<II', data[277:285])
    assert (sig, got_alt, named, got_name) == (b'Target', alt, 1, name)
    assert tsize == len(data) - 16 - 285, 'target size'
    got, o = [], 285
    for _ in range(nelem):
        a, n = struct.unpack('<II', data[o:o + 8])
        got.append((a, data[o + 8:o + 8 + n]))
        o += 8 + n
    assert o == len(data) - 16, 'elements fill the target'
    assert got == runs(desc), f'elements {got[:3]}'


def words(desc, width, fill):
    img, n = image(desc), width // 8
    depth = max(img) // n + 1
    return [sum(img.get(w * n + i, fill) << 8 * i for i in range(n))
            for w in range(depth)]


def mif_words(text):
    text = re.sub(r'--[^\n]*|%[^%]*%', '', text)
    head, body = re.split(r'CONTENT\s+BEGIN', text, flags=re.I)
    keys = dict(re.findall(r'(\w+)\s*=\s*(\w+)\s*;', head))
    assert keys['ADDRESS_RADIX'] == keys['DATA_RADIX'] == 'HEX', keys
    got = [None] * int(keys['DEPTH'])
    for stmt in body.split(';'):
        m = re.fullmatch(r'\s*(?:\[(\w+)\.\.(\w+)\]|(\w+))\s*:\s*(\w+)\s*',
                         stmt)
        if not m:
            assert stmt.strip() == 'END', stmt
            break
        first = int(m[1] or m[3], 16)
        for a in range(first, int(m[2] or m[3], 16) + 1):
            got[a] = int(m[4], 16)
    return int(keys['WIDTH']), got


def coe_words(text):
    m = re.fullmatch(r'memory_initialization_radix=16;\n'
                     r'memory_initialization_vector=\n([0-9A-F,\n]*);\n', text)
    assert m, 'COE layout'
    return [int(w, 16) for w in m[1].replace('\n', '').split(',')]


mode, desc_path, path = sys.argv[1:4]
desc = [line.split() for line in open(desc_path) if line.strip()]
args = sys.argv[4:]
if mode == 'uf2-write':
    open(path, 'wb').write(uf2_write(desc, int(args[0])))
elif mode == 'dfu-write':
    open(path, 'wb').write(dfu_write(desc))
elif mode == 'uf2-check':
    got = open(path, 'rb').read()
    want = uf2_expect(desc, int(args[0], 0),
                      int(args[1], 0) if len(args) > 1 else None)
    if got != want:
        o = next(i for i in range(min(len(got), len(want)))
                 if got[i] != want[i]) if got[:len(want)] != want[:len(got)] \
            else min(len(got), len(want))
        sys.exit(f'{path}: differs at byte {o} (block {o // 512}), '
                 f'length {len(got)} want {len(want)}')
elif mode == 'dfu-check':
    a = [int(x, 0) for x in (args[0], args[2], args[3], args[4])]
    try:
        dfu_check(desc, open(path, 'rb').read(), a[0], args[1], *a[1:])
    except AssertionError as e:
        sys.exit(f'{path}: {e}')
else:
    width, fill = int(args[0]), int(args[1], 0)
    text = open(path).read()
    got = (mif_words(text) if mode == 'mif-check'
           else (width, coe_words(text)))
    want = (width, words(desc, width, fill))
    if got != want:
        sys.exit(f'{path}: words differ: got {str(got)[:200]}')
