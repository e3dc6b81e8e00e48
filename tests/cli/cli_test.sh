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
printf 'S00600004844521B\nS107001001020304DE\nS9030123D8\n' >a.srec
printf 'AB' >ab.bin
usage() { printf "dwxvmm: %s\nTry 'dwxvmm %s--help'." "$1" "${2:+$2 }"; }

t 0 "info a.hex" "inputs:
  a.hex (Intel HEX)
data bytes:    4
runs:          1
  0x00000010-0x00000013  4 bytes
lowest:        0x00000010
highest:       0x00000013
pages:         1
memory:        N bytes" ""
t 0 "info --json a.srec ab.bin@0xfffffffe" '{"inputs":[{"path":"a.srec","format":"Motorola S-record"},{"path":"ab.bin","address":4294967294,"format":"Binary file"}],"data_bytes":6,"run_count":2,"runs":[{"first":16,"last":19,"length":4},{"first":4294967294,"last":4294967295,"length":2}],"more_runs":0,"lowest":16,"highest":4294967295,"start_address":291,"header":"HDR","pages":2,"memory":N}'
t 0 "cat a.hex ab.bin@0x14 -o out.bin --fill 0xee" \
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
t 0 "cat out.txt -o out.mem --vmem-width 16" "out.mem: Verilog memory, 4 data bytes"
same out.mem "@00000008
0201 0403"
t 0 "cat out.txt -o fw-1.c" "fw-1.c: C array, 4 data bytes"
grep -q "^DWXVMM_DEFINE const dwxvmm_run fw_1_runs\[1\] = {" fw-1.c ||
  { echo "FAIL: fw-1.c"; failed=$((failed + 1)); }
t 0 "cmp a.hex a.srec" "0 addresses differ" ""
t 1 "cmp a.hex clash.hex" "4 addresses differ
  0x00000010: 0x01 vs 0x09
  0x00000011: 0x02 vs unwritten
  0x00000012: 0x03 vs unwritten
  0x00000013: 0x04 vs unwritten"
t 0 "map a.hex -o report.txt" "" ""
[ "$(head -n 2 report.txt | tail -n 1 | cut -c1-24)" = "---- ---- ---- ---- ----" ] ||
  { echo "FAIL: report.txt"; failed=$((failed + 1)); }
t 0 "--verbose info a.hex" # the library's notices then reach stderr
grep -q "Create space for 4096 base Entrys" stderr.txt ||
  { echo "FAIL: --verbose"; failed=$((failed + 1)); }
t 0 "cat a.hex clash.hex --overwrite -o out.hex" "out.hex: Intel HEX, 4 data bytes"
same out.hex ":020000040000FA
:0400100009020304DA
:00000001FF"
t 0 "info noend.hex" "*" "dwxvmm: warning: noend.hex: no end record"
t 0 "--help"
t 0 "cmp --help"
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
  "$(usage "cannot tell the output format of 'out.txt': give --format ihex|srec|binary|titxt|vmem|c" cat)"
t 2 "cat a.hex -o x.hex --format elf" "" \
  "$(usage "unknown format 'elf' (ihex, srec, binary, titxt, vmem, c)" cat)"
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
t 2 "cat a.hex -o x.bin --fill 0x100" "" \
  "$(usage "bad fill byte '0x100' (0 to 255)" cat)"
t 2 "cat a.hex" "" "$(usage "no output: give -o OUTPUT" cat)"
t 2 "info a.bin@0x100000000" "" \
  "$(usage "bad address in 'a.bin@0x100000000' '0x100000000' (0 to 0xffffffff)" info)"
t 2 "cmp a.hex" "" "$(usage "cmp takes two inputs" cmp)"
t 2 "map a.hex --bogus -o r" "" "$(usage "unknown option --bogus" map)"
left=$(ls -A | grep -E '\.dwxvmm-' || true)
[ -z "$left" ] || { echo "FAIL: left behind: $left"; failed=$((failed + 1)); }

# What srec_cat makes of the same input: holes, a record across a 64 KiB
# boundary, the top of the address space, a start address.
if command -v srec_cat >/dev/null; then
  head -c 8 /dev/urandom >p1.bin
  head -c 40 /dev/urandom >p2.bin
  head -c 16 /dev/urandom >p3.bin
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
fi

echo "cli: $failed failed"
[ "$failed" -eq 0 ]
