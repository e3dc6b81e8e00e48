#!/usr/bin/env python3
"""Turns a page's scdoc source into roff: manpage.py SOURCE OUTPUT [TOOL].

With TOOL, the line @FORMAT_TABLE@ becomes the table of formats as TOOL's
`formats --json` gives it, so that the page never drifts from the table.
"""
import json
import subprocess
import sys


def cell(text):
    return text.replace("\\", "\\\\").replace("*", "\\*").replace("_", "\\_")


def format_table(tool):
    rows = json.loads(subprocess.run([tool, "formats", "--json"], check=True,
                                     capture_output=True, text=True).stdout)
    lines = ["|[ *word*", ":[ *name*", ":[ *r/w*", ":[ *extensions*",
             ":[ *found*"]
    for f in rows:
        name = f["name"] + "".join(" (" + a + ")" for a in f["aliases"])
        rw = ("r" if f["read"] else "") + ("w" if f["write"] else "")
        found = {"content": "content", "extension": "extension"}.get(
            f["detected"], "word")
        lines += ["|  " + cell(f["word"]), ":  " + cell(name), ":  " + rw,
                  ":  " + cell(" ".join(f["extensions"]) or "-"),
                  ":  " + found]
    return "\n".join(lines)


def main(source, output, tool=None):
    with open(source) as f:
        text = f.read()
    if tool:
        text = text.replace("@FORMAT_TABLE@", format_table(tool))
    roff = subprocess.run(["scdoc"], input=text, check=True,
                          capture_output=True, text=True).stdout
    # No hyphens added inside options and words.
    lines = roff.splitlines(keepends=True)
    at = next(i for i, line in enumerate(lines) if line.startswith(".TH"))
    lines.insert(at + 1, ".nh\n.ad l\n")
    with open(output, "w") as f:
        f.write("".join(lines))


if __name__ == "__main__":
    main(*sys.argv[1:])
