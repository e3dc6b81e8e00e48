"""The module against python3-intelhex, its own files, and every error."""
import random
import struct
import threading
import warnings
import zlib
from pathlib import Path

import pytest
from intelhex import IntelHex

import dwxvmm


def sample(seed, start=None):
    """Runs of random bytes, some across 64 KiB and 16 MiB boundaries."""
    rnd = random.Random(seed)
    ih = IntelHex()
    for base in (0, 0xFFF0, 0xFFFFF8, 0x08000000, 0xFFFFFF00):
        for _ in range(3):
            a = base + rnd.randrange(0x40)
            ih.puts(a, bytes(rnd.randrange(256) for _ in range(rnd.randrange(1, 40))))
    if start:
        ih.start_addr = start
    return ih


def data(img):
    return [(a, img[a:b]) for a, b in img.segments()]


def check_same(img, ih):
    assert img.segments() == ih.segments()
    for a, b in ih.segments():
        assert img[a:b] == ih.tobinstr(a, b - 1)
    assert len(img) == len(ih) and img.minaddr() == ih.minaddr()
    assert img.maxaddr() == ih.maxaddr()


@pytest.mark.parametrize('start, linear', [
    (None, None), ({'EIP': 0x08000123}, 0x08000123),
    ({'CS': 0x1234, 'IP': 0x5678}, 0x1234 * 16 + 0x5678)])
def test_intelhex_reads_and_writes_what_we_do(tmp_path, start, linear):
    ih = sample(len(tmp_path.name), start)
    ih.write_hex_file(str(tmp_path / 'in.hex'))
    img = dwxvmm.load(tmp_path / 'in.hex')
    check_same(img, ih)
    assert img.start_address == linear
    for n in (1, 16, 255):
        img.save(str(tmp_path / 'out.hex'), line_bytes=n)
        back = IntelHex(str(tmp_path / 'out.hex'))
        assert back.todict() == ih.todict()


def test_save_then_load_is_identity(tmp_path):
    img = dwxvmm.Image()
    for a, b in sample(7).segments():
        img[a:b] = bytes(range(b - a))
    img.start_address, img.header = 0x08000000, b'fw v1\x00\xff'
    for name in ('a.srec', 'a.S37', 'a.hex', 'a.ihx', 'a.mot'):
        img.save(tmp_path / name)
        back = dwxvmm.load(tmp_path / name)
        assert data(back) == data(img)
        assert back.start_address == img.start_address
        assert back.header == (None if name[-3:] in ('hex', 'ihx') else img.header)
    img.save(tmp_path / 'a.txt', format='titxt')
    assert data(dwxvmm.load(tmp_path / 'a.txt')) == data(img)
    img.save(tmp_path / 'a.c')  # written only: the names come from the file
    assert 'a_runs[' in (tmp_path / 'a.c').read_text()
    img.save(tmp_path / 'a.bin', range=(0xFFF8, 0x10100), fill=0x5A)
    raw = (tmp_path / 'a.bin').read_bytes()
    assert raw == img.read(0xFFF8, 0x10100 - 0xFFF8, fill=0x5A)
    back = dwxvmm.load(tmp_path / 'a.bin', at=0xFFF8)
    assert back[:] == raw and back.start_address is None
    (tmp_path / 'x').write_bytes(raw)  # binary by content, whatever the name
    assert dwxvmm.load(str(tmp_path / 'x'), at=0xFFF8, move=-8)[0xFFF0:0xFFF8] == raw[:8]


def test_board_and_fpga_formats(tmp_path):
    img = dwxvmm.Image()
    img[0x10000000:0x10000103] = bytes(range(256)) + b'abc'
    img.save(tmp_path / 'fw.uf2', uf2_family='RP2040', fill=0)
    raw = (tmp_path / 'fw.uf2').read_bytes()
    assert len(raw) == 1024 and raw[28:32] == (0xE48BFF56).to_bytes(4, 'little')
    assert dwxvmm.load(tmp_path / 'fw.uf2', family='rp2040')[0x10000103:0x10000200] \
        == bytes(0xFD)
    with pytest.raises(dwxvmm.ImageError, match='no block of family SAMD21'):
        dwxvmm.load(tmp_path / 'fw.uf2', family='SAMD21')
    img.save(tmp_path / 'fw.dfu', dfu_alt=1, dfu_name='Flash', dfu_vid=0x1209)
    assert data(dwxvmm.load(tmp_path / 'fw.dfu', alt=1)) == data(img)
    with pytest.raises(dwxvmm.ImageError, match="no target of alternate setting 0 "
                       r"\(the file holds alt 1 'Flash'\)"):
        dwxvmm.load(tmp_path / 'fw.dfu', alt=0)
    img.move(-0x10000000)
    img.save(tmp_path / 'fw.mif', word_width=16, fill=0xEE)
    back = dwxvmm.load(tmp_path / 'fw.mif', format='mif')
    assert back[:] == img[0:0x103] + b'\xEE'
    img.save(tmp_path / 'fw.coe', word_width=32)
    assert (tmp_path / 'fw.coe').read_text().endswith('\n00636261;\n')
    img.save(tmp_path / 'fw.vmem', word_width=8)
    assert data(dwxvmm.load(tmp_path / 'fw.vmem', format='vmem')) == data(img)
    for bad_call, error in [
            (lambda: img.save(tmp_path / 'o.uf2', uf2_family='RP9'), ValueError),
            (lambda: img.save(tmp_path / 'o.mif', word_width=12), ValueError),
            (lambda: img.save(tmp_path / 'o.dfu', dfu_alt=256), ValueError),
            (lambda: img.save(tmp_path / 'o.dfu', dfu_name='n' * 256), ValueError),
            (lambda: dwxvmm.load(tmp_path / 'fw.mif', format='mof'), ValueError),
            (lambda: dwxvmm.load(tmp_path / 'fw.uf2', family=2 ** 32), ValueError)]:
        with pytest.raises(error):
            bad_call()
    assert not list(tmp_path.glob('o.*'))


def test_bytes_cross_as_bytes():
    img = dwxvmm.Image()
    img[0xFFFFFFFE:] = bytearray(b'\x01\x02')
    img[0x10:0x14] = memoryview(b'abcdef')[1:5]
    img[0x20] = 0xFF
    assert img[0xFFFFFFFE:0x100000000] == b'\x01\x02' and img[0x10:0x14] == b'bcde'
    assert img[0x20] == 0xFF and 0x20 in img and 0x21 not in img
    assert img.get(0x21) is None and img.get(0x21, 7) == 7 and img.get(0x20) == 0xFF
    assert img.read(0x13, 3, fill=0) == b'e\x00\x00' and img.read(0x30, 0) == b''
    img[0x40:0x40] = b''
    assert len(img) == 7 and img.memory > 0
    assert img.segments() == [(0x10, 0x14), (0x20, 0x21), (0xFFFFFFFE, 0x100000000)]
    assert dwxvmm.Image()[:] == b'' and dwxvmm.Image().minaddr() is None


def test_checksums_and_edits_as_documented():
    img = dwxvmm.Image()
    img[0:9] = b'123456789'
    img.checksum('crc32-le', 0x10)
    assert img[0x10:0x14] == zlib.crc32(b'123456789').to_bytes(4, 'little')
    img.checksum('crc16-xmodem-be', 0x20, 0, 9)
    assert img[0x20:0x22] == b'\x31\xC3'
    assert 'stm32-le' in dwxvmm.CHECKSUMS and 'sum8' in dwxvmm.CHECKSUMS
    img.fill(0xFF, 9, 0x10)
    img.swap(2)
    assert img[0:4] == b'2143' and img[0x20:0x22] == b'\xC3\x31'
    img.start_address = 0x100
    img.move(0x100)
    assert img.minaddr() == 0x100 and img.start_address == 0x200
    img.crop([(0x100, 0x104), (0x120, 0x122)])
    assert img.segments() == [(0x100, 0x104), (0x120, 0x122)]
    img.exclude([(0x101, 0x103)])
    assert img.segments() == [(0x100, 0x101), (0x103, 0x104), (0x120, 0x122)]


def hexfile(path, lines):
    path.write_text(''.join(line + '\n' for line in lines))
    return path


MIF = b'-- a RAM\n% c %\nwidth = 8;\ndepth=4;\ncontent begin\n0 : 12;\nend;\n'
NOTES = b'Width of the bus: 8\n'
TEXT = 'cannot tell the format of this text: give PATH@FORMAT'


@pytest.mark.parametrize('name, body, kw, want', [
    ('ram.dat', MIF, {}, [(0, b'\x12')]),
    ('ram.mif', MIF, {}, [(0, b'\x12')]),
    ('radix.txt', b'%c\n%\tData_Radix\t=HEX;WIDTH=8;DEPTH=2;CONTENT BEGIN 1:7;END;',
     {}, [(1, b'\x07')]),
    ('ram.Vmem', b'@10\n0102\n', {'word_width': 16}, [(0x20, b'\x02\x01')]),
    ('ram.mem', b'@10\n01 02\nq\n', {'word_width': 16}, [(0x10, b'\x01\x02')]),
    ('hex.mif', b':00000001FF\n', {}, 'no CONTENT BEGIN'),
    ('notes.txt', NOTES, {}, TEXT),
    ('notes.txt', NOTES, {'move': 0x10}, TEXT),
    ('notes.txt', NOTES, {'format': 'binary'}, [(0, NOTES)]),
    ('notes.txt', NOTES, {'at': 0x10}, [(0x10, NOTES)]),
    ('empty.bin', b'', {}, []),
    ('late.txt', b'a' * 65535 + b'\0', {}, [(0, b'a' * 65535 + b'\0')]),
    ('far.txt', b'a' * 65536 + b'\0', {}, TEXT),
    ('cut.txt', b'a' * 65535 + b'\xc3\xb6', {}, TEXT),
    ('bad.txt', b'text \xc3(', {}, [(0, b'text \xc3(')]),
    ('c1.txt', b'text \xc2\x85', {}, [(0, b'text \xc2\x85')]),
])
def test_the_format_from_name_and_bytes(tmp_path, name, body, kw, want):
    path = tmp_path / name
    path.write_bytes(body)
    img = dwxvmm.Image()
    if isinstance(want, str):
        with pytest.raises(dwxvmm.ImageError) as e:
            img.load(path, **kw)
        assert str(e.value).startswith(f'{path}: {want}')
        assert img.segments() == []
    else:
        img.load(path, **kw)
        assert data(img) == want


def test_errors(tmp_path):
    good = [f':01{a:04X}00{a & 0xFF:02X}{(-(1 + (a >> 8) + a + a) & 0xFF):02X}'
            for a in range(20)]
    bad = hexfile(tmp_path / 'fw.hex', good[:16] + [good[16][:-2] + '00'] + good[17:])
    img = dwxvmm.Image()
    with pytest.raises(dwxvmm.ImageError) as e:
        img.load(bad)
    assert (e.value.path, e.value.line, e.value.reason) == (str(bad), 17, 'checksum mismatch')
    assert str(e.value) == f'{bad}:17: checksum mismatch' and isinstance(e.value, ValueError)
    ok = hexfile(tmp_path / 'ok.hex', good + [':00000001FF'])
    img[0] = 0x55  # differs from the file's byte at 0
    for kw in ({}, {'move': 0x100 - 0x100}, {'move': -0x10 + 0x10}):
        with pytest.raises(dwxvmm.ImageError, match='0x00000000 already holds'):
            img.load(ok, **kw)
    img[0x100] = 1
    with pytest.raises(dwxvmm.ImageError, match=r'ok.hex: address 0x00000100 already'):
        img.load(ok, move=0x100)
    with pytest.raises(dwxvmm.ImageError, match='beyond 0xFFFFFFFF') as e:
        img.load(ok, move=0xFFFFFFF0)
    assert e.value.path == str(ok) and e.value.line is None
    assert img.segments() == [(0, 1), (0x100, 0x101)]  # failures changed nothing
    img.load(ok, move=0x101, overwrite=True)
    assert img[0x100:0x102] == b'\x01\x00'
    with pytest.raises(dwxvmm.ImageError, match='missing'):
        img.load(tmp_path / 'missing.hex')
    with pytest.raises(ValueError, match='binary'):
        img.load(ok, at=0)
    with pytest.warns(UserWarning, match='ok2.hex'):
        dwxvmm.load(hexfile(tmp_path / 'ok2.hex', good))
    with pytest.raises(dwxvmm.ImageError) as e:  # strict: the last line
        dwxvmm.load(tmp_path / 'ok2.hex', strict=True)
    assert (e.value.line, e.value.reason) == (20, 'no end record')
    with pytest.raises(dwxvmm.ImageError, match=r'ok.hex:1: .* limit of 1 KiB'):
        img.load(ok, max_memory=1024, overwrite=True)
    with pytest.raises(ValueError):
        img.load(ok, max_memory=-1)
    cut = tmp_path / 'cut.elf'  # an ELF header, its section headers cut away
    cut.write_bytes(struct.pack('<16sHHIIIIIHHHHHH', b'\x7fELF\x01\x01\x01', 2, 40,
                                1, 0, 0, 0x1000, 0, 52, 32, 0, 40, 3, 2))
    with pytest.raises(dwxvmm.ImageError, match='section header table'):
        dwxvmm.load(cut)
    before = data(img)
    for edit, reason in [(lambda: img.swap(3), 'byte swap of 3 bytes'),
                         (lambda: img.checksum('crc32-le', 0x200), 'hole at 0x00000001'),
                         (lambda: img.checksum('crc9', 0x200), "unknown checksum 'crc9'"),
                         (lambda: img.move(-1), 'below 0')]:
        with pytest.raises(dwxvmm.ImageError) as e:
            edit()
        assert reason in str(e.value) and e.value.path is None and e.value.line is None
        assert data(img) == before
    with pytest.raises(KeyError, match='0x00000001 is a hole'):
        img[0:2]
    with pytest.raises(KeyError, match='0x00000115 is a hole'):
        img.read(0x100, 0x20)
    with pytest.raises(KeyError, match='0x00000200 is a hole'):
        img[0x200]
    for bad_address in (-1, 0x100000000, 2 ** 80):
        for use in (img.__getitem__, img.__contains__, img.get,
                    lambda a: img.__setitem__(a, 0), lambda a: img.read(a, 1)):
            with pytest.raises(ValueError):
                use(bad_address)
    for wrong in ('1', 1.0, None, b'\x01'):
        for use in (img.__getitem__, img.__contains__, lambda a: img.__setitem__(a, 0),
                    lambda a: img.__setitem__(0, a), lambda a: img.fill(a)):
            with pytest.raises(TypeError):
                use(wrong)
    for bad_call, error in [
            (lambda: img.__setitem__(0, 256), ValueError),
            (lambda: img.__setitem__(slice(0, 3), b'ab'), ValueError),
            (lambda: img.__setitem__(slice(None, 3), b'abc'), ValueError),
            (lambda: img.__setitem__(slice(0xFFFFFFFF, None), b'ab'), ValueError),
            (lambda: img.__setitem__(slice(0, 2), 'ab'), TypeError),
            (lambda: img[0:4:2], ValueError), (lambda: img[-4:], ValueError),
            (lambda: img.read(0xFFFFFFFF, 2), ValueError),
            (lambda: img.move(2 ** 32), ValueError),
            (lambda: img.save(tmp_path / 'out.txt'), ValueError),
            (lambda: img.save(tmp_path / 'out', format='elves'), ValueError),
            (lambda: img.save(tmp_path / 'out.hex', fill=0), ValueError),
            (lambda: img.save(tmp_path / 'out.hex', line_bytes=0), ValueError),
            (lambda: img.save(tmp_path / 'out.hex', range=(5, 5)), ValueError),
            (lambda: img.save(tmp_path / 'out.hex', range=5), TypeError),
            (lambda: img.save(tmp_path / 'out.hex', range='0-16'), TypeError),
            (lambda: img.save(tmp_path / 'out.hex', range=[0, 1, 2]), TypeError),
            (lambda: img.save(42), TypeError), (lambda: list(img), TypeError),
            (lambda: img.crop([(1, 2, 3)]), TypeError),
            (lambda: img.exclude(['01']), TypeError)]:
        with pytest.raises(error):
            bad_call()
    assert not list(tmp_path.glob('out*'))


def test_library_notices_stay_off_stderr(tmp_path, capfd):
    img = dwxvmm.Image()
    img[0x7F000000:0x7F000010] = bytes(16)
    img.crop([(0, 0x100000000)])
    with pytest.raises(dwxvmm.ImageError):
        img.load(tmp_path / 'missing')
    del img
    assert capfd.readouterr().err == ''


def test_threads_on_images_of_their_own_and_on_one(tmp_path, capfd):
    """The library works without the interpreter lock: images in threads of
    their own come out as alone, and threads on one image or pair take
    turns."""
    for i in range(8):
        sample(i).write_hex_file(str(tmp_path / f'in{i}.hex'))

    def convert(i):
        img = dwxvmm.load(tmp_path / f'in{i}.hex')
        img.crop([(0, 0x01000000)])
        img.fill(0xFF, 0x100, 0x20000)
        img.checksum('crc32-le', 0x20000, 0x100, 0x20000)
        img.save(tmp_path / f'out{i}.srec')

    shared, block = dwxvmm.Image(), bytes(range(256)) * 16

    def write(i):
        for k in range(200):
            a = 0x10000 * i + 0x1000 * (k % 16)
            shared[a:a + len(block)] = block
            assert shared[a:a + len(block)] == block and a in shared

    pair = [dwxvmm.Image(), dwxvmm.Image()]
    pair[0][0:4], pair[1][2:6] = b'abcd', b'cdef'

    def compare(i):  # each pair in both orders: neither waits forever
        for _ in range(100):
            assert len(pair[i].compare(pair[1 - i])) == 2
            assert pair[i] != pair[1 - i] and pair[i].copy() == pair[i]

    threads = [threading.Thread(target=convert, args=(i,)) for i in range(8)]
    threads += [threading.Thread(target=write, args=(i,)) for i in range(4)]
    threads += [threading.Thread(target=compare, args=(i,)) for i in (0, 1)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for i in range(8):
        ih, want = sample(i), IntelHex()
        kept = {a: ih[a] for a in ih.addresses() if a < 0x01000000}
        want.fromdict({**dict.fromkeys(range(0x100, 0x20000), 0xFF), **kept})
        crc = zlib.crc32(want.tobinstr(0x100, 0x1FFFF))
        want.puts(0x20000, struct.pack('<I', crc))
        check_same(dwxvmm.load(tmp_path / f'out{i}.srec'), want)
    assert shared.segments() == [(0, 0x40000)]
    assert capfd.readouterr().err == ''
