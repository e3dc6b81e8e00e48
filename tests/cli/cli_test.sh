#!/usr/bin/env bash
# The command-line tool, one invocation a row: exit status, standard output
# and standard error, and the files left behind. Then each output format of
# `dwxvmm cat` against what srec_cat makes of the same input (srec_cmp).
# Usage: cli_test.sh DWXVMM SOURCE_DIR
set -uo pipefail
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failed=0

# Random bytes from one seed, said once, so that a failure on one input can be
# run again: CLI_SEED=N tests/cli/cli_test.sh ...
seed=${CLI_SEED:-$RANDOM}
echo "random inputs from CLI_SEED=$seed"
drawn=0
random_bytes() {  # N: N bytes, the next draw of the seed
  drawn=$((drawn + 1))
  /usr/bin/python3 -c "import random, sys
sys.stdout.buffer.write(random.Random($seed * 1000 + $drawn).randbytes($1))"
}

# t STATUS "ARGS" [STDOUT [STDERR]]: dwxvmm ARGS (split on blanks) must end
# with STATUS and, where given and not "*", print exactly STDOUT and STDERR.
t() {
  local out err status
  out=$("$tool" $2 2>stderr.txt)
  status=$?
  out=$(sed -E 's/(memory[": ]+)[0-9]+/\1N/' <<<"$out")  # sizes vary by ABI
  err=$(<stderr.txt)
  if [ "$status" != "$1" ] || [ "${3-*}" != "*" -a "$out" != "${3-}" ] ||
      [ "${4-*}" != "*" -a "$err" != "${4-}" ]; then
    printf 'FAIL: dwxvmm %s\n  status %s, want %s\n  stdout: %s\n  stderr: %s\n' \
      "$2" "$status" "$1" "$out" "$err"
    failed=$((failed + 1))
  fi
}
# same FILE TEXT: FILE holds exactly TEXT.
same() {
  [ "$(cat "$1" 2>/dev/null)" = "$2" ] || {
    echo "FAIL: $1 holds: $(cat "$1" 2>&1)"
    failed=$((failed + 1))
  }
}

printf ':0400100001020304E2\n:00000001FF\n' >a.hex
printf ':0100100009E6\n:00000001FF\n' >clash.hex
printf ':0400100001020304E3\n:00000001FF\n' >bad.hex
printf ':0400100001020304E2\n' >noend.hex
printf 'S006000048447FEE\nS107001001020304DE\nS9030123D8\n' >a.srec  # "HD\x7f"
printf 'AB' >ab.bin
printf '\0' >zero.bin
usage() { printf "dwxvmm: %s\nTry 'dwxvmm %s--help'." "$1" "${2:+$2 }"; }
# Every format word in the library's order, joined by $1.
WORDS="ihex srec binary titxt vmem c uf2 dfuse mif coe aomf msbin"
WORDS="$WORDS formatted-binary dec-binary idt ppb stewie trs80 wilson"
formats() { echo "$WORDS" | sed "s/ /$1/g"; }

t 0 "info a.hex ab.bin@0x20" "inputs:
  a.hex (Intel HEX)
  ab.bin@0x00000020 (Binary file)
data bytes:    6
runs:          2
  0x00000010-0x00000013  4 bytes
  0x00000020-0x00000021  2 bytes
lowest:        0x00000010
highest:       0x00000021
pages:         1
memory:        N bytes" ""
t 0 "info --json a.srec ab.bin@4294967294" '{"inputs":[{"path":"a.srec","format":"Motorola S-record","data_bytes":4},{"path":"ab.bin","address":4294967294,"format":"Binary file","data_bytes":2}],"data_bytes":6,"run_count":2,"runs":[{"first":16,"last":19,"length":4},{"first":4294967294,"last":4294967295,"length":2}],"more_runs":0,"lowest":16,"highest":4294967295,"start_address":291,"header":"HD\u007f","header_hex":"48447f","pages":2,"memory":N}'
# Names and headers as JSON: UTF-8 unchanged, other bytes as U+FFFD and the
# header's exact bytes in header_hex; any byte value, read back by Python.
/usr/bin/python3 - "$tool" <<'PY' || failed=$((failed + 1))
import json, subprocess, sys
def srec(header):
    body = bytes([len(header) + 3, 0, 0]) + header
    return b'S0' + (body + bytes([~sum(body) & 0xFF])).hex().upper().encode()
names = ['f\u00efrmware \u2013 \U0001F680.srec'.encode(), b'bad\xff\xc3(.srec']
for name, header in zip(names, [bytes(range(128)), bytes(range(128, 256))]):
    open(name, 'wb').write(srec(header) + b'\nS9030000FC\n')
    got = json.loads(subprocess.run([sys.argv[1], 'info', '--json', name],
                                    capture_output=True, check=True).stdout)
    if (got['inputs'][0]['path'] != name.decode(errors='replace') or
            got['header_hex'] != header.hex() or
            got['header'] != header.decode(errors='replace')):
        raise SystemExit('FAIL: info --json of %r: %r' % (name, got))
PY
t 0 "cat a.hex ab.bin@0000000000000000020 -o out.bin --fill 0x00000000000000ee" \
  "out.bin: Binary file, 6 data bytes, 0 bytes filled with 0xee"
same out.bin "$(printf '\x01\x02\x03\x04\x41\x42')"
t 0 "cat a.hex ab.bin@0x16 -o out.bin" \
  "out.bin: Binary file, 6 data bytes, 2 bytes filled with 0xff"
same out.bin "$(printf '\x01\x02\x03\x04\xff\xffAB')"
t 0 "cat a.srec --range 0x11-0x12 -o out.hex --line-bytes 1" \
  "out.hex: Intel HEX, 2 data bytes"
same out.hex ":020000040000FA
:0100110002EC
:0100120003EA
:0400000500000123D3
:00000001FF"
t 0 "cat ab.bin@0xfffffffe --format srec -o out" \
  "out: Motorola S-record, 2 data bytes"
same out "S307FFFFFFFE41427A
S5030001FB
S70500000000FA"
t 0 "cat a.srec --format titxt -o out.txt" "out.txt: TI-TXT, 4 data bytes"
same out.txt "@0010
01 02 03 04
q"
t 0 "cat a.srec --format tektronix --crlf -o out.tek" \
  "out.tek: Tektronix, 4 data bytes"
same out.tek "$(printf '/00100405010203040A\r\n/01230006\r')"
t 0 "cat a.hex a.srec@+0x10 --format ihex --data-only -o out.hex" \
  "out.hex: Intel HEX, 8 data bytes"
same out.hex ":020000040000FA
:0400100001020304E2
:0400200001020304D2"
t 0 "cat out.tek@tektronix --format srec --data-only -o out" \
  "out: Motorola S-record, 4 data bytes"
same out "S107001001020304DE"
t 0 "cat out.txt -o out.mem --vmem-width 16" "out.mem: Verilog memory, 4 data bytes"
same out.mem "@00000008
0201 0403"
t 0 "cat out.mem@vmem --word-width 16 a.srec@+0x10 -o w.mif --fill 0" \
  "w.mif: MIF, 20 data bytes"
same w.mif "WIDTH=16;
DEPTH=18;

ADDRESS_RADIX=HEX;
DATA_RADIX=HEX;

CONTENT BEGIN
	[0..7] : 0000;
	8 : 0201;
	9 : 0403;
	[A..F] : 0000;
	10 : 0201;
	11 : 0403;
END;"
t 0 "cat w.mif@mif -o w.uf2 --uf2-family samd21" "w.uf2: UF2, 36 data bytes"
t 0 "info w.uf2@family=0x68ed2b88 w.uf2@+0x100@family=SAMD21" "*"
"$tool" info w.uf2 | grep -qF "  w.uf2 (UF2: family SAMD21 (0x68ED2B88))" &&
  "$tool" info --json w.uf2 | grep -qF '"details":"family SAMD21 (0x68ED2B88)"' ||
  { echo "FAIL: info w.uf2"; failed=$((failed + 1)); }
t 0 "cat w.uf2 -o w.dfu --dfu-alt 2 --dfu-name Flash --dfu-vid 0x1209" \
  "w.dfu: DfuSe, 256 data bytes"
t 2 "info w.dfu@alt=0" "" "dwxvmm: w.dfu: no target of alternate setting 0 (the file holds alt 2 'Flash')"
t 2 "cat w.uf2 -o x.uf2 --uf2-family rp" "" \
  "$(usage "unknown UF2 family 'rp' (a short name of the list, or an ID)" cat)"
t 2 "info w.uf2@family=rp" "" \
  "$(usage "unknown UF2 family 'rp' in 'w.uf2@family=rp' (a short name of the list, or an ID)" info)"
t 0 "cat out.txt -o fw-1.c" "fw-1.c: C array, 4 data bytes"
grep -q "^DWXVMM_DEFINE const dwxvmm_run fw_1_runs\[1\] = {" fw-1.c ||
  { echo "FAIL: fw-1.c"; failed=$((failed + 1)); }
t 0 "cmp a.hex a.srec" "0 addresses differ" ""
t 1 "cmp a.hex clash.hex" "4 addresses differ
  0x00000010-0x00000010  1 byte  01 vs 09
  0x00000011-0x00000013  3 bytes  only in A"
t 1 "cmp --json a.hex clash.hex" '{"differing_addresses":4,"range_count":2,"ranges":[{"a":[1],"b":[9],"first":16,"kind":"values","last":16,"length":1},{"first":17,"kind":"only_a","last":19,"length":3}]}'
t 0 "dump a.hex ab.bin@0x20" "0x00000010: 01 02 03 04 -- -- -- -- -- -- -- -- -- -- -- -- |....            |
0x00000020: 41 42 -- -- -- -- -- -- -- -- -- -- -- -- -- -- |AB              |"
t 0 "dump a.hex --range 0x12-0x30 --width 32" "0x00000000: -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- 03 04 -- -- -- -- -- -- -- -- -- -- -- -- |                  ..            |"
t 0 "cat a.hex --range 0x12-0x12 -o one.bin" \
  "one.bin: Binary file, 1 data bytes, 0 bytes filled with 0xff"
same one.bin "$(printf '\x03')"
t 0 "cat a.hex ab.bin@0xfffffffe -o far.srec"
printf 'ABCDEFGHIJKL' >twelve.bin
t 1 "cmp twelve.bin@binary zero.bin@0x100" "13 addresses differ
  0x00000000-0x0000000b  12 bytes  only in A
  0x00000100-0x00000100  1 byte  only in B"
t 1 "cmp far.srec a.hex" "2 addresses differ
  0xfffffffe-0xffffffff  2 bytes  only in A"
t 1 "cmp zero.bin@0x10 a.hex" "4 addresses differ
  0x00000010-0x00000010  1 byte  00 vs 01
  0x00000011-0x00000013  3 bytes  only in B"
t 0 "map a.hex -o report.txt" "" ""
[ "$(head -n 2 report.txt | tail -n 1 | cut -c1-24)" = "---- ---- ---- ---- ----" ] ||
  { echo "FAIL: report.txt"; failed=$((failed + 1)); }
t 0 "map a.hex -o -" "$(cat report.txt)"
# --verbose lets the library's notices through; the image model has none.
t 0 "--verbose info a.hex" "$("$tool" info a.hex | sed -E 's/(memory[": ]+)[0-9]+/\1N/')" ""
t 0 "cat a.hex clash.hex --overwrite -o out.hex" "out.hex: Intel HEX, 4 data bytes"
same out.hex ":020000040000FA
:0400100009020304DA
:00000001FF"
t 0 "info noend.hex" "*" "dwxvmm: warning: noend.hex: no end record"
# Strict: a warning is an error at the last line, and nothing is written.
t 2 "cat noend.hex --strict -o strict.hex" "" "dwxvmm: noend.hex:1: no end record"
t 2 "cmp a.hex noend.hex --strict" "" "dwxvmm: noend.hex:1: no end record"
[ ! -e strict.hex ] || { echo "FAIL: strict.hex written"; failed=$((failed + 1)); }
# The memory a load may take: K, M, G; 0 for none; the record that passes it.
t 2 "map a.hex --max-memory=1k -o r" "" \
  "dwxvmm: a.hex:1: the load would pass the memory limit of 1 KiB"
t 0 "info a.hex --max-memory 0" "*" ""
for v in 1T "" K 1KB -1 1.5M 0x 1125899906842625 1048577G; do
  t 2 "info a.hex --max-memory=$v" "" \
    "$(usage "bad --max-memory value '$v' (bytes, or K, M, G)" info)"
done
t 0 "info a.hex --max-memory=1125899906842624" "*" ""

# The format from the name and the bytes: INPUT|FORMAT, "text" for the
# refusal. MIF by its keywords after comments in any case, .vmem ahead of
# TI-TXT's '@', a .mif that is no MIF a MIF error; text no format claims is
# refused unless placed or named, other bytes (even after text) binary.
printf -- '-- a RAM\n%% c %%\nwidth = 8;\ndepth=4;\ncontent begin\n0 : 12;\nend;\n' >ram.dat
cp ram.dat ram.mif
printf '%%c\n%%\tData_Radix\t=HEX;WIDTH=8;DEPTH=2;CONTENT BEGIN 1:7;END;' >radix.txt
printf 'CONTENT\r\nBEGIN' >begin.txt  # parses no further, but is MIF
printf '@10\n01 02\n' >ram.vmem
cp ram.vmem ram.VMEM
cp ram.vmem ram.mem
printf ':00000001FF\n' >hex.mif
printf 'Width of the bus: 8\n' >notes.txt
printf 'Gr\xc3\xb6\xc3\x9fe \xe2\x80\x93 \xf0\x9f\x9a\x80\t\f\r\n' >utf8.txt
: >empty.bin
{ head -c 65535 /dev/zero | tr '\0' 'a'; printf '\0'; } >late.txt
{ head -c 65536 /dev/zero | tr '\0' 'a'; printf '\0'; } >far.txt
{ head -c 65535 /dev/zero | tr '\0' 'a'; printf '\xc3\xb6'; } >cut.txt
n=0
for b in '\0' '\x01' '\x1b' '\x7f' '\xc2\x85' '\xc3(' '\xc3' '\xc0\x80' \
    '\xe0\x80\x80' '\xed\xa0\x80' '\xf4\x90\x80\x80' '\xf5\x80\x80\x80' '\xff'; do
  n=$((n + 1))
  printf "text, then $b" >"bin$n.txt"
done
# The words of the formats read and of those written, as the hints list
# them (and 'dwxvmm formats --words read|write').
words="ihex|srec|binary|titxt|vmem|elf|uf2|dfuse|mif|tektronix|"
words+="tektronix-ext|mos-tech|signetics|ihex16|atmel-generic|emon52|"
words+="fairchild|ti-tagged|ti-tagged16|brecord|needham|ppx|cosmac|ascii-hex|"
words+="fastload|fpc|os65v|spasm-be|spasm-le|mips-flash-be|mips-flash-le|"
words+="logisim|aomf|msbin|formatted-binary|dec-binary|idt|ppb|stewie|"
words+="trs80|wilson"
written="ihex|srec|binary|titxt|vmem|c|elf|uf2|dfuse|mif|coe|tektronix|"
written+="tektronix-ext|mos-tech|signetics|ihex16|atmel-generic|emon52|"
written+="fairchild|ti-tagged|ti-tagged16|brecord|needham|ppx|cosmac|ascii-hex|"
written+="fastload|fpc|os65v|spasm-be|spasm-le|mips-flash-be|mips-flash-le|"
written+="logisim|asm|basic|forth|vhdl|lattice-mem|hexdump|aomf|msbin|"
written+="formatted-binary|dec-binary|idt|ppb|stewie|trs80|wilson"
t 0 "formats --words read" "${words//|/$'\n'}"
t 0 "formats --words write" "${written//|/$'\n'}"
t 2 "formats --words some" "" "$(usage "bad --words 'some' (read, write or all)" formats)"
t 0 "formats" "*"
[ "$("$tool" formats | sed -n '1p;2p;7p' | tr -s ' ')" = "word name access extensions found by
ihex Intel HEX read/write .hex .ihex .ihx content
c C array write .c no" ] || { echo "FAIL: dwxvmm formats"; failed=$((failed + 1)); }
"$tool" formats --json | /usr/bin/python3 -c "import json, sys
rows = json.load(sys.stdin)
assert [r['word'] for r in rows if r['write']] == '$written'.split('|')
assert rows[0] == {'word': 'ihex', 'name': 'Intel HEX', 'aliases': [],
    'read': True, 'write': True, 'binary': False, 'addressed': True,
    'unit': True, 'extensions': ['.hex', '.ihex', '.ihx'],
    'detected': 'content', 'description': rows[0]['description']}
assert {r['detected'] for r in rows} == {'content', 'extension', 'no'}" ||
  { echo "FAIL: dwxvmm formats --json"; failed=$((failed + 1)); }
t 2 "info a.hex@ihx" "" "$(usage "unknown format 'ihx' in 'a.hex@ihx' (${words//|/, })" info)"
text() { echo "dwxvmm: $1: cannot tell the format of this text: give PATH@FORMAT ($words) or PATH@binary"; }
while IFS='|' read -r input want; do
  if [ "$want" = text ]; then
    for c in "info %s" "dump %s" "cmp a.hex %s" "map %s -o r" "cat a.hex %s -o r.hex"; do
      t 2 "$(printf "$c" "$input")" "" "$(text "${input%@*}")"
    done
  elif [ "${want#dwxvmm:}" != "$want" ]; then
    t 2 "info $input" "" "$want"
  else
    got=$("$tool" info --json "$input" 2>&1 | grep -o '"format":"[^"]*"')
    [ "$got" = "\"format\":\"$want\"" ] ||
      { echo "FAIL: $input is $got, want $want"; failed=$((failed + 1)); }
  fi
done <<'ROWS'
ram.dat|MIF
ram.mif|MIF
radix.txt|MIF
begin.txt|dwxvmm: begin.txt:1: CONTENT before WIDTH and DEPTH
ram.vmem|Verilog memory
ram.VMEM|Verilog memory
ram.mem|TI-TXT
hex.mif|dwxvmm: hex.mif: no CONTENT BEGIN
notes.txt|text
utf8.txt|text
cut.txt|text
far.txt|text
notes.txt@binary|Binary file
notes.txt@0x10|Binary file
notes.txt@+0x10|text
empty.bin|Binary file
late.txt|Binary file
ROWS
for f in bin*.txt; do
  [ "$("$tool" info --json "$f" | grep -o '"format":"[^"]*"')" = '"format":"Binary file"' ] ||
    { echo "FAIL: $f is not binary"; failed=$((failed + 1)); }
done
t 0 "cat ram.mif --format binary -o ram.bin" "ram.bin: Binary file, 1 data bytes, 0 bytes filled with 0xff"
same ram.bin "$(printf '\x12')"
t 0 "cat ram.vmem --format binary -o ram.bin" "ram.bin: Binary file, 2 data bytes, 0 bytes filled with 0xff"
same ram.bin "$(printf '\x01\x02')"
t 0 "--help"
t 0 "cmp --help"
t 0 "dump --help"
t 0 "--version" "dwxvmm 1.0.0"

# Errors: one line (and a usage hint for a bad command line), status 2, and
# an existing output left as it was.
t 2 "cat a.hex clash.hex -o out.hex" "" \
  "dwxvmm: clash.hex:1: address 0x00000010 already holds another value"
t 2 "info bad.hex" "" "dwxvmm: bad.hex:1: checksum mismatch"
t 2 "cat bad.hex -o out.hex" "" "dwxvmm: bad.hex:1: checksum mismatch"
same out.hex ":020000040000FA
:0400100009020304DA
:00000001FF"
t 2 "info missing.hex" "" \
  "dwxvmm: missing.hex: cannot open: No such file or directory"
t 2 "cat a.hex -o no/such/dir/out.hex" "" \
  "dwxvmm: no/such/dir/out.hex: cannot write: No such file or directory"
t 2 "" "" "$(usage "no command")"
t 2 "frob a.hex" "" "$(usage "unknown command 'frob'")"
t 2 "cat a.hex -o out.txt" "" \
  "$(usage "cannot tell the output format of 'out.txt': give --format $written" cat)"
t 2 "cat a.hex -o x.hex --format nope" "" \
  "$(usage "unknown format 'nope' (${written//|/, })" cat)"
t 2 "cat a.hex -o x.mem --vmem-width 64" "" \
  "$(usage "bad word width '64' (8, 16 or 32)" cat)"
t 2 "cat a.hex -o x.mem --vmem-width 32 --range 0x10-0x12" "" \
  "dwxvmm: x.mem: a run of written bytes ends at 0x00000012, not on a 32-bit word boundary"
t 2 "cat a.hex -o x.c --name 9lives" "" \
  "dwxvmm: x.c: array name '9lives' is not a C identifier"
t 2 "cat a.hex -o x.hex --range 0x20-0x10" "" \
  "$(usage "bad range '0x20-0x10': FIRST is above LAST" cat)"
t 2 "cat a.hex -o x.hex --line-bytes 256" "" \
  "$(usage "bad line length '256' (0 to 255)" cat)"
t 2 "cat a.hex -o x.hex --line-bytes 1f" "" \
  "$(usage "bad line length '1f' (0 to 255)" cat)"
t 2 "cat a.hex -o x.bin --fill 0x100" "" \
  "$(usage "bad fill byte '0x100' (0 to 255)" cat)"
t 2 "cat a.hex -o x.bin --fill 0x" "" \
  "$(usage "bad fill byte '0x' (0 to 255)" cat)"
t 2 "cat a.hex -o x.bin --fill 18446744073709551617" "" \
  "$(usage "bad fill byte '18446744073709551617' (0 to 255)" cat)"  # 2^64 + 1
t 2 "cat a.hex" "" "$(usage "no output: give -o OUTPUT" cat)"
t 2 "info a.bin@0x100000000" "" \
  "$(usage "bad address in 'a.bin@0x100000000' '0x100000000' (0 to 0xffffffff)" info)"
t 2 "cmp a.hex" "" "$(usage "cmp takes two inputs" cmp)"
t 2 "dump a.hex --width 8" "" "$(usage "bad width '8' (16 or 32)" dump)"
t 2 "map a.hex --bogus -o r" "" "$(usage "unknown option --bogus" map)"

# Edits: in command-line order, both fills applying; errors name the reason
# and the address, and write nothing.
t 0 "cat a.hex --fill 0x11@0xe-0x11 --fill 0x22@0xc-0x17 -o fill.bin" \
  "fill.bin: Binary file, 12 data bytes, 0 bytes filled with 0xff"
same fill.bin "$(printf '\x22\x22\x11\x11\x01\x02\x03\x04\x22\x22\x22\x22')"
t 0 "cat a.hex ab.bin@0x16 --fill 0 -o fill.hex" "fill.hex: Intel HEX, 8 data bytes"
same fill.hex ":020000040000FA
:0800100001020304000041425B
:00000001FF"
t 0 "cat a.srec@+0xfffffe00 --swap 2 -o moved.srec" \
  "moved.srec: Motorola S-record, 4 data bytes"
same moved.srec "S006000048447FEE
S309FFFFFE1002010403E0
S5030001FB
S705FFFFFF23DA"
t 0 "cat a.hex --checksum sum8@0x13:0x10-0x12 --overwrite -o sum.hex" \
  "sum.hex: Intel HEX, 4 data bytes"
t 2 "cat a.hex --checksum crc32-le@0x20:0xe-0x13 -o e.hex" "" \
  "dwxvmm: crc32-le: the range has a hole at 0x0000000E: fill it first"
t 2 "cat a.hex --checksum sum8@0x12 -o e.hex" "" \
  "dwxvmm: sum8: the checksum at 0x00000012 overlaps the range it covers"
t 2 "cat a.hex --checksum crc32-le@0xfffffffe:0x10-0x13 -o e.hex" "" \
  "dwxvmm: crc32-le: 0xFFFFFFFE + 4 bytes runs past address 0xFFFFFFFF"
t 2 "cat a.hex --checksum sum8@0x13:0x10-0x12 -o e.hex" "" \
  "dwxvmm: sum8: address 0x00000013 already holds another value"
t 2 "cat a.hex --checksum stm32-le@0x20:0x12-0x13 -o e.hex" "" \
  "dwxvmm: stm32-le: the range must be whole 32-bit words from a multiple of 4"
t 2 "cat a.hex --crop 0-1 --checksum crc32-le@0x20 -o e.hex" "" \
  "dwxvmm: crc32-le: no written byte to compute it over"
t 2 "cat a.hex@-0x11 -o e.hex" "" \
  "dwxvmm: a.hex: moving by -0x00000011 takes address 0x00000010 below 0"
t 2 "cat a.srec@+0xfffffee0 -o e.hex" "" \
  "dwxvmm: a.srec: moving by +0xFFFFFEE0 takes the start address 0x00000123 beyond 0xFFFFFFFF"
t 2 "cat a.hex clash.hex@+0 -o e.hex" "" \
  "dwxvmm: clash.hex: address 0x00000010 already holds another value"
t 2 "cat a.hex --checksum crc8@0 -o e.hex" "" \
  "$(usage "unknown checksum 'crc8' (see dwxvmm cat --help)" cat)"
t 2 "cat a.hex --swap 3 -o e.hex" "" "$(usage "bad swap '3' (2, 4 or 8)" cat)"
t 2 "cat a.hex --crop 0x10-0x1,0x20-0x30 -o e.hex" "" \
  "$(usage "bad range '0x10-0x1': FIRST is above LAST" cat)"
[ ! -e e.hex ] || { echo "FAIL: e.hex written"; failed=$((failed + 1)); }

# At the top of the address space, where srec_cat cannot go: the checksums
# against Python's zlib and binascii, a fill to 0xFFFFFFFF.
# A first byte no format is found by: top.bin@+DELTA is detected.
{ printf '\x00'; random_bytes 199; } >top.bin
for c in crc32-le crc16-ccitt-be crc16-xmodem-be; do
  t 0 "cat top.bin@0xffffff00 --fill 0x3c@0xffffff00-0xfffffffb --checksum $c@0xfffffffc:0xffffff00-0xfffffffb --fill 0xff --range 0xffffff00-0xffffffff -o $c.bin"
done
t 0 "cat top.bin@+0xfffffe00 --fill 0xa5@0xfffffff0-0xffffffff --range 0xfffffe00-0xffffffff -o fill.bin" \
  "fill.bin: Binary file, 216 data bytes, 296 bytes filled with 0xff"
/usr/bin/python3 - <<'PY' || failed=$((failed + 1))
import binascii, zlib
top = open('top.bin', 'rb').read()
data = top + b'\x3c' * 52
want = {'crc32-le': zlib.crc32(data).to_bytes(4, 'little'),
        'crc16-ccitt-be': binascii.crc_hqx(data, 0xffff).to_bytes(2, 'big'),
        'crc16-xmodem-be': binascii.crc_hqx(data, 0).to_bytes(2, 'big')}
for name, value in want.items():
    got = open(name + '.bin', 'rb').read()
    if got != data + value + b'\xff' * (4 - len(value)):
        raise SystemExit('FAIL: ' + name + '.bin')
if open('fill.bin', 'rb').read() != top + b'\xff' * 296 + b'\xa5' * 16:
    raise SystemExit('FAIL: fill.bin')
PY

left=$(ls -A | grep -E '\.dwxvmm-' || true)
[ -z "$left" ] || { echo "FAIL: left behind: $left"; failed=$((failed + 1)); }

# What srec_cat makes of the same input: holes, a record across a 64 KiB
# boundary, the top of the address space, a start address.
if command -v srec_cat >/dev/null; then
  random_bytes 8 >p1.bin
  random_bytes 40 >p2.bin
  random_bytes 16 >p3.bin
  t 0 "cat p1.bin@0xfff0 p2.bin@0xfffc p3.bin@0xfffffff0 -o in.hex"
  for f in "hex -intel" "srec -motorola"; do
    set -- $f
    t 0 "cat in.hex -o ours.$1"
    srec_cat in.hex -intel -o "theirs.$1" "$2" 2>/dev/null
    srec_cmp "ours.$1" "$2" "theirs.$1" "$2" >/dev/null 2>&1 ||
      { echo "FAIL: srec_cmp ours.$1 theirs.$1"; failed=$((failed + 1)); }
  done
  t 0 "cat in.hex --range 0xfff0-0x1001f -o ours.bin --fill 0x5a"
  srec_cat in.hex -intel -crop 0xfff0 0x10020 -fill 0x5a 0xfff0 0x10020 \
    -offset -0xfff0 -o theirs.bin -binary 2>/dev/null
  srec_cmp ours.bin -binary theirs.bin -binary >/dev/null 2>&1 ||
    { echo "FAIL: srec_cmp ours.bin theirs.bin"; failed=$((failed + 1)); }

  # Each edit as srec_cat makes it (its ranges end-exclusive; a filter after
  # parentheses applies to all the inputs in them): an image of several runs
  # with holes, across 64 KiB and 16 MiB boundaries.
  random_bytes 300 >q1.bin
  random_bytes 700 >q2.bin
  t 0 "cat p1.bin@0xfff3 p2.bin@0xfffc q1.bin@0xffff01 q2.bin@0x1000077 -o e.hex"
  edits=(
    "e.hex --fill 0x5a@0xfff0-0x10100|e.hex -intel -fill 0x5a 0xfff0 0x10101"
    "e.hex --fill 0x11@0xfff0-0x1000f --fill 0x22@0xfff8-0x1001f|e.hex -intel -fill 0x11 0xfff0 0x10010 -fill 0x22 0xfff8 0x10020"
    "e.hex --crop 0xfff8-0x10007,0xfffff0-0x1000080|e.hex -intel -crop 0xfff8 0x10008 0xfffff0 0x1000081"
    "e.hex --exclude 0x10000-0x1000f,0xffffff-0x1000100|e.hex -intel -exclude 0x10000 0x10010 0xffffff 0x1000101"
    "e.hex@+0x123457|e.hex -intel -offset 0x123457"
    "e.hex@-0xfff3|e.hex -intel -offset -0xfff3"
    "e.hex --swap 2|e.hex -intel -byte-swap 2"
    "e.hex --swap 4|e.hex -intel -byte-swap 4"
    "e.hex --swap 8|e.hex -intel -byte-swap 8"
  )
  for n in crc32: stm32: crc16-xmodem:-xmodem crc16-ccitt:-broken crc16-aug:; do
    for e in l b; do
      name=${n%:*} theirs="-${n%:*}-$e-e 0x2000000"
      [ "${name#crc16}" != "$name" ] && theirs="-crc16-$e-e 0x2000000 ${n#*:}"
      edits+=("e.hex --crop 0xfffff0-0x100017f --fill 0xc3@0xfffff0-0x100017f --checksum $name-${e}e@0x2000000:0xfffff0-0x100017f|( e.hex -intel -crop 0xfffff0 0x1000180 -fill 0xc3 0xfffff0 0x1000180 ) $theirs")
    done
  done
  for w in 8 16-le 16-be 32-le 32-be; do
    for k in pos neg bitnot; do
      ours=${k/pos/}sum$w ours=${ours/bitnot/not} e=${w#*-} bytes=$((${w%-*} / 8))
      [ "$e" = "$w" ] && e=le
      edits+=("e.hex --fill 0@0xfff0-0x1000800 --checksum $ours@0x3000000|( e.hex -intel -fill 0 0xfff0 0x1000801 ) -checksum-$k-${e:0:1}-e 0x3000000 $bytes")
    done
  done
  # The sums, digests and bounds srec_cat inserts (0xff fills make sums
  # that are multiples of the modulus), bit operations, banks.
  for n in Adler_16:adler16 Adler_32:adler32 Fletcher_16:fletcher16 Fletcher_32:fletcher32; do
    for e in Little:le:0 Big:be:0xff; do
      IFS=: read -r order suffix byte <<<"$e"
      edits+=("e.hex --fill $byte@0xfff0-0x1000800 --checksum ${n#*:}-$suffix@0x3000000|( e.hex -intel -fill $byte 0xfff0 0x1000801 ) -${n%:*}_${order}_Endian 0x3000000")
    done
  done
  for d in MD5 SHA1 SHA224 SHA256 SHA384 SHA512 RMD160 TIGer WHIrlpool; do
    edits+=("e.hex --fill 0x3c@0xfff0-0x1000800 --checksum $(tr A-Z a-z <<<"$d")@0x3000000|( e.hex -intel -fill 0x3c 0xfff0 0x1000801 ) -$d 0x3000000")
  done
  edits+=(
    "e.hex --checksum lowest16-le@0x3000000 --checksum end32-be@0x3000004|e.hex -intel -Exclusive_MINimum_Little_Endian 0x3000000 2 -Exclusive_MAXimum_Big_Endian 0x3000004 4"
    "e.hex --xor 0xa5@0xfff8-0x10007|( e.hex -intel -crop 0xfff8 0x10008 -xor 0xa5 ) e.hex -intel -exclude 0xfff8 0x10008"
    "e.hex --and 0x3c --or 0x81@0xffff80-0x1000100|( e.hex -intel -and 0x3c -crop 0xffff80 0x1000101 -or 0x81 ) ( e.hex -intel -and 0x3c -exclude 0xffff80 0x1000101 )"
    "e.hex --not@0x10000-0xffffff --bit-reverse|( ( e.hex -intel -crop 0x10000 0x1000000 -not ) ( e.hex -intel -exclude 0x10000 0x1000000 ) ) -bit-reverse"
    "e.hex --split 2:1|e.hex -intel -split 2 1"
    "e.hex --split 4:1:2|e.hex -intel -split 4 1 2"
    "e.hex@unsplit=3:2|e.hex -intel -unsplit 3 2"
    "e.hex@unsplit=4:0:3 e.hex@unsplit=4:3|e.hex -intel -unsplit 4 0 3 e.hex -intel -unsplit 4 3"
  )
  for row in "${edits[@]}"; do
    t 0 "cat ${row%%|*} -o ours.hex"
    rm -f theirs.hex
    srec_cat ${row#*|} -o theirs.hex -intel 2>/dev/null
    srec_cmp ours.hex -intel theirs.hex -intel >/dev/null 2>&1 ||
      { echo "FAIL: srec_cmp for: ${row%%|*}"; failed=$((failed + 1)); }
  done
fi

# Record shapes: the record types found, and srec_cat reading back the same
# image (a start address from a.srec, data across 64 KiB).
if command -v srec_cat >/dev/null; then
  t 0 "cat a.srec p2.bin@0xfff8 -o shape.srec"
  types() { if [ "${1##*.}" = srec ]; then cut -c1-2 "$1"; else cut -c8-9 "$1"; fi |
    awk '!seen[$0]++' | tr '\n' ' '; }
  for row in "--srec-address 24|srec|S0 S2 S5 S8 " \
      "--srec-address 32 --header built --no-start|srec|S0 S3 S5 " \
      "--no-header|srec|S2 S5 S8 " "--hex-address segment|hex|02 00 03 01 " \
      "--hex-address linear|hex|04 00 05 01 " "--no-start|hex|04 00 01 "; do
    IFS='|' read -r flags ext want <<<"$row"
    t 0 "cat shape.srec $flags -o shape.$ext"
    [ "$(types "shape.$ext")" = "$want" ] ||
      { echo "FAIL: $flags: record types $(types "shape.$ext")"; failed=$((failed + 1)); }
    srec_cat "shape.$ext" "$([ "$ext" = hex ] && echo -intel || echo -motorola)" \
      -o back.srec 2>/dev/null && srec_cmp back.srec shape.srec >/dev/null 2>&1 ||
      { echo "FAIL: srec_cat reads back $flags"; failed=$((failed + 1)); }
  done
fi
t 2 "cat shape.srec --srec-address 16 -o e.srec" "" \
  "dwxvmm: e.srec: addresses up to 0x0001001F do not fit in S1 records"
t 2 "cat in.hex --hex-address segment -o e.hex" "" \
  "dwxvmm: e.hex: address 0xFFFFFFFF is beyond segment addressing (below 1 MiB)"
t 2 "cat a.hex --srec-address 20 -o e.srec" "" \
  "$(usage "bad S-record address '20' (16, 24 or 32)" cat)"
t 0 "cat bad.hex --ignore-checksums -o e.hex" "e.hex: Intel HEX, 4 data bytes" \
  "dwxvmm: warning: bad.hex:1: checksum mismatch, loaded all the same"
# Edits in order: a stamp, a length over it and the bytes, a CRC over all,
# then the runs grown to 8 bytes.
t 0 "cat a.hex --set u16be:0x0102@0x14 --checksum length16-le@0x16:0x10-0x15 --checksum CRC-16/MODBUS-be@0x18:0x10-0x17 --align 8 --fill 0 -o st.hex" \
  "st.hex: Intel HEX, 16 data bytes"
same st.hex ":020000040000FA
:10001000010203040102060068F000000000000075
:00000001FF"
t 0 "cat --list-checksums" "*"
grep -q "crc16-ccitt is CRC-16/IBM-3740; the catalogue's CRC-16/CCITT is CRC-16/KERMIT" \
  <<<"$("$tool" cat --list-checksums)" || { echo "FAIL: list"; failed=$((failed + 1)); }
t 2 "cat a.hex --checksum crc-16/modbus@0 -o e.hex" "" \
  "$(usage "checksum 'crc-16/modbus' needs -le or -be (the byte order) (see dwxvmm cat --help)" cat)"

# checksum values without a write; refusals name the option and the value.
t 0 "info --json a.hex --checksum crc32-le --checksum Sum8:0x10-0x11" '{"inputs":[{"path":"a.hex","format":"Intel HEX","data_bytes":4}],"data_bytes":4,"run_count":1,"runs":[{"first":16,"last":19,"length":4}],"more_runs":0,"lowest":16,"highest":19,"start_address":null,"header":null,"header_hex":null,"pages":1,"memory":N,"checksums":[{"name":"crc32-le","first":16,"last":19,"value":"cdfb3cb6"},{"name":"Sum8","first":16,"last":17,"value":"03"}]}'
[ "$("$tool" info a.hex --checksum fletcher16-be | tail -1)" = "fletcher16-be 0x00000010-0x00000013: 0a14" ] ||
  { echo "FAIL: info --checksum"; failed=$((failed + 1)); }
t 2 "info a.hex ab.bin@0x20 --checksum md5" "" \
  "dwxvmm: md5: the range has a hole at 0x00000014: fill it first"
t 2 "cat a.hex --xor 0x100 -o no.hex" "" "$(usage "bad --xor byte '0x100' (0 to 255)" cat)"
t 2 "cat a.hex --fill-pattern abc@0-3 -o no.hex" "" \
  "$(usage "bad --fill-pattern 'abc' (an even number of hex digits, at least two)" cat)"
t 2 "cat a.hex --split 2:1:2 -o no.hex" "" \
  "$(usage "bad --split '2:1:2' (MULTIPLE[:OFFSET[:WIDTH]]: MULTIPLE at least 2, WIDTH at least 1 and below MULTIPLE, OFFSET + WIDTH at most MULTIPLE)" cat)"
t 2 "cat a.hex --address-unit 3 -o no.hex" "" "$(usage "bad --address-unit '3' (2 or 4)" cat)"
t 2 "cat a.hex --checksum sha512@0xffffffc1 -o no.hex" "" \
  "dwxvmm: sha512: 0xFFFFFFC1 + 64 bytes runs past address 0xFFFFFFFF"
t 2 "cat ab.bin@0xfffe --checksum end16-le@0 -o no.hex" "" \
  "dwxvmm: end16-le: the end 0x00010000 does not fit in 16 bits"
t 2 "cat ab.bin@0x11 --address-unit 2 -o no.hex" "" \
  "dwxvmm: no.hex: address unit 2: the run at 0x00000011 does not begin and end on a unit"
t 2 "cat a.srec --address-unit 4 -o no.srec" "" \
  "dwxvmm: no.srec: address unit 4: the start address 0x00000123 is not a multiple of it"
t 2 "cat a.hex --address-unit 2 -o no.bin" "" \
  "dwxvmm: no.bin: address unit 2: this format takes none"
t 2 "info zero.bin@unit=2" "" "dwxvmm: zero.bin: address unit 2: this format takes none"
[ ! -e no.hex ] && [ ! -e no.bin ] && [ ! -e no.srec ] || { echo "FAIL: a refusal wrote"; failed=$((failed + 1)); }
# Fills: a seeded stream the same on every run, a pattern counted from F,
# runs of a byte back to holes; banks and a start address that is dropped.
t 0 "cat a.hex --random-fill 0-0xff --seed 42 --random-fill 0x200-0x2ff -o r1.hex"
t 0 "cat a.hex --random-fill 0-0xff --random-fill 0x200-0x2ff --seed=42 -o r2.hex"
t 0 "cat a.hex --random-fill 0-0xff --seed 43 --random-fill 0x200-0x2ff -o r3.hex"
t 0 "cat r1.hex --crop 0x10-0x13 -o r4.hex"
cmp -s r1.hex r2.hex && ! cmp -s r1.hex r3.hex && [ "$(tail -n +2 r4.hex)" = "$(cat a.hex)" ] &&
  [ "$(wc -l <r1.hex)" = 18 ] || { echo "FAIL: random fills"; failed=$((failed + 1)); }
t 0 "cat a.hex --fill-pattern 0xa1B2c3@0xe-0x17 -o - --format srec --no-header --no-start" \
  "S10D000EA1B201020304A1B2C3A1D0
S5030001FB"
printf '\1\377\377\2\377\377\377\3' >u.bin
t 0 "cat u.bin --unfill 0xff:3 -o - --format ihex" ":020000040000FA
:0400000001FFFF02FB
:0100070003F5
:00000001FF"
# Detected as binary: a first byte of each lane that no format is found by.
{ printf '\x00\x00'; random_bytes 298; } >lanes.bin
t 0 "cat lanes.bin --split 2:0 -o even.bin"
t 0 "cat lanes.bin --split 2:1 -o odd.bin"
t 0 "cat even.bin@unsplit=2:0 odd.bin@unsplit=2:1 -o back.bin"
cmp -s back.bin lanes.bin || { echo "FAIL: split and unsplit"; failed=$((failed + 1)); }
t 0 "cat a.srec --split 2:1 -o s.hex" "s.hex: Intel HEX, 2 data bytes" \
  "dwxvmm: warning: the start address 0x00000123 does not survive a split; dropped"
t 0 "cat a.srec@unsplit=2:1 -o s.hex" "s.hex: Intel HEX, 4 data bytes" \
  "dwxvmm: warning: a.srec: the start address 0x00000123 does not survive an unsplit; dropped"
# Word addresses: the file's addresses in units are the byte addresses of
# the file they came from, across 64 K units and past 1 GiB in units.
t 0 "cat lanes.bin@0xfff0 lanes.bin@0x7ffff00 -o wq.hex"
t 0 "info wq.hex@unit=4" "*"
grep -q "wq.hex@unit=4 (Intel HEX)" <<<"$("$tool" info wq.hex@unit=4)" &&
  grep -q "lowest:        0x0003ffc0" <<<"$("$tool" info wq.hex@unit=4)" ||
  { echo "FAIL: info of a unit"; failed=$((failed + 1)); }
for n in 2 4; do
  t 0 "cat wq.hex@unit=$n -o ref$n.hex"
  for f in ihex:-intel srec:-motorola titxt:-ti-txt; do
    t 0 "cat wq.hex@unit=$n --address-unit $n --format ${f%:*} --no-start -o w$n.${f%:*}"
    t 0 "cat w$n.${f%:*}@unit=$n -o back$n.hex"
    cmp -s back$n.hex ref$n.hex || { echo "FAIL: w$n.${f%:*} back"; failed=$((failed + 1)); }
    if command -v srec_cmp >/dev/null; then
      srec_cmp "w$n.${f%:*}" "${f#*:}" wq.hex -intel >/dev/null 2>&1 ||
        { echo "FAIL: w$n.${f%:*} as srec_cat reads it"; failed=$((failed + 1)); }
    fi
  done
done
printf ':0400100001020304E2\n:0400000300010002F6\n:00000001FF\n' >seg.hex
t 0 "cat seg.hex@unit=2 --address-unit 2 -o - --format srec --no-header" "S107001001020304DE
S5030001FB
S9030012EA"

# Stored checks: written by --checksum at either end of the written bytes
# and found again without a range; one bit changed; a hole; a digest.
t 0 "cat a.hex --checksum crc32-le@0x14 -o v.hex"
t 0 "cat a.hex --checksum crc16-xmodem-be@0xe -o w.hex"
t 0 "cat a.hex --checksum sha256@0x14 -o d.hex"
t 0 "info v.hex --verify crc32-le@0x14 --verify crc32-le@0x14:0x10-0x13" "*" ""
[ "$("$tool" info v.hex --verify crc32-le@0x14 | tail -n 1)" = "crc32-le 0x00000014: ok" ] ||
  { echo "FAIL: verify ok"; failed=$((failed + 1)); }
t 0 "info w.hex --verify crc16-xmodem-be@0xe" "*" ""
t 0 "info d.hex --verify sha256@0x14" "*" ""
t 0 "cat v.hex --xor 0x01@0x17-0x17 -o v1.hex"
t 1 "info --json v1.hex --verify crc32-le@0x14" "*"
[ "$("$tool" info v1.hex --verify crc32-le@0x14 | tail -n 1)" = "crc32-le 0x00000014: stored 0xcdfb3cb7, computed 0xcdfb3cb6" ] ||
  { echo "FAIL: verify of a changed bit"; failed=$((failed + 1)); }
json=$("$tool" info --json v1.hex --verify crc32-le@0x14)  # status 1
grep -qF '"verify":[{"name":"crc32-le","at":20,"first":16,"last":19,"ok":false,"stored":"cdfb3cb7","computed":"cdfb3cb6"}]' <<<"$json" ||
  { echo "FAIL: verify in JSON"; failed=$((failed + 1)); }
t 2 "info v.hex --verify crc32-le@0x16" "" \
  "dwxvmm: crc32-le: no stored value at 0x00000016: 0x00000018 is a hole"
t 2 "info v.hex --verify sum8@0x13:0x10-0x14" "" \
  "dwxvmm: sum8: the checksum at 0x00000013 overlaps the range it covers"
t 2 "info v.hex --verify crc32-le" "" \
  "$(usage "bad --verify 'crc32-le' (NAME@AT[:FIRST-LAST])" info)"

# Regions at their edges: the first and last byte in, and one past.
printf '# a part\nlo 0x10 2 # the first two\n\nhi 0x12 0x2\n' >part.txt
t 0 "info a.hex --regions part.txt --region top=0xffffff00+256" "*"
[ "$("$tool" info a.hex --regions part.txt --region top=0xffffff00+256 | sed -n '/^regions/,$p')" = "regions:
  lo   0x00000010-0x00000011  2 bytes used (100.0%), 0 free
  hi   0x00000012-0x00000013  2 bytes used (100.0%), 0 free
  top  0xffffff00-0xffffffff  0 bytes used (0.0%), 256 free
outside:       0 bytes" ] || { echo "FAIL: info --regions"; failed=$((failed + 1)); }
[ "$("$tool" info a.hex --region r=0x11-0x12 | sed -n '/^outside/,$p')" = "outside:       2 bytes
  0x00000010-0x00000010  1 bytes
  0x00000013-0x00000013  1 bytes" ] || { echo "FAIL: bytes outside"; failed=$((failed + 1)); }
t 0 "cat a.hex --fit --region r=0x10-0x13 -o fit.hex" "fit.hex: Intel HEX, 4 data bytes"
t 2 "cat a.hex --fit --region r=0x10+3 -o nofit.hex" "" \
  "dwxvmm: 0x00000013-0x00000013 lies outside every region (1 range outside)"
t 2 "cat a.hex --fit --region r=0x11+3 -o nofit.hex" "" \
  "dwxvmm: 0x00000010-0x00000010 lies outside every region (1 range outside)"
[ ! -e nofit.hex ] || { echo "FAIL: --fit wrote a file"; failed=$((failed + 1)); }
t 2 "info a.hex --regions part.txt --region x=0x13-0x20" "" \
  "dwxvmm: regions 'hi' (0x00000012-0x00000013) and 'x' (0x00000013-0x00000020) overlap"
printf 'ok 0 1\nbad 0x10\n' >bad.txt
t 2 "info a.hex --regions bad.txt" "" "dwxvmm: bad.txt:2: expected NAME FIRST SIZE"
t 2 "info a.hex --region r=0xffffff00+257" "" \
  "$(usage "region 'r' runs past address 0xffffffff" info)"
t 2 "cat a.hex --fit -o e.hex" "" "$(usage "--fit needs --region or --regions" cat)"

# Serial batches against single conversions with --set and --checksum, at
# each type's edges; what a batch refuses before it writes anything.
mkdir batch single
while IFS='|' read -r type first count refusal; do
  t 0 "cat a.hex --serial $type@0x20:$first:3 --count $count --checksum crc32-be@0x30:0x10-0x13 -o batch/{i}-{n}.hex" "*"
  for ((i = 0; i < count; i++)); do
    n=$(/usr/bin/python3 -c "print($first + 3 * $i)")
    case $type in
    text:*) value=text:$(printf "%0${type#text:}d" "$n") ;;
    bcd:*) value=bytes:$(printf "%0$((2 * ${type#bcd:}))d" "$n") ;;
    *) value=$type:$n ;;
    esac
    t 0 "cat a.hex --set $value@0x20 --checksum crc32-be@0x30:0x10-0x13 -o single/$i.hex" "*"
    cmp -s "batch/$i-$n.hex" "single/$i.hex" ||
      { echo "FAIL: serial $n as $type"; failed=$((failed + 1)); }
  done
  t 2 "cat a.hex --serial $type@0x20:$first:3 --count $((count + 1)) -o batch/x{n}.hex" "" \
    "dwxvmm: $refusal"
done <<EOT
u8|249|3|serial 258 does not fit u8
u16be|65529|3|serial 65538 does not fit u16be
u32le|0xfffffff9|3|serial 4294967298 does not fit u32le
u64be|0xfffffffffffffff9|3|serial 18446744073709551609 + 3 x 3 passes 2^64 - 1
text:3|993|3|serial 1002 does not fit text:3
bcd:1|93|3|serial 102 does not fit bcd:1
EOT
ls batch/x* 2>/dev/null && { echo "FAIL: a batch that does not fit wrote"; failed=$((failed + 1)); }
t 0 "cat a.hex --serial u16le@0x20:0x1ff --count 2 -o s{n:x}.hex" "s1ff.hex: Intel HEX, 6 data bytes
s200.hex: Intel HEX, 6 data bytes"
t 2 "cat a.hex --serial u16le@0x20:0x1ff --count 2 -o s{n:x}.hex" "" \
  "dwxvmm: s1ff.hex: exists; a batch replaces files only with --overwrite"
t 0 "cat a.hex --serial u16le@0x20:0x1ff --count 2 --overwrite -o s{n:x}.hex" "*"
t 2 "cat a.hex --serial u8@0x10:1 --count 2 -o o{i}.hex" "" \
  "dwxvmm: serial 2: address 0x00000010 already holds another value (--overwrite replaces it)"
t 2 "cat a.hex --serial u8@0x20:1 --count 2 -o one.hex" "" \
  "$(usage "output name 'one.hex' is the same for every image: put {n}, {n:x} or {i} in it" cat)"
t 2 "cat a.hex --count 2 -o c{i}.hex" "" "$(usage "--count needs --serial" cat)"
t 2 "cat a.hex --serial u24@0:1 -o c{i}.hex" "" \
  "$(usage "bad serial type 'u24' (u8, u16le, u16be, u32le, u32be, u64le, u64be, text:WIDTH 1 to 64, bcd:BYTES 1 to 32)" cat)"
grep -qF "OUTPUT names each: {n} the serial" <<<"$("$tool" cat --help)" ||
  { echo "FAIL: cat --help lost its braces"; failed=$((failed + 1)); }
ls o0.hex c0.hex 2>/dev/null && { echo "FAIL: a refused batch wrote"; failed=$((failed + 1)); }

echo "cli: $failed failed"
[ "$failed" -eq 0 ]
