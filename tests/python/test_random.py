"""Seeded random operation sequences against a dict of written bytes."""
import random
import zlib

import pytest

import dwxvmm

END = 1 << 32
BASES = (0, 0xFFF0, 0xFFFFF0, 0xFFFFFF00)  # page, 64 KiB, 16 MiB, the top


def runs(model):
    out = []
    for a in sorted(model):
        if out and out[-1][1] == a:
            out[-1][1] = a + 1
        else:
            out.append([a, a + 1])
    return [tuple(r) for r in out]


def step(rnd, img, model, start):
    """One random operation on both; returns the model's start address."""
    a = rnd.choice(BASES) + rnd.randrange(0x100)
    b = min(END, a + rnd.randrange(1, 0x40))
    op = rnd.randrange(9)
    expect_error = False
    if op == 0:
        img[a] = model[a] = rnd.randrange(256)
    elif op == 1:
        data = bytes(rnd.randrange(256) for _ in range(b - a))
        img[a:b] = data
        model.update(zip(range(a, b), data))
    elif op == 2:
        img.fill(0xA5, a, b)
        model.update((x, 0xA5) for x in range(a, b) if x not in model)
    elif op in (3, 4):
        ranges = [(a, b), (min(END - 1, a + 0x80), min(END, a + 0x90))]
        (img.crop if op == 3 else img.exclude)(ranges)
        inside = {x for s, e in ranges for x in range(s, e)}
        for x in [x for x in model if (x in inside) != (op == 3)]:
            del model[x]
    elif op == 5:
        d = rnd.choice((-1, 1)) * rnd.randrange(0x200)
        moved = {x + d: v for x, v in model.items()}
        if any(not 0 <= x < END for x in moved) or (
                start is not None and not 0 <= start + d < END):
            expect_error = True
        else:
            model.clear()
            model.update(moved)
            start = None if start is None else start + d
        step_call = lambda: img.move(d)
    elif op == 6:
        n = rnd.choice((2, 4, 8))
        img.swap(n)
        swapped = {x ^ (n - 1): v for x, v in model.items()}
        model.clear()
        model.update(swapped)
    else:
        at = rnd.choice(BASES) + rnd.randrange(0x100)
        value = None
        if all(x in model for x in range(a, b)):
            value = zlib.crc32(bytes(model[x] for x in range(a, b))).to_bytes(4, 'little')
        expect_error = (value is None or at + 4 > END or (at < b and at + 4 > a) or
                        any(at + i in model and model[at + i] != value[i] for i in range(4)))
        if not expect_error:
            model.update(zip(range(at, at + 4), value))
        step_call = lambda: img.checksum('crc32-le', at, a, b)
    if op in (5, 7, 8):
        if expect_error:
            with pytest.raises(dwxvmm.ImageError):
                step_call()
        else:
            step_call()
    return start


@pytest.mark.parametrize('seed', range(12))
def test_random_operations_match_a_dict(seed):
    rnd = random.Random(seed)
    img, model, start = dwxvmm.Image(), {}, None
    for i in range(1000):
        if i % 50 == 0:
            start = rnd.choice(BASES)
            img.start_address = start
        start = step(rnd, img, model, start)
        assert img.start_address == start
        a = rnd.choice(BASES) + rnd.randrange(0x100)
        n = min(END - a, rnd.randrange(0x80))
        assert img.read(a, n, fill=0x100 - 1) == bytes(model.get(x, 0xFF) for x in range(a, a + n))
        assert img.get(a) == model.get(a) and (a in img) == (a in model)
    assert img.segments() == runs(model) and len(img) == len(model)
    for s, e in runs(model):
        assert img[s:e] == bytes(model[x] for x in range(s, e))
    assert (img.minaddr(), img.maxaddr()) == ((min(model), max(model)) if model else (None, None))
