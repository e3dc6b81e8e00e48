#!/usr/bin/python3
"""`dwxvmm map ... -o X.svg`, one case a row: the picture parses, refers to
nothing outside itself, its blocks' titles name the runs `dwxvmm info --json`
gives, and headless Chromium draws it as something other than a blank page.
Usage: map_svg_test.py DWXVMM SOURCE_DIR"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

TOOL, SOURCE = map(os.path.abspath, sys.argv[1:3])
sys.path.insert(0, os.path.join(SOURCE, "tests", "support"))
from svg_render import drawn, render  # noqa: E402
NS = "{http://www.w3.org/2000/svg}"
failed = 0


def fail(case, why):
    global failed
    failed += 1
    print(f"FAIL: {case}: {why}")


def run(*args):
    return subprocess.run([TOOL, *args], capture_output=True, text=True)


def hex_record(address, data, kind=0):
    fields = [len(data), address >> 8 & 255, address & 255, kind, *data]
    return ":%s%02X" % ("".join("%02X" % b for b in fields), -sum(fields) & 255)


def write_hex(name, blocks, start=None):
    """blocks: (address, bytes); an extended linear address record each."""
    lines = []
    for address, data in blocks:
        lines.append(hex_record(0, [address >> 24, address >> 16 & 255], 4))
        lines.append(hex_record(address & 0xFFFF, data))
    if start is not None:
        lines.append(hex_record(0, list(start.to_bytes(4, "big")), 5))
    open(name, "w").write("\n".join(lines + [":00000001FF"]) + "\n")


def blocks(root):
    """(first, last, runs) of every drawn run and merged block, in order."""
    found = []
    for g in root.iter(NS + "g"):
        if g.get("class") not in ("run", "merged"):
            continue
        title = g.find(NS + "title").text
        m = re.match(r"(?:(\d+) runs in )?(0x[0-9a-f]{8})-(0x[0-9a-f]{8}), "
                     r"(\d+) bytes?", title)
        if m is None:
            fail("title", title)
            continue
        first, last = int(m[2], 16), int(m[3], 16)
        if m[1] is None and int(m[4]) != last - first + 1:
            fail("title", title)
        found.append((first, last, int(m[1] or 1)))
    return found


def self_contained(case, text):
    for bad in (r"<script", r"url\((?!#)", r"href=\"(?!#)", r"@import",
                r"<image", r"<foreignObject", r"https?://(?!www\.w3\.org/2000/svg\")"):
        if re.search(bad, text):
            fail(case, f"holds {bad}")


work = tempfile.mkdtemp()
os.chdir(work)
examples = os.path.join(SOURCE, "examples")
shutil.copy(os.path.join(examples, "firmware.hex"), ".")
shutil.copy(os.path.join(examples, "patch.srec"), ".")
write_hex("same.hex", [(0x0800001E, [0x30, 0x00])], start=0x0800001E)
open("top.bin", "wb").write(b"\x5a")
open("big.bin", "wb").write(b"\x5a" * 4000)
open("empty.bin", "wb").close()
write_hex("cross.hex", [(0x08FFFFF0, list(range(16))), (0x09000000, [1, 2]),
                        (0x0A000000, [1, 2]), (0x0B000000, [3])])
write_hex("many.hex", [(0x20000000 + 32 * i, [i & 255] * 8)
                       for i in range(10000)])
write_hex("spread.hex", [(i * 429_451, [i & 255] * (1 + i % 40))
                         for i in range(10000)])
odd = b"a&<b>\"'\xff\xed\xa0\x80\xc3\xa9.hex".decode("utf-8", "surrogateescape")
shutil.copy("same.hex", odd)

# case, map's inputs and options, info's inputs (None: the merge of the
# inputs by `cat --overwrite`), texts the picture must show.
CASES = [
    ("examples", ["firmware.hex", "patch.srec", "--overwrite"], None,
     ["firmware.hex (Intel HEX): 144 bytes", "start 0x08000000",
      "from firmware.hex and patch.srec\n3 bytes written by more than one",
      "written by more than one input", "3.95 KiB", "16 MiB",
      "0x09000000-0xffffffff not written (3.86 GiB)"]),
    ("same bytes twice", ["firmware.hex", "same.hex"], ["firmware.hex", "same.hex"],
     ["same.hex (Intel HEX): 2 bytes", "start 0x0800001e",
      "written by more than one input"]),
    ("a byte over many", ["big.bin@0x30000000", "top.bin@0x30000000"],
     ["big.bin@0x30000000", "top.bin@0x30000000"], ["1 byte written by more"]),
    ("top byte", ["top.bin@0xffffffff"], ["top.bin@0xffffffff"],
     ["0x00000000-0xfeffffff not written (3.98 GiB)", "1 B",
      "0xff000000-0xffffffff (16 MiB): 1 run, 1 byte"]),
    ("empty", ["empty.bin"], ["empty.bin"], ["No data: the inputs write no byte"]),
    ("across regions", ["cross.hex"], ["cross.hex"],
     ["0x08000000-0x09ffffff (32 MiB): 1 run, 18 bytes",
      "0x0a000000-0x0affffff (16 MiB): 1 run, 2 bytes"]),
    ("file name", [odd], [odd], ["a&<b>\"'\\xff\\xed\\xa0\\x80\u00e9.hex (Intel HEX)"]),
    ("10000 runs", ["many.hex"], ["many.hex"], ["10000 runs"]),
    ("runs in every region", ["spread.hex"], ["spread.hex"], []),
]
times = {}
for case, args, info_args, texts in CASES:
    svg = re.sub(r"\W+", "_", case) + ".svg"
    r = run("map", *args, "-o", svg)
    if r.returncode != 0 or r.stdout or r.stderr:
        fail(case, f"status {r.returncode}: {r.stdout}{r.stderr}")
        continue
    if info_args is None:
        run("cat", *args, "-o", "merged.hex")
        info_args = ["merged.hex"]
    info = json.loads(run("info", "--json", *info_args).stdout)
    text = open(svg, encoding="utf-8", errors="surrogateescape").read()
    self_contained(case, text)
    if len(text) > 2_000_000:
        fail(case, f"{len(text)} bytes")
    try:
        root = ET.fromstring(text.encode("utf-8", "surrogateescape"))
    except ET.ParseError as e:
        fail(case, f"not XML: {e}")
        continue
    shown = "\n".join(t for t in root.itertext())
    for want in texts:
        if want not in shown:
            fail(case, f"does not show {want!r}")
    got = blocks(root)
    runs = [(r["first"], r["last"], 1) for r in info["runs"]]
    if info["more_runs"] == 0 and len(got) == len(runs):
        if got != runs:
            fail(case, f"blocks {got} != runs {runs}")
    elif (sum(n for _, _, n in got) != info["run_count"] or
          got[0][0] != info["lowest"] or got[-1][1] != info["highest"] or
          any(a[1] >= b[0] for a, b in zip(got, got[1:]))):
        fail(case, f"{len(got)} blocks do not cover the {info['run_count']} runs")
    if shutil.which("chromium") and case in ("examples", "empty", "runs in every region"):
        png = svg + ".png"
        times[case] = render(svg, png, float(root.get("height")))
        if times[case] is None or drawn(png) < 0.01:
            fail(case, "Chromium drew nothing")
# The hatching of one byte over 4000 is a few pixels wide, not the run's.
hatched = ET.parse("a_byte_over_many.svg").getroot().iterfind(
    f".//{NS}g[@class='run']/{NS}rect[@fill='url(#overlap)']")
if not 0 < sum(float(r.get("width")) for r in hatched) < 10:
    fail("a byte over many", "the overlap's hatching is not a sliver")
r = run("map", "firmware.hex", "patch.srec", "-o", "clash.svg")
if r.returncode != 2 or os.path.exists("clash.svg") or \
        "patch.srec:2: address 0x0800001E already holds" not in r.stderr:
    fail("clash", r.stderr)
if [n for n in os.listdir(".") if ".dwxvmm-" in n]:
    fail("temporary files", os.listdir("."))
if times.get("empty") and times.get("runs in every region"):
    print("chromium: 10000 runs in every region in %.2f s, no data in %.2f s" %
          (times["runs in every region"], times["empty"]))
if not shutil.which("chromium"):
    print("map svg: no chromium, no picture drawn")
shutil.rmtree(work)
print(f"map svg: {failed} failed")
sys.exit(failed != 0)
