#!/usr/bin/env bash
# Real builds and the real readers as oracles: small firmware built with
# arm-none-eabi-gcc (little- and big-endian) and the host gcc (ELF64), read
# by `dwxvmm` and compared with objcopy -O ihex (srec_cmp); TI-TXT both ways
# with srec_cat; Verilog memory read by Icarus Verilog's $readmemh, and
# what its $writememh writes read by us; C arrays
# compiled as C99 and C++17 and run; the ELF files we write read by readelf,
# objcopy and gdb-multiarch (where Debian has it). Skips (status 77) only
# when a tool is missing: scripts/test.sh installs them.
# Usage: firmware_test.sh DWXVMM SOURCE_DIR
set -uo pipefail
tool=$1
src=$2/tests/files/formats/firmware
for t in arm-none-eabi-gcc arm-none-eabi-objcopy gcc g++ objcopy srec_cat \
    srec_cmp iverilog vvp /usr/bin/python3; do
  command -v "$t" >/dev/null || { echo "SKIP: no $t"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failed=0
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
quiet() { "$@" >/dev/null 2>&1; }

# The image a HEX file holds, one "ADDRESS BYTE" line a byte, and its start.
dump() {
  /usr/bin/python3 -c '
import sys
from intelhex import IntelHex
h = IntelHex(sys.argv[1])
for a in h.addresses():
    print("%08x %02x" % (a, h[a]))
s = h.start_addr or {}
if "EIP" in s:
    print("start %08x" % s["EIP"])' "$1"
}

# ELF: each build against objcopy's HEX, and info's line for it.
arm="arm-none-eabi-gcc -mcpu=cortex-m3 -mthumb -nostdlib -O1 -T $src/fw.ld"
while IFS='|' read -r name objcopy details build; do
  $build -o "$name.elf" || { fail "build $name"; continue; }
  "$objcopy" -O ihex "$name.elf" "$name.ref.hex"
  quiet "$tool" cat "$name.elf" -o "$name.hex" || fail "dwxvmm cat $name.elf"
  quiet srec_cmp "$name.hex" -intel "$name.ref.hex" -intel ||
    fail "$name.elf: not the image objcopy makes"
  [ "$(dump "$name.hex" | tail -n 1)" = "$(dump "$name.ref.hex" | tail -n 1)" ] ||
    fail "$name.elf: start address"
  "$tool" info "$name.elf" | grep -F "$name.elf (ELF: $details)" >/dev/null ||
    fail "$name.elf: info: $("$tool" info "$name.elf" | sed -n 2p)"
done <<EOT
le|arm-none-eabi-objcopy|ELF32, little-endian, ARM|$arm $src/fw.c
be|arm-none-eabi-objcopy|ELF32, big-endian, ARM|$arm -mbig-endian $src/fw.c
x64|objcopy|ELF64, little-endian, x86-64|gcc -O1 -nostdlib -static -no-pie $src/host.c
EOT
# Pipes between real processes: objcopy's HEX on standard input, S-records
# on standard output, read again from standard input.
json_but_inputs() {
  /usr/bin/python3 -c '
import json, sys
d = json.load(sys.stdin)
d.pop("inputs")
print(sorted(d.items()))'
}
arm-none-eabi-objcopy -O ihex le.elf /dev/stdout |
  "$tool" cat - --fill 0xff@0x08000000-0x080001ff -o - --format srec |
  "$tool" info --json - | json_but_inputs >piped.txt || fail "the pipe"
quiet "$tool" cat le.elf --fill 0xff@0x08000000-0x080001ff -o filled.srec
"$tool" info --json filled.srec | json_but_inputs >filled.txt
cmp -s piped.txt filled.txt || fail "the pipe: $(cat piped.txt)"
# Cut short anywhere (in the program or section headers, in the contents),
# a build is refused with status 2 and nothing written, as objcopy refuses it.
for name in le x64; do
  size=$(stat -c %s "$name.elf")
  for n in 60 $((size / 3)) $((size / 2)) $((size - 30)) $((size - 1)); do
    head -c "$n" "$name.elf" >cut.elf
    quiet arm-none-eabi-objcopy -O ihex cut.elf cut.ref.hex && continue
    "$tool" cat cut.elf -o cut.hex 2>err.txt
    [ $? -eq 2 ] && [ ! -e cut.hex ] && grep -q '^dwxvmm: cut.elf: ' err.txt ||
      fail "$name.elf cut at $n: $(cat err.txt)"
  done
done
# Whole headers that say there is nothing to load: an empty image.
arm-none-eabi-objcopy --only-keep-debug le.elf debug.elf
"$tool" info debug.elf | grep -qF "debug.elf (ELF: ELF32, little-endian, ARM): holds no loadable data" ||
  fail "debug.elf: $("$tool" info debug.elf 2>&1)"
# .data is stored in flash after .rodata, not at its RAM address.
dump le.hex >le.dump
grep -q '^08000110 2a' le.dump || fail ".data not at its load address"
grep -q '^2000' le.dump && fail ".data at its run address"

# TI-TXT both ways.
quiet "$tool" cat le.elf --format titxt -o le.txt || fail "cat --format titxt"
quiet srec_cmp le.txt -Texas_Instruments_TeXT le.ref.hex -intel ||
  fail "srec_cat reads another image from our TI-TXT"
srec_cat le.ref.hex -intel -o theirs.txt -Texas_Instruments_TeXT
quiet "$tool" cmp theirs.txt le.ref.hex || fail "we read srec_cat's TI-TXT wrong"

# Verilog memory: what $readmemh loads from the flash part, word by word.
dump le.ref.hex | grep '^0800' >flash.txt
for bits in 8 16 32; do
  quiet "$tool" cat le.elf --range 0x08000000-0x0800ffff --format vmem \
    --vmem-width $bits -o $bits.vmem || fail "vmem $bits"
  cat >tb.v <<EOV
module tb;
  reg [$bits-1:0] mem [32'h08000000*8/$bits:32'h08010000*8/$bits-1];
  integer i;
  initial begin
    \$readmemh("$bits.vmem", mem);
    for (i = 32'h08000000*8/$bits; i < 32'h08010000*8/$bits; i = i + 1)
      if (mem[i] !== {$bits{1'bx}}) \$display("%h %h", i, mem[i]);
  end
endmodule
EOV
  iverilog -o tb tb.v && vvp -n tb | grep -v '^VCD' >got.txt
  /usr/bin/python3 -c '
import sys
bits, lines = int(sys.argv[1]), open(sys.argv[2]).read().split()
b = dict(zip((int(a, 16) for a in lines[0::2]), (int(v, 16) for v in lines[1::2])))
n = bits // 8
for w in sorted({a // n for a in b}):
    print("%08x %0*x" % (w, 2 * n, sum(b[w * n + i] << 8 * i for i in range(n))))
' $bits flash.txt >want.txt
  cmp -s got.txt want.txt || fail "\$readmemh of $bits.vmem: $(diff got.txt want.txt | head -n 3)"
done

# Verilog memory in: what $writememh writes, read back word by word.
for bits in 8 16 32; do
  cat >wr.v <<EOV
module wr;
  reg [$bits-1:0] mem [0:299];
  integer i;
  initial begin
    for (i = 0; i < 300; i = i + 1) mem[i] = i * 32'h9E3779B1;
    \$writememh("w$bits.mem", mem);
  end
endmodule
EOV
  iverilog -o wr wr.v && vvp -n wr >/dev/null || fail "\$writememh $bits"
  quiet "$tool" cat "w$bits.mem@vmem" --word-width $bits -o "w$bits.hex" ||
    fail "cat w$bits.mem@vmem: $("$tool" cat "w$bits.mem@vmem" --word-width $bits -o "w$bits.hex" 2>&1)"
  /usr/bin/python3 -c '
import sys
n = int(sys.argv[1]) // 8
for i in range(300):
    w = i * 0x9E3779B1
    for b in range(n):
        print("%08x %02x" % (i * n + b, w >> 8 * b & 0xFF))' $bits >want.txt
  dump "w$bits.hex" >got.txt
  cmp -s got.txt want.txt || fail "w$bits.mem read: $(diff got.txt want.txt | head -n 3)"
done

# C arrays: two images included in one unit, C99 and C++17, and each alone.
printf ':02100000ABCD76\n:00000001FF\n' >patch.hex
quiet "$tool" cat le.elf -o fw.c || fail "cat -o fw.c"
quiet "$tool" cat patch.hex --format c --name patch_2 -o patch.inc || fail "--name"
cat >show.c <<'EOC'
#include <stdio.h>

#include "fw.c"
#include "patch.inc"

static void show(const dwxvmm_run* runs, uint32_t count) {
  for (uint32_t r = 0; r < count; ++r)
    for (uint32_t i = 0; i < runs[r].length; ++i)
      printf("%08lx %02x\n", (unsigned long)(runs[r].address + i),
             runs[r].data[i]);
}

int main(void) {
  show(fw_runs, fw_count);
  printf("start %08lx\n", (unsigned long)fw_start);
  show(patch_2_runs, patch_2_count);
  return 0;
}
EOC
flags="-Wall -Wextra -pedantic -Werror"
{ dump le.ref.hex; dump patch.hex; } >want.txt
for cc in "gcc -std=c99 -x c" "g++ -std=c++17 -x c++"; do
  $cc $flags show.c -o show && ./show >got.txt &&
    cmp -s got.txt want.txt || fail "$cc: the C arrays hold: $(diff got.txt want.txt | head -n 3)"
  $cc $flags -c fw.c -o fw.o || fail "$cc: fw.c alone"
done

# ELF out, a row a machine and byte order: readelf's headers, our reader,
# objcopy's HEX where one knows the machine and gdb's sections where Debian
# has gdb-multiarch. Runs with holes up to the top of the address space.
/usr/bin/python3 -c '
import random
from intelhex import IntelHex
h, rnd = IntelHex(), random.Random(45)
for a, n in ((0, 1), (0x08000000, 300), (0x08001000, 5), (0xfffffff0, 16)):
    for i in range(n):
        h[a + i] = rnd.randrange(256)
h.start_addr = {"EIP": 0x08000101}
h.write_hex_file("out.hex")'
while IFS='|' read -r machine order readelf objcopy gdb; do
  elf=$machine-$order.elf
  quiet "$tool" cat out.hex --elf-machine "$machine" --elf-endian "$order" \
    -o "$elf" || { fail "cat $elf"; continue; }
  got=$(readelf -hlSs "$elf" | awk '
    /Type:|Class:|Machine:|Data:/ { sub(/^ +/, ""); print }
    /LOAD/ { print "LOAD", $3, $5, $6 }
    /\] \.sec[0-9]+ +PROGBITS/ { sub(/^.*\] /, ""); print $1, $2, $3, $5, $7 }
    /Symbol table/ { print "symbols" }')
  want="Class: ELF32
Data: 2's complement, $order endian
Type: EXEC (Executable file)
Machine: $readelf"
  i=0
  for r in 00000000:000001 08000000:00012c 08001000:000005 fffffff0:000010; do
    i=$((i + 1))
    want="$want
.sec$i PROGBITS ${r%:*} ${r#*:} AX"
  done
  for r in 00000000:0x1 08000000:0x12c 08001000:0x5 fffffff0:0x10; do
    want="$want
LOAD 0x${r%:*} 0x$(printf %05x "${r#*:}") 0x$(printf %05x "${r#*:}")"
  done
  [ "$(sed -E 's/ +/ /g' <<<"$got")" = "$want" ] ||
    fail "$elf: readelf: $(diff <(echo "$want") <(sed -E 's/ +/ /g' <<<"$got"))"
  quiet "$tool" cmp "$elf" out.hex || fail "$elf: not the image it was made of"
  "$tool" info "$elf" | grep -q "start address: 0x08000101" ||
    fail "$elf: start address"
  if [ -n "$objcopy" ]; then
    "$objcopy" -O ihex "$elf" "$elf.hex" || fail "$objcopy $elf"
    [ "$(dump "$elf.hex")" = "$(dump out.hex)" ] || fail "$elf: as $objcopy reads it"
  fi
  if [ -n "$gdb" ] && command -v gdb-multiarch >/dev/null; then
    files=$(gdb-multiarch -batch -ex 'info files' "$elf" 2>/dev/null |
      sed -nE 's/.*(Entry point: 0x[0-9a-f]+).*/\1/p
        s/.*0x(ffffffff)?([0-9a-f]{8}) - 0x[0-9a-f]+ is (\.sec[0-9]+).*/0x\2 \3/p')
    # gdb shows an ARM entry point without its Thumb bit, MIPS addresses
    # sign-extended.
    [ "$files" = "Entry point: $gdb
0x00000000 .sec1
0x08000000 .sec2
0x08001000 .sec3
0xfffffff0 .sec4" ] || fail "$elf: gdb-multiarch: $files"
  fi
done <<EOT
arm|little|ARM|arm-none-eabi-objcopy|0x8000100
arm|big|ARM|arm-none-eabi-objcopy|0x8000100
riscv|little|RISC-V||0x8000101
mips|big|MIPS R3000||0x8000101
x86|little|Intel 80386|objcopy|0x8000101
none|big|None||
EOT
readelf -h arm-little.elf | grep -q "Flags: *0x5000000, Version5 EABI" ||
  fail "arm: e_flags"
readelf -h riscv-little.elf | grep -q "Flags: *0x0$" || fail "riscv: e_flags"
# The most runs a section table holds without extended numbering, and one
# more.
/usr/bin/python3 -c '
from intelhex import IntelHex
for n in (65277, 65278):
    h = IntelHex()
    for a in range(0, 2 * n, 2):
        h[a] = 0x5a
    h.write_hex_file("runs%d.hex" % n)'
quiet "$tool" cat runs65277.hex -o runs.elf || fail "65277 runs to ELF"
[ "$(readelf -h runs.elf | grep -c 'Number of section headers: *65279')" = 1 ] ||
  fail "65277 runs: section headers"
[ "$("$tool" cat runs65278.hex -o runs2.elf 2>&1)" = "dwxvmm: runs2.elf: 65278 runs: an ELF section table holds 65277 without extended numbering" ] &&
  [ ! -e runs2.elf ] || fail "65278 runs to ELF not refused"

echo "firmware: $failed failed"
[ "$failed" -eq 0 ]
