"""Every CRC of python3-crccheck under each of its names against ours, over
"123456789" and over random images of several runs; stamps, alignment and
the writers' record shapes through the module's keywords."""
import random
import re
import warnings

import pytest
from crccheck.crc import ALLCRCCLASSES, Crc16Kermit

import dwxvmm

# CRC-82/DARC is wider than the 64 bits an image's checksum takes.
CRCS = [c for c in ALLCRCCLASSES if c._width <= 64]


def image_of(runs):
    img = dwxvmm.Image()
    for a, data in runs:
        img[a:a + len(data)] = data
    return img


def written(img, at, width, order):
    return int.from_bytes(img[at:at + width], order)


def test_every_name_and_alias_in_any_case_gives_crcchecks_value():
    assert len(ALLCRCCLASSES) == 107 and len(CRCS) == 106
    rnd = random.Random(28)
    for crc in CRCS:
        width = (crc._width + 7) // 8
        for name in crc._names:
            name = ''.join(c.upper() if rnd.random() < 0.5 else c.lower() for c in name)
            for suffix, order in (('-le', 'little'), ('-be', 'big')):
                img = image_of([(0x100, b'123456789')])
                img.checksum(name + suffix, 0x10, 0x100, 0x109)
                assert written(img, 0x10, width, order) == crc.calc(b'123456789'), name + suffix


def test_random_images_of_several_runs_by_name_and_by_parameters():
    rnd = random.Random(7)
    for crc in CRCS:
        width = (crc._width + 7) // 8
        runs = []
        a = rnd.choice([0, 0xFFF0, 0x08000000, 0xFFFF0000])
        for _ in range(rnd.randrange(2, 5)):
            a += rnd.randrange(0, 300)
            data = bytes(rnd.randrange(256) for _ in range(rnd.randrange(1, 700)))
            runs.append((a, data))
            a += len(data)
        img = image_of(runs)
        lo, hi = runs[0][0], a
        img.fill(0x5A, lo, hi)
        flat = img[lo:hi]
        params = 'crc(width=%d,poly=%#x,init=%d,refin=%s,refout=%s,xorout=%#x)' % (
            crc._width, crc._poly, crc._initvalue, str(crc._reflect_input).lower(),
            str(crc._reflect_output).lower(), crc._xor_output)
        for name, at in ((crc._names[0] + '-be', hi + 8), (params + '-le', hi + 16)):
            img.checksum(name, at, lo, hi)
        assert written(img, hi + 8, width, 'big') == crc.calc(flat), crc._names[0]
        assert written(img, hi + 16, width, 'little') == crc.calc(flat), params


def test_our_names_and_the_listing():
    flat = bytes(range(256)) * 3
    img = image_of([(0, flat)])
    swapped = b''.join(flat[i:i + 4][::-1] for i in range(0, len(flat), 4))
    for ours, name, data, n in (('crc32-le', 'crc-32/iso-hdlc-le', flat, 4),
                                ('crc16-ccitt-le', 'crc-16/ibm-3740-le', flat, 2),
                                ('crc16-aug-le', 'crc-16/spi-fujitsu-le', flat, 2),
                                ('stm32-le', 'crc-32/mpeg-2-le', swapped, 4)):
        img.checksum(ours, 0x1000, 0, len(flat), overwrite=True)
        theirs = image_of([(0, data)])
        theirs.checksum(name, 0x1000, 0, len(flat))
        assert img[0x1000:0x1000 + n] == theirs[0x1000:0x1000 + n], ours
    img.checksum('length32-be', 0x2000, 0, 0x2000)  # holes count too
    assert img[0x2000:0x2004] == (0x2000).to_bytes(4, 'big')
    listing = dwxvmm.checksum_list()
    assert 'the catalogue\'s CRC-16/CCITT is CRC-16/KERMIT' in listing
    assert 'check=%#06x' % Crc16Kermit.calc(b'123456789') in listing
    assert 'crc-16/modbus-le' in dwxvmm.CHECKSUMS and 'crc-3/gsm-be' in dwxvmm.CHECKSUMS


def test_set_align_and_the_writers_keywords(tmp_path):
    img = image_of([(0x1001, b'\x01\x02')])
    img.set('textz:v1', 0x1010)
    img.set('u32be:0x01020304', 0x1020)
    with pytest.raises(dwxvmm.ImageError, match='already holds another value'):
        img.set('u8:9', 0x1001)
    img.align(16, fill=0)
    assert img.segments() == [(0x1000, 0x1030)]
    assert img[0x1010:0x1013] == b'v1\0' and img[0x1020:0x1024] == b'\1\2\3\4'
    img.start_address = 0x1000
    shapes = [('srec', dict(srec_address=32, header='hi', start=False), 'S0 S3 S5'),
              ('srec', dict(srec_address=24, header=False), 'S2 S5 S8'),
              ('ihex', dict(hex_address='segment'), '02 00 03 01'),
              ('ihex', dict(hex_address='linear', start=False), '04 00 01')]
    for fmt, kw, types in shapes:
        out = tmp_path / ('o.' + fmt)
        img.save(out, format=fmt, line_bytes=48, **kw)
        lines = out.read_text().split()
        found = [l[:2] if fmt == 'srec' else l[7:9] for l in lines]
        assert ' '.join(dict.fromkeys(found)) == types, kw
        assert dwxvmm.load(out).segments() == img.segments()
    with pytest.raises(dwxvmm.ImageError, match='beyond segment addressing'):
        image_of([(0x100000, b'x')]).save(tmp_path / 'x.hex', hex_address='segment')


def test_wrong_record_checksums_load_on_request(tmp_path):
    bad = tmp_path / 'bad.hex'
    bad.write_text(''.join(':01%04X0041FF\n' % i for i in range(12)) + ':00000001FF\n')
    with pytest.raises(dwxvmm.ImageError, match='checksum mismatch'):
        dwxvmm.load(bad)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter('always')
        img = dwxvmm.load(bad, ignore_checksums=True)
    said = [str(w.message) for w in caught]
    assert said[:2] == ['%s:1: checksum mismatch, loaded all the same' % bad,
                        '%s:2: checksum mismatch, loaded all the same' % bad]
    assert len(said) == 11 and re.search('2 more records with a wrong checksum', said[-1])
    assert len(img) == 12
