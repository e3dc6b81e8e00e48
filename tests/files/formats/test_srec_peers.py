"""Every format srec_cat also knows, both ways against srec_cat, and the
broken records every text reader must refuse.

One row a format; the checks are generic. A row's address limit is the
format's field (bytes, exclusive); where srec_cat stops short of the field
the row says so in `peer_limit`, and the checks against srec_cat stay
below it.
"""
import random
import shutil
import subprocess
import warnings
from collections import namedtuple

import pytest

import dwxvmm

Peer = namedtuple('Peer', 'name option limit word start mode end faults '
                  'peer_limit', defaults=(None,))
# start: bits of the start field (0: none). mode: 'io' both ways, 'out' only
# written. end: 'always', 'start' (only with a start address) or None.
# faults: what srec_cat gets wrong, by words the checks know: 'no-read'
# (it writes the format but cannot read it).
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
            a = (base + rnd.randrange(0x200)) // w * w
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
        img.save(tmp_path / 'in.srec', format='srec')
        theirs = tmp_path / ('x.' + peer.name)
        srec_cat(tmp_path / 'in.srec', '-o', theirs, peer.option)
        if 'no-read' in peer.faults:
            assert content(load(theirs, peer.name)) == content(img)
            continue
        srec_cat(theirs, peer.option, '-o', tmp_path / 'back.srec')
        assert content(load(theirs, peer.name)) == \
            content(load(tmp_path / 'back.srec', 'srec'))


@pytest.mark.parametrize('peer', IN, ids=lambda p: p.name)
def test_srec_cat_reads_what_we_write(tmp_path, peer):
    for seed, line in zip(range(3), (1, 32, 255)):
        img = sample(seed, peer, peer.peer_limit or peer.limit)
        ours = tmp_path / ('x.' + peer.name)
        img.save(ours, format=peer.name, line_bytes=line)
        assert content(load(ours, peer.name)) == content(img)
        if 'no-read' not in peer.faults:
            srec_cat(ours, peer.option, '-o', tmp_path / 'back.srec')
            assert content(load(tmp_path / 'back.srec', 'srec')) == content(img)


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
        img[0x100:0x104] = bytes(4)
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
    with_check = peer.name not in ('brecord', 'atmel-generic')
    yield 'bad digit', second[:i] + 'AG' + second[i + 2:], 2, 'invalid hex'
    yield 'wrong check', second[:i] + 'A4' + second[i + 2:], 2, \
        'checksum' if with_check else None
    sep = ' ' if peer.name == 'emon52' else ''
    cut = second[:i] + second[i + 2 + len(sep):]
    yield 'short', cut, 2, 'short|incomplete|whole words|too'
    yield 'long', second[:i] + 'A5' + sep + second[i:], 2, \
        'long|incomplete|whole words'
    last = lines[-1]
    yield 'cut short', last[:len(last) // 2] + '\n', n, '.'
    if peer.end:
        yield 'after end', None, n + 1, 'after the end record'


@pytest.mark.parametrize('peer', IN, ids=lambda p: p.name)
def test_broken_records_change_nothing(tmp_path, peer):
    img, lines = broken(peer, tmp_path)
    for name, text, line, error in damages(peer, lines):
        body = lines[:]
        if text is None:
            body.append(lines[0])
        else:
            body[line - 1] = text
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


@pytest.mark.parametrize('peer', [p for p in IN if p.end == 'always'],
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
                         [p.name for p in PEERS if p.mode == 'io'])
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
