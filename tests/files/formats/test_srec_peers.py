"""Every format srec_cat also knows, both ways against srec_cat, and the
broken records every text reader must refuse.

One row a format; the checks are generic. A row's address limit is the
format's field (bytes, exclusive); where srec_cat stops short of the field
the row says so in `peer_limit`, and the checks against srec_cat stay
below it.
"""
import json
import os
import random
import re
import shutil
import subprocess
import warnings
from collections import namedtuple

import pytest

import dwxvmm

Peer = namedtuple('Peer', 'name option limit word start mode end faults '
                  'peer_limit low binary records',
                  defaults=(None, 0, False, True))
# start: bits of the start field (0: none). mode: 'io' both ways, 'out' only
# written. end: 'always', 'start' (only with a start address) or None.
# word: the bytes runs come in. faults: what srec_cat gets wrong, by words
# the checks know: 'no-read' (it writes the format but cannot read it, or
# not always), 'no-end' (it cannot read its own file: no end record, or
# none without a start address),
# 'no-address' (it writes from address 0 and sums no hole), 'start-0' (it
# reads a start address 0 from a format without one). low: the lowest
# address the format holds. binary: its broken records are
# binary_records_test.cpp's. records: the damage checks below apply (lines
# of hex digit records); the other text formats' bad input is in
# formats_test.cpp's table.
PEERS = [
    Peer('ihex16', '-Intel_HeX_16', 1 << 32, 2, 32, 'io', 'always', ()),
    Peer('tektronix', '-Tektronix', 1 << 16, 1, 16, 'io', 'start', ()),
    Peer('tektronix-ext', '-Tektronix_Extended', 1 << 32, 1, 32, 'io',
         'start', ()),
    Peer('mos-tech', '-MOS_Technologies', 1 << 16, 1, 0, 'io', 'always', ()),
    Peer('signetics', '-SIGnetics', 1 << 16, 1, 0, 'io', 'always', ()),
    Peer('atmel-generic', '-Atmel_Generic', 1 << 25, 2, 0, 'io', None, (),
         1 << 17),
    Peer('emon52', '-Elektor_Monitor52', 1 << 16, 1, 0, 'io', None, ()),
    Peer('brecord', '-B-Record', 1 << 32, 1, 32, 'io', 'start', ('no-read',)),
    Peer('fairchild', '-FAIrchild', 1 << 16, 8, 0, 'io', 'always', ('no-end',)),
    Peer('ti-tagged', '-Texas_Instruments_Tagged', 1 << 16, 1, 0, 'io',
         'always', ()),
    Peer('ti-tagged16', '-Texas_Instruments_Tagged_16', 1 << 17, 2, 0, 'io',
         'always', ()),
    Peer('needham', '-Needham_Hexadecimal', 1 << 32, 1, 0, 'io', None, ()),
    Peer('ppx', '-PPX', 1 << 16, 1, 0, 'io', 'always', ()),
    Peer('cosmac', '-COsmac', 1 << 32, 1, 0, 'io', None, ()),
    Peer('aomf', '-Absolute_Object_Module_Format', 1 << 16, 1, 0, 'io',
         'always', ('no-end',), binary=True),
    Peer('msbin', '-MsBin', 1 << 32, 1, 32, 'io', 'start', (), 0xFFFF0000,
         low=1, binary=True),
    Peer('formatted-binary', '-Formatted_Binary', 1 << 32, 1, 0, 'io',
         'always', ('no-address',), 0x1000, binary=True),
    Peer('dec-binary', '-Dec_Binary', 1 << 16, 1, 16, 'io', 'start', (),
         binary=True),
    Peer('idt', '-IDT', 1 << 32, 1, 32, 'io', 'start', (), binary=True),
    Peer('ppb', '-PPB', 1 << 32, 1, 0, 'io', 'always', (), binary=True),
    Peer('stewie', '-STewie', 1 << 32, 1, 0, 'io', 'always', ('start-0',),
         binary=True),
    Peer('trs80', '-TRS80', 1 << 16, 1, 16, 'io', 'always', (), binary=True),
    Peer('wilson', '-WILson', 1 << 32, 1, 32, 'io', 'start', (), binary=True),
    Peer('ascii-hex', '-Ascii_Hex', 1 << 32, 1, 0, 'io', 'always', (),
         records=False),
    Peer('fastload', '-Fast_Load', 1 << 32, 1, 32, 'io', 'start', (),
         records=False),
    # srec_cat writes no address above 0xFFFF, and fails to read some of
    # its own files ("format code must be zero").
    Peer('fpc', '-Four_Packed_Code', 1 << 32, 1, 0, 'io', 'always',
         ('no-read',), 1 << 16, records=False),
    Peer('os65v', '-Ohio_Scientific', 1 << 16, 1, 16, 'io', 'start', (),
         records=False),
    Peer('spasm-be', '-SPAsm', 1 << 17, 2, 0, 'io', None, (), records=False),
    Peer('spasm-le', '-SPAsm_Little_Endian', 1 << 17, 2, 0, 'io', None, (),
         records=False),
    Peer('mips-flash-be', '-Mips_Flash_Big_Endian', 1 << 32, 4, 0, 'io', None,
         (), records=False),
    Peer('mips-flash-le', '-Mips_Flash_Little_Endian', 1 << 32, 4, 0, 'io',
         None, (), records=False),
    Peer('asm', '-ASM', 1 << 32, 1, 32, 'out', None, ()),
    Peer('basic', '-BASic', 1 << 32, 1, 32, 'out', None, ()),
    # srec_cat keeps 16 bits of each address.
    Peer('forth', '-FORTH', 1 << 32, 1, 0, 'out', None, (), 1 << 16),
    Peer('vhdl', '-VHdl', 1 << 32, 1, 0, 'out', None, ()),
    Peer('lattice-mem', '-MEM', 1 << 32, 1, 32, 'out', None, ()),
    Peer('hexdump', '-HEX_Dump', 1 << 32, 1, 0, 'out', None, ()),
]
BY_NAME = {p.name: p for p in PEERS}

pytestmark = pytest.mark.skipif(shutil.which('srec_cat') is None,
                                reason='srec_cat (srecord) is not installed')


def srec_cat(*args):
    done = subprocess.run(['srec_cat', *map(str, args)],
                          stderr=subprocess.PIPE, text=True)
    assert done.returncode == 0, done.stderr


def content(img):
    return [(a, img[a:b]) for a, b in img.segments()], img.start_address


def srec_cat_content(path, peer):
    """What srec_cat reads from path, an S-record file it wrote."""
    runs, start = content(load(path, 'srec'))
    return runs, None if 'start-0' in peer.faults and start == 0 else start


def load(path, fmt=None, **kw):
    img = dwxvmm.Image()
    with warnings.catch_warnings():
        warnings.simplefilter('ignore')
        img.load(path, format=fmt, **kw)
    return img


def sample(seed, peer, limit):
    """Random runs with holes, whole words, up to the last byte below limit."""
    rnd = random.Random(seed)
    img, w = dwxvmm.Image(), peer.word
    for base in (0, limit // 3, limit - 0x400):
        for _ in range(4):
            a = max((base + rnd.randrange(0x200)) // w * w, peer.low)
            n = min(rnd.randrange(1, 60) * w, limit - a)
            img[a:a + n] = bytes(rnd.randrange(256) for _ in range(n))
    img[limit - 2 * w:limit] = bytes(rnd.randrange(256) for _ in range(2 * w))
    if peer.start:
        top = min(1 << peer.start, limit, 1 << 32)
        img.start_address = rnd.randrange(top) // w * w
    return img


IN = [p for p in PEERS if p.mode == 'io']


@pytest.mark.parametrize('peer', IN, ids=lambda p: p.name)
def test_we_read_what_srec_cat_writes(tmp_path, peer):
    for seed in range(3):
        img = sample(seed, peer, peer.peer_limit or peer.limit)
        if 'no-address' in peer.faults:
            img = dwxvmm.loads(img.dumps('binary'), format='binary')
        img.save(tmp_path / 'in.srec', format='srec')
        theirs = tmp_path / ('x.' + peer.name)
        srec_cat(tmp_path / 'in.srec', '-o', theirs, peer.option)
        if 'no-read' in peer.faults or 'no-end' in peer.faults:
            assert content(load(theirs, peer.name)) == content(img)
            continue
        srec_cat(theirs, peer.option, '-o', tmp_path / 'back.srec')
        assert content(load(theirs, peer.name)) == \
            srec_cat_content(tmp_path / 'back.srec', peer)


@pytest.mark.parametrize('peer', IN, ids=lambda p: p.name)
def test_srec_cat_reads_what_we_write(tmp_path, peer):
    for seed, line in zip(range(3), (1, 32, 255)):
        img = sample(seed, peer, peer.peer_limit or peer.limit)
        ours = tmp_path / ('x.' + peer.name)
        img.save(ours, format=peer.name, line_bytes=line)
        if 'no-address' in peer.faults:
            # Lowest to highest byte, holes as 0xFF, as binary writes them.
            flat = img.dumps('binary')
            low = img.segments()[0][0]
            assert load(ours, peer.name, move=low) == \
                dwxvmm.loads(flat, format='binary', at=low)
            srec_cat(ours, peer.option, '-o', tmp_path / 'back', '-binary')
            assert (tmp_path / 'back').read_bytes() == flat
            continue
        assert content(load(ours, peer.name)) == content(img)
        if 'no-read' not in peer.faults:
            srec_cat(ours, peer.option, '-o', tmp_path / 'back.srec')
            assert srec_cat_content(tmp_path / 'back.srec', peer) == \
                content(img)
            continue
        if peer.records:
            # What srec_cat cannot read back, it must at least write the same.
            img.save(tmp_path / 'in.srec', format='srec')
            srec_cat(tmp_path / 'in.srec', '-o', tmp_path / 'theirs',
                     peer.option)
            img.save(ours, format=peer.name)
            assert ours.read_text() == (tmp_path / 'theirs').read_text()


@pytest.mark.parametrize('peer', [p for p in IN if p.binary and
                                  'no-address' not in p.faults],
                         ids=lambda p: p.name)
def test_long_runs_both_ways(tmp_path, peer):
    """A run longer than a read buffer, in records as long as srec_cat
    makes them: it writes a run as one record where the format lets it."""
    img = dwxvmm.Image()
    img[0x100:0xF000] = random.Random(1).randbytes(0xEF00)
    if peer.limit > 0x10000:
        img[0x10000:0x22000] = random.Random(2).randbytes(0x12000)
    if peer.start:
        img.start_address = 0x100
    img.save(tmp_path / 'in.srec', format='srec')
    theirs, ours = tmp_path / 'theirs', tmp_path / 'ours'
    srec_cat(tmp_path / 'in.srec', '-o', theirs, peer.option)
    img.save(ours, format=peer.name, line_bytes=255)
    for path in (ours, theirs):
        if path == theirs and 'no-end' in peer.faults:
            continue
        srec_cat(path, peer.option, '-o', tmp_path / 'back.srec')
        assert content(load(path, peer.name)) == \
            srec_cat_content(tmp_path / 'back.srec', peer)


# What a load without a format finds in a file srec_cat writes: the type
# name; for formats whose first records read alike in another, the words
# of both, which srec_cat's file is refused naming (ours may be told). The
# formats that are not PEERS' give their option; .vmem is found by name.
Found = namedtuple('Found', 'name type alike option', defaults=((), ()))
FOUND = [
    Found('ihex', 'Intel HEX', option=('-Intel',)),
    Found('srec', 'Motorola S-record', option=('-Motorola',)),
    Found('titxt', 'TI-TXT', option=('-Texas_Instruments_TeXT',)),
    Found('vmem', 'Verilog memory', option=('-VMem', 8)),
    Found('mif', 'MIF', option=('-MIF',)),
    Found('logisim', 'Logisim', option=('-LOGisim',)),
    Found('ihex16', 'Intel HEX-16'),
    Found('tektronix', 'Tektronix'),
    Found('tektronix-ext', 'Tektronix extended'),
    Found('mos-tech', 'MOS Technology'),
    Found('signetics', 'Signetics'),
    Found('atmel-generic', 'Atmel Generic'),
    Found('emon52', 'Elektor Monitor (EMON52)'),
    Found('brecord', 'B-Record'),
    Found('fairchild', 'Fairchild'),
    Found('ti-tagged', 'TI-Tagged', ('ti-tagged', 'ti-tagged16')),
    Found('ti-tagged16', 'TI-Tagged-16', ('ti-tagged', 'ti-tagged16')),
    Found('needham', 'Needham'),
    Found('ppx', 'PPX'),
    Found('cosmac', 'Cosmac'),
    Found('aomf', 'AOMF'),
    Found('msbin', 'MsBin'),
    Found('formatted-binary', 'Formatted binary'),
    Found('dec-binary', 'DEC binary'),
    Found('idt', 'IDT'),
    Found('ppb', 'PPB'),
    Found('stewie', 'Stewie'),
    Found('trs80', 'TRS-80'),
    Found('wilson', 'Wilson'),
    Found('ascii-hex', 'ASCII-Hex'),
    Found('fastload', 'FastLoad'),
    Found('fpc', 'Four Packed Code'),
    Found('os65v', 'OS65V'),
    Found('spasm-be', 'SPASM (big-endian)', ('spasm-be', 'spasm-le')),
    Found('spasm-le', 'SPASM (little-endian)', ('spasm-be', 'spasm-le')),
    Found('mips-flash-be', 'MIPS flash (big-endian)',
          ('mips-flash-be', 'mips-flash-le')),
    Found('mips-flash-le', 'MIPS flash (little-endian)',
          ('mips-flash-be', 'mips-flash-le')),
]


@pytest.mark.parametrize('row', FOUND, ids=lambda r: r.name)
def test_found_from_first_bytes(tmp_path, row):
    """Files longer than the 64 KiB detection reads (a run and one past a
    hole, where the format holds them), srec_cat's and ours, loaded without
    their format: found, or refused naming the formats that read alike;
    srec_cat's with the bytes and start address srec_cat reads."""
    name, option = row.name, row.option
    start = 32 if name in ('ihex', 'srec') else 0
    # srec_cat's Logisim holds 64 KiB, from address 0.
    peer = BY_NAME.get(name, Peer(name, option, 1 << 32, 1, start, 'io',
                                  None, ()) if name != 'logisim' else
                       Peer(name, option, 1 << 16, 1, 0, 'io', None,
                            ('no-address',)))
    option = option or (peer.option,)
    rnd, img, w = random.Random(name), dwxvmm.Image(), peer.word
    top = min(peer.limit if 'no-address' in peer.faults else
              peer.peer_limit or peer.limit, 0x20000)
    n = (top - 0x300) // 8 * 8
    img[0x100:0x100 + n] = rnd.randbytes(n)
    if 'no-address' in peer.faults:
        img = dwxvmm.loads(img.dumps('binary'), format='binary')
    else:
        img[top - 0x100:top - 0x100 + 8 * w] = rnd.randbytes(8 * w)
    if peer.start:
        img.start_address = 0x100
    img.save(tmp_path / 'in.srec', format='srec')
    suffix = '.vmem' if name == 'vmem' else '.in'
    theirs, ours = tmp_path / ('theirs' + suffix), tmp_path / ('ours' + suffix)
    srec_cat(tmp_path / 'in.srec', '-o', theirs, *option)
    img.save(ours, format=name)
    for path in (theirs, ours):
        assert path.stat().st_size > 1 << 16
        done = subprocess.run([os.environ['DWXVMM_TOOL'], 'info', '--json',
                               path], capture_output=True, text=True)
        if done.returncode == 0:
            assert path == ours or not row.alike
            assert json.loads(done.stdout)['inputs'][0]['format'] == row.type
            continue
        give = ' or '.join('PATH@' + w for w in row.alike)
        assert row.alike and done.returncode == 2, done.stderr
        assert 'cannot tell the format' in done.stderr and \
            done.stderr.endswith(f': give {give}\n')
        with pytest.raises(dwxvmm.ImageError, match=give):
            load(path)
    if row.alike:
        return
    if peer.faults and set(peer.faults) <= {'no-read', 'no-end'}:
        assert content(load(theirs)) == content(img)
        return
    srec_cat(theirs, option[0], '-o', tmp_path / 'back.srec')
    assert content(load(theirs)) == \
        srec_cat_content(tmp_path / 'back.srec', peer)


@pytest.mark.parametrize('peer', PEERS, ids=lambda p: p.name)
def test_what_does_not_fit_is_an_error(tmp_path, peer):
    out = tmp_path / 'x'
    if peer.limit < 1 << 32:
        img = dwxvmm.Image()
        img[peer.limit - 2:peer.limit + 4] = bytes(6)
        with pytest.raises(dwxvmm.ImageError,
                           match=f'0x{peer.limit:08X} is past the address'):
            img.save(out, format=peer.name)
        assert not out.exists()
    if peer.word > 1:
        img = dwxvmm.Image()
        img[0x100:0x100 + 2 * peer.word] = bytes(2 * peer.word)
        img[0x201] = 1
        with pytest.raises(dwxvmm.ImageError, match='0x00000201 does not fill'):
            img.save(out, format=peer.name)
    if 0 < peer.start < 32:
        img = dwxvmm.Image()
        img[0] = 1
        img.start_address = 1 << peer.start
        with pytest.raises(dwxvmm.ImageError, match='start address 0x00010000'):
            img.save(out, format=peer.name)
        img.save(out, format=peer.name, start=False)
        assert content(load(out, peer.name)) == ([(0, b'\x01')], None)


# The formats with byte addresses of their own; the word formats (ihex16,
# atmel-generic, ti-tagged16, spasm) refuse a unit, as do those without
# addresses.
UNITS = ['tektronix', 'tektronix-ext', 'mos-tech', 'signetics', 'emon52',
         'brecord', 'ti-tagged', 'needham', 'ppx', 'cosmac', 'aomf', 'msbin',
         'dec-binary', 'idt', 'ppb', 'stewie', 'trs80', 'wilson', 'ascii-hex',
         'fastload', 'fpc', 'os65v', 'mips-flash-be', 'mips-flash-le']


@pytest.mark.parametrize('unit', [2, 4])
@pytest.mark.parametrize('name', UNITS)
def test_word_addresses_are_the_image_moved_down(tmp_path, name, unit):
    """With address_unit=N the file's addresses count N-byte units. srec_cat
    knows none: it reads each record's bytes at the record's address / N, so
    runs of one record each, spaced apart, come back moved down by N."""
    peer = BY_NAME[name]
    rnd = random.Random(unit)
    img = dwxvmm.Image()
    top = min(peer.limit, 1 << 30)
    runs = [(peer.low, 8), (0x124, 60), (top // 12 * 4, 48), (top - 4, 4)]
    for a, n in runs:
        img[a * unit:a * unit + n] = bytes(rnd.randrange(256) for _ in range(n))
    if peer.start:
        img.start_address = 0x1234 * unit
    ours = tmp_path / ('x.' + name)
    img.save(ours, format=name, address_unit=unit, line_bytes=255)
    runs, start = content(img)
    if 'no-read' not in peer.faults:
        srec_cat(ours, peer.option, '-o', tmp_path / 'back.srec')
        assert srec_cat_content(tmp_path / 'back.srec', peer) == \
            ([(a // unit, d) for a, d in runs], start and start // unit)
    assert content(load(ours, name, unit=unit)) == (runs, start)


@pytest.mark.parametrize('name, first, match', [
    ('signetics', 0x101, 'run at 0x00000101 does not begin and end on a unit'),
    ('ihex16', 0x100, "HEX-16.s addresses count its own 16-bit words"),
    ('spasm-be', 0x100, "SPASM \\(big-endian\\).s addresses count its own"),
    ('formatted-binary', 0x100, 'address unit 2: this format takes none'),
    # A 16-bit field counts 64 Ki units.
    ('trs80', 0x20000, '0x00020000 is past the address field'),
    ('os65v', 0x1FFFE, '0x00020000 is past the address field'),
])
def test_word_addresses_refused(tmp_path, name, first, match):
    img = dwxvmm.Image()
    img[first:first + 4] = bytes(4)
    with pytest.raises(dwxvmm.ImageError, match=match):
        img.save(tmp_path / 'x', format=name, address_unit=2)
    assert not (tmp_path / 'x').exists()


def broken(peer, tmp_path):
    """Our file of three records of 0xA5 bytes (a swapped word looks the
    same) and its lines, with the line to break: the second."""
    img = dwxvmm.Image()
    img[0x40:0x40 + 24] = b'\xa5' * 24
    if peer.end == 'start':
        img.start_address = 0x40
    path = tmp_path / 'ok'
    img.save(path, format=peer.name, line_bytes=8)
    lines = path.read_text().splitlines(keepends=True)
    return img, lines


def damages(peer, lines):
    """(name, text, line, error) for each way of breaking a record."""
    n = len(lines)
    second = lines[1]
    i = second.index('A5')
    with_check = peer.name not in ('brecord', 'atmel-generic', 'needham',
                                   'cosmac')
    yield 'bad digit', second[:i] + 'AG' + second[i + 2:], 2, \
        'invalid hex|two hex digits'
    # PPX sums the whole file in its last line.
    yield 'wrong check', second[:i] + 'A4' + second[i + 2:], \
        n if peer.name == 'ppx' else 2, 'checksum' if with_check else None
    sep = ' ' if peer.name == 'emon52' else ''
    cut = second[:i] + second[i + 2 + len(sep):]
    # Tags have no count: a byte less or more reads as other tags. Needham's
    # and PPX's lines have none either, and a byte less or more is data all
    # the same (PPX's sum of the file then fails at its end).
    tags = '.' if peer.name.startswith('ti-tagged') else None
    if peer.name not in ('needham', 'ppx', 'cosmac'):
        yield 'short', cut, 2, tags or 'short|incomplete|whole words|too|holds'
        yield 'long', second[:i] + 'A5' + sep + second[i:], 2, \
            tags or 'long|incomplete|whole words|holds'
        last = lines[-2]
        yield 'cut short', last[:len(last) // 2], n - 1, '.'
    if peer.end:
        yield 'after end', None, n + 1, 'after the end record'


@pytest.mark.parametrize('peer', [p for p in IN if p.records and not p.binary],
                         ids=lambda p: p.name)
def test_broken_records_change_nothing(tmp_path, peer):
    img, lines = broken(peer, tmp_path)
    for name, text, line, error in damages(peer, lines):
        body = lines[:]
        if text is None:
            body.append(lines[0])
        else:
            body[1 if name == 'wrong check' else line - 1] = text
        if name == 'cut short':
            del body[line:]
        path = tmp_path / 'bad'
        path.write_text(''.join(body))
        before = dwxvmm.Image()
        before[0] = 7
        if error is None:
            before.load(path, format=peer.name)
            continue
        with pytest.raises(dwxvmm.ImageError, match=error) as e:
            before.load(path, format=peer.name)
        assert (e.value.line, name) == (line, name)
        assert content(before) == ([(0, b'\x07')], None), name
        if error == 'checksum':
            kept = load(path, peer.name, ignore_checksums=True)
            assert kept[0x40:0x58].count(0xA4) == 1


@pytest.mark.parametrize('peer', [p for p in IN if p.end == 'always' and
                                  p.records and not p.binary],
                         ids=lambda p: p.name)
def test_missing_end_record_fails_when_strict(tmp_path, peer):
    _, lines = broken(peer, tmp_path)
    path = tmp_path / 'bad'
    path.write_text(''.join(lines[:-1]))
    with pytest.warns(UserWarning, match='no end record'):
        dwxvmm.Image().load(path, format=peer.name)
    with pytest.raises(dwxvmm.ImageError, match='no end record') as e:
        dwxvmm.Image().load(path, format=peer.name, strict=True)
    assert e.value.line == len(lines) - 1


@pytest.mark.parametrize('name', ['ihex', 'srec', 'titxt'] +
                         [p.name for p in PEERS
                          if p.mode == 'io' and not p.binary])
def test_crlf_and_data_only(tmp_path, name):
    img = dwxvmm.Image()
    img[0x10:0x30] = bytes(range(32))
    img.start_address, img.header = 0x10, b'hd'
    plain, crlf, data = (tmp_path / n for n in ('plain', 'crlf', 'data'))
    img.save(plain, format=name, line_bytes=16)
    img.save(crlf, format=name, line_bytes=16, crlf=True)
    img.save(data, format=name, line_bytes=16, data_only=True)
    assert crlf.read_bytes() == plain.read_bytes().replace(b'\n', b'\r\n')
    assert content(load(crlf, name)) == content(load(plain, name))
    lines = plain.read_text().splitlines()
    kept = data.read_text().splitlines()
    assert set(kept) <= set(lines) and len(kept) >= 2
    extra = name in ('ihex', 'srec', 'titxt') or BY_NAME[name].end
    assert len(kept) < len(lines) if extra else kept == lines
    assert content(load(data, name)) == ([(0x10, bytes(range(32)))], None)


@pytest.mark.parametrize('name', ['c', 'vmem', 'mif', 'coe'] +
                         [p.name for p in PEERS if p.mode == 'out'])
def test_crlf_ends_every_line_of_other_text(tmp_path, name):
    img = dwxvmm.Image()
    img[0x10:0x50] = bytes(range(64))
    img.start_address = 0x10
    (tmp_path / 'crlf').mkdir()
    plain, crlf = tmp_path / 'out', tmp_path / 'crlf' / 'out'  # C names
    img.save(plain, format=name)
    img.save(crlf, format=name, crlf=True)
    assert crlf.read_bytes() == plain.read_bytes().replace(b'\n', b'\r\n')


# srec_cat's own lines: its web address for a missing header, its name, its
# advice on its filters.
THEIRS = re.compile(r'(; |REM |-- |# )http://srecord|Generated automatically'
                    r'|; To avoid this next ORG')
# Formats without addresses: srec_cat's Lattice MEM starts at 0 and takes
# no holes.
FILLED = ('basic', 'lattice-mem')


@pytest.mark.parametrize('peer', [p for p in PEERS if p.mode == 'out'],
                         ids=lambda p: p.name)
def test_written_only_formats_are_laid_out_as_srec_cat_lays_them(tmp_path,
                                                                 peer):
    for seed in range(3):
        img = sample(seed, peer, peer.peer_limit or 1 << 20)
        if peer.name == 'lattice-mem':
            whole = dwxvmm.Image()
            whole[0:0x300] = bytes(random.Random(seed).randrange(256)
                                   for _ in range(0x300))
            whole.start_address = img.start_address
            img = whole
        img.header = b'hd' if seed else b''
        img.save(tmp_path / 'in.srec', format='srec')
        theirs, ours = tmp_path / 'theirs', tmp_path / 'ours'
        source = [tmp_path / 'in.srec']
        if peer.name in FILLED:
            source += ['-fill', '0xFF', '-over', tmp_path / 'in.srec']
        srec_cat(*source, '-o', theirs, peer.option)
        img.save(ours, format=peer.name)
        keep = [line for line in theirs.read_text().splitlines()
                if not THEIRS.search(line)]
        assert [line for line in ours.read_text().splitlines()
                if not THEIRS.search(line)] == keep


def test_logisim_both_ways_from_the_lowest_byte(tmp_path):
    img = dwxvmm.Image()
    rnd = random.Random(1)
    img[0:0x900] = bytes(rnd.choice((0, 7, rnd.randrange(256)))
                         for _ in range(0x900))
    img.save(tmp_path / 'in.srec', format='srec')
    theirs, ours = tmp_path / 'theirs', tmp_path / 'ours'
    srec_cat(tmp_path / 'in.srec', '-o', theirs, '-LOGisim')
    img.save(ours, format='logisim')
    assert content(load(theirs, 'logisim')) == content(img)
    srec_cat(ours, '-LOGisim', '-o', tmp_path / 'back.srec')
    assert content(load(tmp_path / 'back.srec', 'srec')) == content(img)
    # With holes, from the lowest byte: a hole is the fill byte, and a load
    # places the file at its address.
    holed = dwxvmm.Image()
    holed[0x1000:0x1004] = b'\x01\x02\x03\x04'
    holed[0x1008] = 9
    holed.save(ours, format='logisim', fill=0)
    back = load(ours, 'logisim', at=0x1000)
    assert back[0x1000:0x1009] == b'\x01\x02\x03\x04\0\0\0\0\x09'


# Found from the first bytes: only where no other format begins the same way.
def nibbles(text):
    return sum(int(c, 16) for c in text)


def xorrol(data):
    v = 0
    for b in data:
        v ^= b
        v = (v << 1 | v >> 7) & 0xFF
    return v


H = '[0-9A-F]'
# A data record of each format, parsed here: its fields (a address, n
# count, d data, c and c2 its checks), what its checks must be, and how
# its address and data read (unit, words low byte first).
FRAMING = {
    'tektronix': (rf'/(?P<a>{H}{{4}})(?P<n>{H}{{2}})(?P<c>{H}{{2}})(?P<d>{H}*)'
                  rf'(?P<c2>{H}{{2}})',
                  lambda m, d: (nibbles(m['a'] + m['n']),
                                nibbles(m['d']) & 0xFF), 1, False),
    'tektronix-ext': (rf'%(?P<n>{H}{{2}})6(?P<c>{H}{{2}})8(?P<a>{H}{{8}})'
                      rf'(?P<d>{H}*)',
                      lambda m, d: (nibbles(m.string[1:4] + m.string[6:])
                                    & 0xFF,), 1, False),
    'mos-tech': (rf';(?P<n>{H}{{2}})(?P<a>{H}{{4}})(?P<d>{H}*)(?P<c>{H}{{4}})',
                 lambda m, d: (sum(bytes.fromhex(m['n'] + m['a'])
                                   + d) & 0xFFFF,), 1, False),
    'signetics': (rf':(?P<a>{H}{{4}})(?P<n>{H}{{2}})(?P<c>{H}{{2}})(?P<d>{H}*)'
                  rf'(?P<c2>{H}{{2}})',
                  lambda m, d: (xorrol(bytes.fromhex(m['a'] + m['n'])),
                                xorrol(d)), 1, False),
    'ihex16': (rf':(?P<n>{H}{{2}})(?P<a>{H}{{4}})00(?P<d>{H}*)(?P<c>{H}{{2}})',
               lambda m, d: (-sum(bytes.fromhex(m.string[1:-2])) & 0xFF,),
               2, True),
    'brecord': (rf'(?P<a>{H}{{8}})(?P<n>[01]{H})(?P<d>{H}*)', None, 1, False),
    'emon52': (rf'(?P<n>{H}{{2}}) (?P<a>{H}{{4}}):(?P<d>(?:{H}{{2}} )*)'
               rf'(?P<c>{H}{{4}})', lambda m, d: (sum(d),), 1, False),
    'atmel-generic': (rf'(?P<a>{H}{{6}}):(?P<d>{H}{{4}})', None, 2, False),
    'ti-tagged': (rf'9(?P<a>{H}{{4}})(?P<d>(?:B{H}{{4}}|\*{H}{{2}})*)7'
                  rf'(?P<c>{H}{{4}})F',
                  lambda m, d: (-sum(m.string[:-5].encode()) & 0xFFFF,),
                  1, False),
}
FRAMING['ti-tagged16'] = FRAMING['ti-tagged'][:2] + (2, False)
# Fairchild's data records take the address of an S record before them.
FRAMING['fairchild'] = (rf'S(?P<s>{H}{{4}})|X(?P<d>{H}{{16}})(?P<c>{H})',
                        lambda m, d: (nibbles(m['d']) & 15,), 1, False)


@pytest.mark.parametrize('name', sorted(FRAMING))
def test_framing_and_checks_as_the_descriptions_give_them(tmp_path, name):
    import re
    pattern, checks, unit, swap = FRAMING[name]
    img = sample(9, BY_NAME[name], BY_NAME[name].limit)
    img.save(tmp_path / 'x', format=name, line_bytes=16, data_only=True)
    got, upper, at = {}, 0, 0
    for line in (tmp_path / 'x').read_text().splitlines():
        if name == 'ihex16' and line.startswith(':01000004'):
            upper = int(line[9:13], 16)  # the swapped word's high byte first
            upper = (upper & 0xFF) << 8 | upper >> 8
            continue
        m = re.fullmatch(pattern, line)
        assert m, line
        if m.groupdict().get('s'):
            at = int(m['s'], 16)
            continue
        d = m['d'].replace(' ', '')
        if name.startswith('ti-tagged'):
            d = ''.join(t[1:] for t in re.findall(r'B.{4}|\*..', d))
        d = bytes.fromhex(d)
        if 'n' in m.groupdict() and name != 'tektronix-ext':
            assert int(m['n'], 16) * unit == len(d), line
        if checks:
            found = tuple(int(m[k], 16) for k in ('c', 'c2')
                          if k in m.groupdict())
            assert found == checks(m, d), line
        if swap:
            d = bytes(b for i in range(0, len(d), 2) for b in d[i + 1::-1][:2])
        a = ((upper << 16) + int(m['a'], 16)) * unit if 'a' in m.groupdict() \
            else at
        at = a + len(d)
        got.update((a + i, b) for i, b in enumerate(d))
    assert got == {a: b for a, z in img.segments() for a, b in
                   zip(range(a, z), img[a:z])}
