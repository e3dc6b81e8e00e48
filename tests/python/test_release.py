"""What the end of a build asks of an image: ELF out read back, serial
batches against single edits, regions at their edges."""
import random

import pytest

import dwxvmm


def image(runs, start=None):
    img = dwxvmm.Image()
    for a, data in runs:
        img[a:a + len(data)] = data
    img.start_address = start
    return img


@pytest.mark.parametrize('machine', ['arm', 'riscv', 'mips', 62, 'none'])
@pytest.mark.parametrize('endian', ['little', 'big'])
def test_elf_out_reads_back_as_it_was(tmp_path, machine, endian):
    rnd = random.Random(str(machine) + endian)
    img = image([(a, rnd.randbytes(n)) for a, n in
                 ((0, 1), (0x08000000, 70000), (0xFFFFFF00, 256))], 0x08000101)
    data = img.dumps('elf', elf_machine=machine, elf_endian=endian)
    assert data[:6] == b'\x7fELF\x01' + (b'\x01' if endian == 'little' else b'\x02')
    assert dwxvmm.loads(data) == img
    img.save(tmp_path / 'fw.elf', elf_machine=machine, elf_endian=endian)
    assert dwxvmm.load(tmp_path / 'fw.elf') == img
    with pytest.raises(ValueError, match='elf_machine'):
        img.dumps('elf', elf_machine='z80')


def test_serials_are_single_sets_at_the_types_edges():
    img = image([(0x10, b'\x01\x02\x03\x04')])
    for kind, first, value in (('u8', 254, lambda n: 'u8:%d' % n),
                               ('u32be', 0xFFFFFFFE, lambda n: 'u32be:%d' % n),
                               ('text:4', 9998, lambda n: 'text:%04d' % n),
                               ('bcd:2', 9998, lambda n: 'bytes:%04d' % n)):
        got = list(img.serials(kind, 0x20, first, 2))
        assert [n for n, _ in got] == [first, first + 1]
        for n, one in got:
            want = img.copy()
            want.set(value(n), 0x20)
            assert one == want, (kind, n)
        with pytest.raises(dwxvmm.ImageError, match='serial %d does not fit' % (first + 2)):
            img.serials(kind, 0x20, first, 3)
    assert [n for n, _ in img.serials('u16le', 0, 1, 3, step=7)] == [1, 8, 15]
    with pytest.raises(dwxvmm.ImageError, match='already holds'):
        list(img.serials('u8', 0x10, 2, 1))
    assert next(img.serials('u8', 0x10, 2, 1, overwrite=True))[1][0x10] == 2
    assert len(img) == 4  # the image itself stays as it was


def test_regions_at_their_edges():
    img = image([(0x100, bytes(0x100))])
    assert img.fit({'a': (0x100, 0x200)}) == []
    assert img.fit({'a': (0x101, 0x200)}) == [(0x100, 0x101)]
    assert img.fit({'a': (0x100, 0x1FF), 'b': (0, 0x80)}) == [(0x1FF, 0x200)]
    assert img.fit({'lo': (0, 0x180), 'hi': (0x180, 0x1_0000_0000)}) == []
    assert img.usage({'a': (0x180, 0x280), 'b': (0, 0x100)}) == {
        'a': (0x80, 0x80, 0x100), 'b': (0, 0x100, 0x100)}
    with pytest.raises(dwxvmm.ImageError, match="regions 'a' .* and 'b' .* overlap"):
        img.fit({'a': (0, 0x101), 'b': (0x100, 0x200)})
    with pytest.raises(TypeError):
        img.usage([(0, 1)])
