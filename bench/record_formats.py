#!/usr/bin/python3
"""Times each record format read and written again in the same format, a
1 MiB image with holes (or, where the address field is smaller, the field
less its holes), as a whole process: `dwxvmm cat` against srec_cat, with
the peak memory of each; prints a table. A new format is a row.

Usage: record_formats.py DWXVMM WORKDIR [REPS]
REPS runs each (default 5), timed as bench/processes.py says; the two
outputs must hold the same image (`dwxvmm cmp`).
"""
import os
import subprocess
import sys

from processes import HEADER, row, run

# word, srec_cat's option, the address field's reach in bytes, word size.
FORMATS = [
    ('ihex16', '-Intel_HeX_16', 1 << 32, 2),
    ('tektronix', '-Tektronix', 1 << 16, 1),
    ('tektronix-ext', '-Tektronix_Extended', 1 << 32, 1),
    ('mos-tech', '-MOS_Technologies', 1 << 16, 1),
    ('signetics', '-SIGnetics', 1 << 16, 1),
    ('atmel-generic', '-Atmel_Generic', 1 << 17, 2),  # srec_cat's reach
    ('emon52', '-Elektor_Monitor52', 1 << 16, 1),
    ('fairchild', '-FAIrchild', 1 << 16, 8),
    ('ti-tagged', '-Texas_Instruments_Tagged', 1 << 16, 1),
    ('ti-tagged16', '-Texas_Instruments_Tagged_16', 1 << 17, 2),
    ('needham', '-Needham_Hexadecimal', 1 << 32, 1),
    ('ppx', '-PPX', 1 << 16, 1),
    ('cosmac', '-COsmac', 1 << 32, 1),
    ('ascii-hex', '-Ascii_Hex', 1 << 32, 1),
    ('fastload', '-Fast_Load', 1 << 32, 1),
    ('fpc', '-Four_Packed_Code', 1 << 16, 1),  # srec_cat's reach
    ('os65v', '-Ohio_Scientific', 1 << 16, 1),
    ('spasm-be', '-SPAsm', 1 << 17, 2),
    ('spasm-le', '-SPAsm_Little_Endian', 1 << 17, 2),
    ('mips-flash-be', '-Mips_Flash_Big_Endian', 1 << 32, 4),
    ('mips-flash-le', '-Mips_Flash_Little_Endian', 1 << 32, 4),
]

tool, work = sys.argv[1:3]
reps = int(sys.argv[3]) if len(sys.argv) > 3 else 5
os.makedirs(work, exist_ok=True)
os.chdir(work)


def image(name, reach, word):
    """Sixteen runs, each followed by a hole of a sixteenth of a run."""
    size = min(1 << 20, reach)
    run_bytes = size // 16 // word * word
    parts = []
    for i in range(16):
        with open(f'run{i}.bin', 'wb') as f:
            f.write(os.urandom(run_bytes - run_bytes // 16 // word * word))
        parts.append(f'run{i}.bin@{i * run_bytes:#x}')
    subprocess.run([tool, 'cat', *parts, '--format', name, '-o', 'in.' + name],
                   check=True, stdout=subprocess.DEVNULL)
    return 'in.' + name


print(HEADER.format(what='format', peer='srec_cat'))
bad = False
for name, flag, reach, word in FORMATS:
    src = image(name, reach, word)
    ours = [run([tool, 'cat', src + '@' + name, '--format', name, '-o',
                 'ours']) for _ in range(reps)]
    theirs = [run(['srec_cat', src, flag, '-o', 'theirs', flag])
              for _ in range(reps)]
    alike = subprocess.run([tool, 'cmp', 'ours@' + name, 'theirs@' + name],
                           stdout=subprocess.DEVNULL).returncode == 0
    bad |= not alike
    print(row(name, src, ours, theirs, alike))
sys.exit(1 if bad else 0)
