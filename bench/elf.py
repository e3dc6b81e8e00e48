#!/usr/bin/python3
"""Times `dwxvmm cat` turning a 16 MiB ELF into Intel HEX against
`objcopy -O ihex` doing the same, each as a whole process, then each
writer of the formats library saving the same image, against the Intel HEX
writer; prints two tables and exits 1 if the outputs differ.

Usage: elf.py DWXVMM IMAGE_CONVERT WORKDIR [REPS]
The ELF: four 4 MiB sections of random bytes with 4 MiB holes between them,
one of them run at another address than it is stored at (linked by
arm-none-eabi-ld). REPS runs each (default 5), timed as bench/processes.py
says; outputs are compared with srec_cmp.
"""
import os
import subprocess
import sys

from processes import HEADER, row, run, same

tool, convert, work = (os.path.abspath(a) for a in sys.argv[1:4])
reps = int(sys.argv[4]) if len(sys.argv) > 4 else 5
os.makedirs(work, exist_ok=True)
os.chdir(work)
script = ['SECTIONS {']
for i, (run_at, stored_at) in enumerate(
        ((0x08000000, 0), (0x08800000, 0), (0x09800000, 0),
         (0x20000000, 0x09000000))):
    with open(f'region{i}.bin', 'wb') as f:
        f.write(os.urandom(4 << 20))
    subprocess.run(['arm-none-eabi-objcopy', '-I', 'binary', '-O',
                    'elf32-littlearm', '-B', 'arm', f'region{i}.bin',
                    f'region{i}.o'], check=True)
    at = f' AT({stored_at:#x})' if stored_at else ''
    script.append(f'  .r{i} {run_at:#x} :{at} {{ region{i}.o(.data) }}')
with open('image.ld', 'w') as f:
    f.write('\n'.join(script + ['}', '']))
subprocess.run(['arm-none-eabi-ld', '-T', 'image.ld', '-o', 'image.elf'] +
               [f'region{i}.o' for i in range(4)], check=True)

print(HEADER.format(what='conversion', peer='objcopy'))
ours = [run([tool, 'cat', 'image.elf', '-o', 'o.hex']) for _ in range(reps)]
theirs = [run(['objcopy', '-O', 'ihex', 'image.elf', 't.hex'])
          for _ in range(reps)]
alike = same('o.hex', 't.hex', '-intel')
print(row('ELF to Intel HEX', 'image.elf', ours, theirs, alike))

print('\n| writer | median CPU time | against Intel HEX |\n|---|---:|---:|')
out = subprocess.run([convert, 'writers', 'image.elf', '.', str(reps)],
                     check=True, capture_output=True, text=True).stdout
lines = [line.split('\t') for line in out.splitlines()]
base = float(lines[0][2])
for kind, bits, seconds in lines:
    name = f'{kind}, {bits}-bit words' if kind == 'Verilog memory' else kind
    print(f'| {name} | {float(seconds):.3f} s | {float(seconds) / base:.2f} x |')
sys.exit(0 if alike else 1)
