"""What an image shows: the dump and the picture from Python against the
tool's, cmp's ranges against a byte map, and standard input and output
through real processes."""
import json
import os
import pty
import random
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import dwxvmm

sys.path.insert(0, str(Path(__file__).parents[1] / "support"))
from svg_render import drawn, render  # noqa: E402

TOOL = os.environ["DWXVMM_TOOL"]


def tool(*args, stdin=None, stdout=subprocess.PIPE):
    return subprocess.run([TOOL, *map(str, args)], input=stdin,
                          stdout=stdout, stderr=subprocess.PIPE)


def image(model, start=None):
    img = dwxvmm.Image()
    for a, v in model.items():
        img[a] = v
    img.start_address = start
    return img


def test_dump_and_repr_are_the_tools(tmp_path):
    img = image({**{0x100 + i: 0xFF for i in range(64)}, 0x1000: 0x41,
                 0xFFFFFFFF: 0x7A}, start=0x101)
    img.save(tmp_path / "a.hex")
    assert img.dump() == tool("dump", tmp_path / "a.hex").stdout.decode()
    assert img.dump(0x120, 0x135, width=32) == tool(
        "dump", tmp_path / "a.hex", "--range", "0x120-0x134", "--width", "32"
    ).stdout.decode()
    assert img.dump(0x2000, 0x3000) == ""
    assert repr(img) == ("<dwxvmm.Image: 66 data bytes in 3 runs, "
                         "0x00000100-0xffffffff, start 0x00000101>")
    assert repr(dwxvmm.Image()) == "<dwxvmm.Image: no data>"
    with pytest.raises(ValueError):
        img.dump(width=8)


def test_the_picture_is_maps_and_chromium_draws_it(tmp_path):
    image({0x08000000 + i: i & 255 for i in range(300)},
          start=0x08000000).save(tmp_path / "a.hex")
    image({0x20000000 + i: 7 for i in range(40)}).save(tmp_path / "b.srec")
    img = dwxvmm.load(tmp_path / "a.hex")
    img.load(tmp_path / "b.srec")
    r = tool("map", tmp_path / "a.hex", tmp_path / "b.srec", "-o",
             tmp_path / "map.svg")
    assert r.returncode == 0, r.stderr
    assert img.layout_svg() == (tmp_path / "map.svg").read_text()
    if not shutil.which("chromium"):
        pytest.skip("no chromium")
    (tmp_path / "repr.svg").write_text(img._repr_svg_())
    png = tmp_path / "repr.png"
    assert render(tmp_path / "repr.svg", png, 800) is not None
    assert drawn(png) > 0.01


def expected_ranges(a, b):
    """Maximal ranges of consecutive addresses that differ in one way."""
    out = []
    for addr in sorted(set(a) | set(b)):
        kind = ("only_a" if addr not in b else "only_b" if addr not in a
                else "values" if a[addr] != b[addr] else None)
        if kind is None:
            continue
        if out and out[-1]["kind"] == kind and out[-1]["last"] + 1 == addr:
            out[-1]["last"] = addr
        else:
            out.append({"first": addr, "last": addr, "kind": kind})
    for r in out:
        r["length"] = r["last"] - r["first"] + 1
        if r["kind"] == "values":
            head = range(r["first"], min(r["last"] + 1, r["first"] + 8))
            r["a"], r["b"] = [a[x] for x in head], [b[x] for x in head]
    return out


@pytest.mark.parametrize("seed", range(4))
def test_cmp_ranges_against_a_byte_map(tmp_path, seed):
    rnd = random.Random(seed)
    a, b = {}, {}
    # Each kind next to each other, a 4 KiB table, the top of the space.
    for i in range(16):
        kind = rnd.choice("ABVS")
        if kind in "AVS":
            a[0x100 + i] = 1
        if kind in "BVS":
            b[0x100 + i] = 1 if kind == "S" else 2
    for i in range(4096):
        a[0x08001000 + i], b[0x08001000 + i] = i & 255, ~i & 255
    for i in range(400):
        addr = rnd.choice((0x20000000, 0xFFFFFF00)) + rnd.randrange(256)
        for side in rnd.choice(((a,), (b,), (a, b))):
            side[addr] = rnd.randrange(2)
    image(a).save(tmp_path / "a.hex")
    image(b).save(tmp_path / "b.hex")
    r = tool("cmp", "--json", tmp_path / "a.hex", tmp_path / "b.hex")
    want = expected_ranges(a, b)
    got = json.loads(r.stdout)
    assert r.returncode == 1
    assert got["ranges"] == want
    assert got["range_count"] == len(want)
    assert got["differing_addresses"] == sum(x["length"] for x in want)
    # compare() is cmp --json with every byte of each side.
    sides = [bytes(m[x] for x in range(r["first"], r["last"] + 1))
             if r["kind"] in kinds else None
             for r in want for m, kinds in ((a, "only_a values"),
                                            (b, "only_b values"))]
    assert image(a).compare(image(b)) == [
        (r["first"], r["last"], r["kind"], *sides[2 * i:2 * i + 2])
        for i, r in enumerate(got["ranges"])]
    text = tool("cmp", tmp_path / "a.hex", tmp_path / "b.hex").stdout.decode()
    lines = text.splitlines()
    assert lines[0] == f"{got['differing_addresses']} addresses differ"
    table = [x for x in lines if x.startswith("  0x08001000-0x08001fff")]
    assert table == ["  0x08001000-0x08001fff  4096 bytes  "
                     "00 01 02 03 04 05 06 07 ... vs ff fe fd fc fb fa f9 f8 ..."]
    assert len(lines) == 1 + min(20, len(want)) + (len(want) > 20)


def test_standard_input_and_output(tmp_path):
    hexfile = tmp_path / "a.hex"
    image({0x10: 1, 0x11: 2, 0x20: 3}, start=0x10).save(hexfile)
    text = hexfile.read_bytes()
    tool("cat", hexfile, "-o", tmp_path / "a.srec")
    srec = (tmp_path / "a.srec").read_bytes()
    assert tool("cat", "-", "-o", "-", "--format", "srec",
                stdin=text).stdout == srec
    assert tool("dump", "-", stdin=srec).stdout == tool("dump", hexfile).stdout
    assert tool("cmp", "-", hexfile, stdin=srec).returncode == 0
    assert tool("cmp", "-", "-", stdin=srec).returncode == 0  # read once
    assert tool("info", "-@ihex", stdin=text).returncode == 0
    mif = tmp_path / "r.mif"
    mif.write_bytes(b"-- RAM\nWIDTH=8;DEPTH=2;CONTENT BEGIN 1:7;END;")
    assert tool("dump", "-", stdin=mif.read_bytes()).stdout == tool("dump", mif).stdout
    r = tool("info", "-@0x100", stdin=b"\x00\x01")
    assert b"-@0x00000100 (Binary file)" in r.stdout and r.returncode == 0
    for args, stdin, message in [
        (["info", "-"], b"\x00\x01", b"<stdin>: cannot tell the format"),
        (["info", "-"], b"notes\n", b"<stdin>: cannot tell the format"),
        (["info", "-"], text.replace(b"FF", b"FE"), b"<stdin>:"),
        (["info", "-@srec"], text, b"<stdin>:1:"),
        (["info", "-@0", "--max-memory", "1K"], bytes(2000),
         b"<stdin>: the input would pass the memory limit of 1 KiB"),
        (["cat", hexfile, "-o", "-"], None, b"cannot tell the output format"),
        (["cat", hexfile, "-o", "-", "--format", "vmem", "--vmem-width",
          "32"], None, b"<stdout>: a run of written bytes"),
    ]:
        r = tool(*args, stdin=stdin)
        assert (r.returncode, r.stdout) == (2, b""), args
        assert message in r.stderr, r.stderr


def test_no_binary_to_a_terminal(tmp_path):
    image({0: 0x1B}).save(tmp_path / "a.hex")
    master, slave = pty.openpty()
    try:
        r = tool("cat", tmp_path / "a.hex", "-o", "-", "--format", "binary",
                 stdout=slave)
        assert r.returncode == 2
        assert b"<stdout>: will not write a binary format to a terminal" in r.stderr
        os.set_blocking(master, False)
        with pytest.raises(BlockingIOError):
            os.read(master, 100)
    finally:
        os.close(master)
        os.close(slave)
