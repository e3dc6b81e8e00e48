"""Every CRC of python3-crccheck under each of its names against ours, over
"123456789" and over random images of several runs; stamps, alignment and
the writers' record shapes through the module's keywords."""
import hashlib
import random
import re
import warnings
import zlib

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


def test_digests_sums_and_values_without_a_write():
    rnd = random.Random(37)
    data = bytes(rnd.randrange(256) for _ in range(1000))
    img = image_of([(0x2000, data)])
    first, stop = 0x2000, 0x2000 + 1000
    for name, value in (('md5', hashlib.md5(data).digest()),
                        ('sha256', hashlib.sha256(data).digest()),
                        ('sha512', hashlib.sha512(data).digest()),
                        ('adler32-be', zlib.adler32(data).to_bytes(4, 'big')),
                        ('end32-le', (0x2000 + 1000).to_bytes(4, 'little'))):
        assert img.checksum_value(name, first, stop) == value, name
        img.checksum(name, 0x100, first, stop, overwrite=True)
        assert img[0x100:0x100 + len(value)] == value
    assert len(img) == 1000 + 64  # the widest stamp over the others
    assert img.checksum_value('lowest16-be', 0x2000, 0x2100) == b'\x20\x00'
    assert img.checksum_value('sha1', 0x100, 0x140) == hashlib.sha1(img[0x100:0x140]).digest()
    with pytest.raises(dwxvmm.ImageError, match='hole at 0x00000140'):
        img.checksum_value('sha1')


def test_bit_operations_fills_and_banks_in_place(tmp_path):
    rnd = random.Random(38)
    runs = [(a, bytes(rnd.randrange(256) for _ in range(n)))
            for a, n in ((0x10, 40), (0x100, 33), (0xfff0, 64))]
    img = image_of(runs)
    img.transform('xor', 0x5a, 0x20, 0x110)
    img.transform('bit-reverse')
    for a, data in runs:
        for i, b in enumerate(data):
            b ^= 0x5a if 0x20 <= a + i < 0x110 else 0
            assert img[a + i] == int(f'{b:08b}'[::-1], 2)
    with pytest.raises(ValueError, match='not takes no value'):
        img.transform('not', 1)
    twin = image_of(runs)
    for one in (img, twin):
        one.random_fill(0, 0x200, seed=7)
    assert img[0:0x10] == twin[0:0x10] and len(img) == 0x200 + 64
    img.fill_pattern(b'\xa1\xb2\xc3', 0xffe0, 0xfff8)
    assert img[0xffe0:0xfff0] == (b'\xa1\xb2\xc3' * 6)[:16]
    img.unfill(0xc3, 2)
    assert 0xffe2 in img
    img.unfill(0xc3)
    assert 0xffe2 not in img and 0xffe5 not in img
    img.start_address = 0x10
    with pytest.warns(UserWarning, match='does not survive a split'):
        img.split(4, 1, 2)
    assert img.start_address is None
    with pytest.raises(dwxvmm.ImageError, match='split 2:2:1'):
        img.split(2, 2)


def test_lanes_and_word_addresses_through_files(tmp_path):
    data = bytes(range(256)) * 3
    img = image_of([(0, data)])
    for offset in (0, 1):
        lane = image_of([(0, data)])
        lane.split(2, offset)
        lane.save(tmp_path / f'{offset}.bin')
    back = dwxvmm.load(tmp_path / '0.bin', unsplit=(2, 0))
    back.load(tmp_path / '1.bin', unsplit=(2, 1, 1))
    assert back[0:len(data)] == data
    img.start_address = 0x20
    for ext in ('hex', 'srec', 'titxt'):
        path = tmp_path / f'w.{ext}'
        img.save(path, format='titxt' if ext == 'titxt' else None, address_unit=4)
        words = dwxvmm.load(path, unit=4)
        assert words.segments() == [(0, len(data))] and words[0:len(data)] == data
        # Read as bytes, the records' addresses overlap; TI-TXT's one block
        # holds no address but its first.
        if ext == 'titxt':
            assert dwxvmm.load(path).segments() == [(0, len(data))]
        else:
            with pytest.raises(dwxvmm.ImageError, match='already holds'):
                dwxvmm.load(path)
    assert dwxvmm.load(tmp_path / 'w.hex', unit=4).start_address == 0x20
    with pytest.raises(dwxvmm.ImageError, match='address unit 2: this format takes none'):
        img.save(tmp_path / 'w.bin', address_unit=2)
    with pytest.raises(ValueError, match='unit is 1, 2 or 4'):
        dwxvmm.load(tmp_path / 'w.hex', unit=3)


def test_verify_every_name_at_its_check_value_and_one_bit_off():
    for name in dwxvmm.CHECKSUMS + ('sha256',):
        data = b'12345678' if name.startswith('stm32') else b'123456789'
        img = image_of([(0x100, data)])
        img.checksum(name, 0x200, 0x100, 0x100 + len(data))
        stored = img.checksum_value(name, 0x100, 0x100 + len(data))
        at_end = image_of([(0x100, data)])
        at_end.checksum(name, 0x100 + len(data))  # no range: found again
        assert at_end.verify(name, 0x100 + len(data)) == (True, stored, stored), name
        assert img.verify(name, 0x200, 0x100, 0x100 + len(data)) == (True, stored, stored), name
        img[0x200] ^= 0x10
        ok, bad, computed = img.verify(name, 0x200, 0x100, 0x100 + len(data))
        assert not ok and bad != stored and computed == stored, name
    with pytest.raises(dwxvmm.ImageError, match='0x00000202 is a hole'):
        image_of([(0x100, data), (0x200, b'12')]).verify('crc32-le', 0x200, 0x100, 0x109)
