"""Images without files (loads, dumps), merges, runs, chunks, copies and
equality, each against a dict of address to byte."""
import copy
import random
import struct

import pytest

import dwxvmm

TOP = 0x100000000


def image(model, start=None, header=None):
    img = dwxvmm.Image()
    for a, v in model.items():
        img[a] = v
    img.start_address, img.header = start, header
    return img


def model_of(img):
    return {a + i: v for a, data in img.runs() for i, v in enumerate(data)}


def random_model(rnd, bases=(0, 0x100, 0x08000000, 0xFFFFFF00), spread=0x60):
    """Short runs near block edges, at 0 and at 0xFFFFFFFF."""
    model = {}
    for _ in range(rnd.randrange(1, 8)):
        a = min(rnd.choice(bases) + rnd.randrange(spread), TOP - 1)
        for i in range(rnd.randrange(1, 24)):
            if a + i < TOP:
                model[a + i] = rnd.randrange(256)
    return model


def elf(sections, entry=0):
    """An ELF32 file of sections (address, bytes) only, no program header."""
    data = b''.join(d for _, d in sections)
    shoff = 52 + len(data)
    out = struct.pack('<16sHHIIIIIHHHHHH', b'\x7fELF\x01\x01\x01', 2, 40, 1,
                      entry, 0, shoff, 0, 52, 32, 0, 40, 1 + len(sections), 0)
    out += data + bytes(40)
    offset = 52
    for addr, d in sections:
        out += struct.pack('<10I', 0, 1, 2, addr, offset, len(d), 0, 0, 1, 0)
        offset += len(d)
    return out


# format word, save options, load options (the format found or named)
FORMATS = [
    ('ihex', {'line_bytes': 7}, {}),
    ('ihex', {'hex_address': 'segment', 'start': False}, {}),
    ('srec', {'srec_address': 32, 'header': 'fw'}, {}),
    ('titxt', {}, {}),
    ('vmem', {}, {'format': 'vmem'}),
    ('mif', {'word_width': 32, 'fill': 0xEE}, {'format': 'mif'}),
    ('coe', {'word_width': 8}, None),  # written only
    ('binary', {'fill': 0x5A}, {'at': 0x00080000}),
    ('binary', {'range': (0x00080010, 0x00080400)}, {'format': 'binary'}),
    ('uf2', {'uf2_family': 'RP2040'}, {}),
    ('dfuse', {'dfu_alt': 2, 'dfu_name': 'Flash'}, {'alt': 2}),
]
BINARY = ('binary', 'elf', 'uf2', 'dfuse', 'aomf', 'msbin', 'formatted-binary',
          'dec-binary', 'idt', 'ppb', 'stewie', 'trs80', 'wilson')


@pytest.mark.parametrize('word, save, load', FORMATS)
def test_dumps_is_save_and_loads_is_load(tmp_path, word, save, load):
    rnd = random.Random(word)
    model = random_model(rnd, bases=(0x00080000, 0x00080200), spread=0x200)
    img = image(model, start=0x00080101)
    path = tmp_path / 'out'
    img.save(path, format=word, **save)
    raw = path.read_bytes()
    assert img.dumps(word, **save) == raw
    if load is None:
        return
    from_file = dwxvmm.load(path, **load)
    for data in (raw, bytearray(raw), memoryview(raw)) + (
            () if word in BINARY else (raw.decode(),)):
        assert dwxvmm.loads(data, **load) == from_file
    lo, hi = save.get('range', (0, TOP))
    kept = {a: v for a, v in model.items() if lo <= a < hi}
    fill = save.get('fill', 0xFF if word in BINARY else 0)
    if word in ('binary', 'mif'):  # holes written as the fill
        kept = {a: kept.get(a, fill) for a in range(min(kept), max(kept) + 1)}
    first = lo if 'range' in save else min(kept)  # a binary file's
    shift = first - load.get('at', 0) if word == 'binary' else 0
    back = {a + shift: v for a, v in model_of(from_file).items()}
    assert {a: back[a] for a in kept} == kept
    if word in BINARY:
        with pytest.raises(TypeError, match='binary format takes bytes'):
            dwxvmm.loads(raw.decode('latin-1'), format=word)


@pytest.mark.parametrize(
    'word', [w for w, f in dwxvmm.FORMAT_INFO.items() if f.write])
def test_every_format_word_dumps_and_loads_as_files(tmp_path, word):
    # Whole 8-byte records at multiples of 8, as Fairchild takes them.
    img = image({0x1000 + i: i * 7 & 255 for i in range(296)}, start=0x1000)
    path = tmp_path / 'image'  # a C array's name, as dumps' default
    img.save(path, format=word)
    raw = path.read_bytes()
    assert img.dumps(word) == raw
    try:
        want = dwxvmm.load(path, format=word)
    except dwxvmm.ImageError as e:  # written only: refused alike
        assert error_of(lambda: dwxvmm.loads(raw, format=word)).reason == \
            e.reason
        return
    assert dwxvmm.loads(raw, format=word) == want
    if not dwxvmm.FORMAT_INFO[word].binary:
        assert dwxvmm.loads(raw.decode(), format=word) == want


def test_loads_reads_an_elf_and_names_arrays_as_save_does(tmp_path):
    data = elf([(0x08000000, b'\x01\x02\x03'), (0x20000000, b'ram')],
               entry=0x08000001)
    img = dwxvmm.loads(data)
    assert model_of(img) == {0x08000000: 1, 0x08000001: 2, 0x08000002: 3,
                             0x20000000: 0x72, 0x20000001: 0x61,
                             0x20000002: 0x6D}
    assert img.start_address == 0x08000001 and data == elf(
        [(0x08000000, b'\x01\x02\x03'), (0x20000000, b'ram')], 0x08000001)
    (tmp_path / 'x.elf').write_bytes(data)
    assert dwxvmm.load(tmp_path / 'x.elf') == img
    img.save(tmp_path / 'fw.c')
    assert img.dumps('c', name='fw') == (tmp_path / 'fw.c').read_bytes()
    img.save(tmp_path / 'other.c', name='image')
    assert img.dumps('c') == (tmp_path / 'other.c').read_bytes()
    assert b'image_runs' in img.dumps('c')


def error_of(call):
    with pytest.raises(dwxvmm.ImageError) as e:
        call()
    return e.value


@pytest.mark.parametrize('text, line', [
    (':0100000041BE\n:0100010042BC\n:01000200\n', 3),           # cut short
    (':0100000041BE\r\n\r\n:0100010042BD\r\n', 3),              # checksum
    (':0100000041BE\n:00000001FF\n:0100000043BC\n', 0),          # after end
    ('S00600004844521B\nS1050000414233\nS9030000FC\nS1', 0),
    (':0100000041BE\n:0100000042BD\n:00000001FF\n', 2),          # clash
])
def test_loads_errors_are_loads(tmp_path, text, line):
    path = tmp_path / 'fw.hex'
    path.write_text(text)
    try:
        want = dwxvmm.load(path, strict=True)
    except dwxvmm.ImageError as e:
        want = e
    for data in (text, text.encode()):
        if isinstance(want, dwxvmm.Image):
            assert dwxvmm.loads(data, strict=True) == want
            continue
        e = error_of(lambda: dwxvmm.loads(data, strict=True))
        assert (e.path, e.line, e.reason) == ('<bytes>', want.line, want.reason)
        assert str(e) == str(want).replace(str(path), '<bytes>')
        assert want.line == (line or want.line)


def test_loads_refusals():
    for data in (b'', b'\x00\x01\x02', 'plain words', b'\xff' * 100):
        e = error_of(lambda: dwxvmm.loads(data))
        assert e.path == '<bytes>' and e.line is None
        assert 'cannot tell the format' in e.reason
    assert model_of(dwxvmm.loads(b'\x00\x01', format='binary')) == {0: 0, 1: 1}
    assert model_of(dwxvmm.loads(b'\x07', at=0xFFFFFFFF)) == {0xFFFFFFFF: 7}
    assert len(dwxvmm.loads(b'', format='binary')) == 0
    for call, error in [
            (lambda: dwxvmm.loads('abc', format='binary'), TypeError),
            (lambda: dwxvmm.loads('abc', at=0), TypeError),
            (lambda: dwxvmm.loads(5), TypeError),
            (lambda: dwxvmm.loads(['a']), TypeError),
            (lambda: dwxvmm.loads(b'x', format='nope'), ValueError),
            (lambda: dwxvmm.loads(b'x', format=3), TypeError),
            (lambda: dwxvmm.loads(b':00000001FF', at=0x100, format='ihex'),
             ValueError),
            (lambda: dwxvmm.loads(b'x', at=TOP), ValueError)]:
        with pytest.raises(error):
            call()
    with pytest.warns(UserWarning, match='<bytes>: no end record'):
        dwxvmm.loads(':0100000041BE')
    with pytest.raises(dwxvmm.ImageError, match='<bytes>: .* memory limit'):
        dwxvmm.loads(b'\x00' * 70000, format='binary', max_memory=4096)


def test_dumps_raises_what_save_raises(tmp_path):
    img = image({0x00200000: 1, 0x10: 2})
    for kw, error in [({'hex_address': 'segment'}, dwxvmm.ImageError),
                      ({'range': (5, 5)}, ValueError),
                      ({'line_bytes': 0}, ValueError),
                      ({'fill': 0}, ValueError),
                      ({'name': 5}, TypeError)]:
        with pytest.raises(error) as want:
            img.save(tmp_path / 'x.hex', **kw)
        with pytest.raises(error) as got:
            img.dumps('ihex', **kw)
        assert str(got.value) == str(want.value).replace(
            str(tmp_path / 'x.hex'), '<bytes>')
    e = error_of(lambda: img.dumps('c', name='1st'))
    assert (e.path, e.reason) == ('<bytes>', "array name '1st' is not a C "
                                  "identifier")
    # The hints list the formats written; loads' those read.
    with pytest.raises(ValueError, match='unknown format') as e:
        img.dumps('nope')
    assert ', hexdump,' in str(e.value)
    with pytest.raises(ValueError, match='unknown format') as e:
        dwxvmm.loads(b':00000001FF', format='nope')
    assert ', elf,' in str(e.value) and ', hexdump,' not in str(e.value)
    with pytest.raises(TypeError):
        img.dumps(None)
    empty = dwxvmm.Image()
    for word in ('ihex', 'srec', 'binary', 'c'):
        empty.save(tmp_path / 'image', format=word)
        assert empty.dumps(word) == (tmp_path / 'image').read_bytes()


def merged(a, b, overlap):
    out = dict(a)
    for addr, v in sorted(b.items()):
        if addr in out and out[addr] != v and overlap == 'error':
            return addr
        if addr not in out or overlap == 'replace':
            out[addr] = v
    return out


@pytest.mark.parametrize('seed', range(12))
def test_merge_against_a_byte_map(seed):
    rnd = random.Random(seed)
    a = random_model(rnd)
    # b touches, overlaps with equal and with other values, or is apart
    b = {}
    for addr in rnd.sample(sorted(a), min(len(a), 6)):
        for i in range(-2, 3):
            if 0 <= addr + i < TOP:
                b[addr + i] = a.get(addr + i, 0) ^ rnd.choice((0, 0, 1))
    b.update(random_model(rnd))
    for overlap in ('error', 'replace', 'ignore'):
        want = merged(a, b, overlap)
        img, other = image(a, start=None, header=b'a'), image(b, start=7)
        before = img.copy()
        if isinstance(want, int):
            e = error_of(lambda: img.merge(other, overlap=overlap))
            assert e.reason == f'address 0x{want:08X} already holds another value'
            assert img == before
            with pytest.raises(dwxvmm.ImageError):
                img |= other
            with pytest.raises(dwxvmm.ImageError):
                img | other
            assert img == before
            continue
        assert img.merge(other, overlap=overlap) is None
        assert model_of(img) == want and model_of(other) == b
        assert (img.start_address, img.header) == (7, b'a')
        if overlap == 'error':
            c = before | other
            assert c == img and before == image(a, header=b'a')
            before |= other
            assert before == img


def test_merge_keeps_start_and_header_and_refuses_words():
    both = [(None, None), (5, b'x')]
    for (sa, ha), (sb, hb) in [(x, y) for x in both for y in both]:
        a, b = image({0: 1}, sa, ha), image({1: 2}, sb, hb)
        c = a | b
        assert (c.start_address, c.header) == (sa or sb, ha or hb)
        a.merge(a)
        assert model_of(a) == {0: 1}
    with pytest.raises(ValueError, match="overlap 'keep'"):
        a.merge(b, overlap='keep')
    with pytest.raises(TypeError):
        a.merge({0: 1})
    with pytest.raises(TypeError):
        a | 5  # noqa: B018


def naive_chunks(model, size, fill=None, align=None):
    if fill is None:
        out = []
        for a in sorted(model):
            if out and out[-1][0] + len(out[-1][1]) == a and a % size:
                out[-1][1].append(model[a])
            else:
                out.append((a, [model[a]]))
        return [(a, bytes(d)) for a, d in out]
    align = align or size
    return [(p, bytes(model.get(x, fill) for x in range(p, p + size)))
            for blk in sorted({a // align for a in model})
            for p in range(blk * align, min((blk + 1) * align, TOP), size)]


@pytest.mark.parametrize('seed', range(8))
def test_runs_and_chunks_against_a_byte_map(seed):
    rnd = random.Random(seed)
    model = random_model(rnd)
    img = image(model)
    runs = naive_chunks(model, TOP)
    assert img.runs() == runs and img.segments() == [
        (a, a + len(d)) for a, d in runs]
    for size in (1, 2, 16, 64):
        for align in (None, size, 4 * size, 3 * size):
            assert list(img.chunks(size, align=align)) == naive_chunks(
                model, size)
            assert list(img.chunks(size, fill=0xA5, align=align)) == \
                naive_chunks(model, size, 0xA5, align)


def test_chunks_edges_and_refusals():
    # holes at both sides of a block boundary, a run across one
    model = {0x0F: 1, 0x11: 2, 0x1E: 3, 0x1F: 4, 0x20: 5, 0xFFFFFFFF: 6}
    img = image(model)
    assert list(img.chunks(16)) == [(0x0F, b'\x01'), (0x11, b'\x02'),
                                    (0x1E, b'\x03\x04'), (0x20, b'\x05'),
                                    (0xFFFFFFFF, b'\x06')]
    assert [a for a, _ in img.chunks(16, fill=0, align=64)] == [
        0, 16, 32, 48, 0xFFFFFFC0, 0xFFFFFFD0, 0xFFFFFFE0, 0xFFFFFFF0]
    assert list(image({5: 1}).chunks(1 << 20, fill=0))[0][0] == 0
    assert list(dwxvmm.Image().chunks(256, fill=0)) == []
    data = random.Random(1).randbytes(0x20004D)
    big = dwxvmm.Image()  # read a window at a time: windows of 1 MiB
    big[0x30:0x30 + len(data)] = data
    got = list(big.chunks(4096))
    assert b''.join(d for _, d in got) == data
    assert [a for a, _ in got] == [0x30] + list(range(4096, len(data), 4096))
    end = -(-(0x30 + len(data)) // 8192) * 8192
    assert b''.join(d for _, d in big.chunks(4096, fill=1, align=8192)) == \
        b'\x01' * 0x30 + data + b'\x01' * (end - 0x30 - len(data))
    walk = img.chunks(16)
    assert iter(walk) is walk and next(walk) == (0x0F, b'\x01')
    for kw in ({'size': 0}, {'size': 3}, {'size': -4}, {'size': 2 * TOP},
               {'size': 16, 'align': 8}, {'size': 16, 'align': 24},
               {'size': 16, 'align': 0}, {'size': 16, 'align': 2 * TOP},
               {'size': 16, 'fill': 256}):
        with pytest.raises(ValueError):
            img.chunks(**kw)
    with pytest.raises(TypeError):
        img.chunks('16')


def test_compare_copy_and_equality():
    a = image({0: 1, 1: 2, 5: 3}, start=0x10, header=b'h')
    b = a.copy()
    for c in (b, copy.copy(a), copy.deepcopy(a)):
        assert c == a and c is not a and not (c != a)
    b[1], b[6] = 9, 4
    del_b = image({0: 1, 1: 9, 6: 4}, start=0x10, header=b'h')
    assert model_of(a) == {0: 1, 1: 2, 5: 3} and b != a
    assert a.compare(del_b) == [(1, 1, 'values', b'\x02', b'\x09'),
                                (5, 5, 'only_a', b'\x03', None),
                                (6, 6, 'only_b', None, b'\x04')]
    assert a.compare(a.copy()) == [] and a.compare(a) == []
    for other in (image({0: 1, 1: 2, 5: 3}, start=0x11, header=b'h'),
                  image({0: 1, 1: 2, 5: 3}, start=None, header=b'h'),
                  image({0: 1, 1: 2, 5: 3}, start=0x10, header=None),
                  image({0: 1, 1: 2}, start=0x10, header=b'h'),
                  dwxvmm.loads(':0100000001FE\n:0100010002FC\n:0100050003F7\n'
                               ':0400000300000010E9\n:00000001FF\n')):
        assert other != a
    seg = dwxvmm.loads(':0400000300010000F8\n:00000001FF\n')
    lin = dwxvmm.Image()
    lin.start_address = 0x10
    assert seg.start_address == 0x10 and seg != lin and seg == seg.copy()
    assert a != 5 and not (a == 'x') and a != None  # noqa: E711
    with pytest.raises(TypeError, match='unhashable'):
        hash(a)
