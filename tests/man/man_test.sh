#!/usr/bin/env bash
# The manual pages render with no warning, dwxvmm(1) names every option of
# every --help, dwxvmm-formats(5) has every format in its table and a section
# of its own, and the copies kept in man/ are those the sources make.
# Usage: man_test.sh DWXVMM SOURCE_DIR PAGES_DIR. Exit 77 (skipped) without
# groff or man, a failure under CI=true.
set -uo pipefail
tool=$1 src=$2 pages=$3
for need in groff man; do
  command -v $need >/dev/null && continue
  echo "missing $need"; [ "${CI:-}" = true ] && exit 1 || exit 77
done
failed=0
fail() { echo "FAIL $*"; failed=1; }
text() { sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\&//g' "$1"; }

for page in dwxvmm.1 dwxvmm-formats.5 libdwxvmm.3; do
  out=$(groff -ww -z -t -man "$pages/$page" 2>&1) || fail "$page: groff"
  [ -z "$out" ] || fail "$page: groff: $out"
  out=$(MANWIDTH=80 man --warnings -l "$pages/$page" 2>&1 >/dev/null)
  [ -z "$out" ] || fail "$page: man: $out"
  if command -v scdoc >/dev/null; then
    cmp -s "$pages/$page" "$src/man/$page" ||
      fail "$page: man/$page is not what its source makes (scripts/man.sh)"
  elif [ "${CI:-}" = true ]; then
    fail "scdoc missing: man/$page not checked against its source"
  fi
done

commands=$("$tool" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z]\+\) .*/\1/p')
[ -n "$commands" ] || fail "no commands in --help"
page=$(text "$pages/dwxvmm.1")
for command in "" $commands; do
  for option in $("$tool" $command --help | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u); do
    grep -qF -- "$option" <<<"$page" || fail "dwxvmm.1 lacks ${command:-dwxvmm} $option"
  done
  [ -z "$command" ] || grep -qE "^$command( |$)" <<<"$page" ||
    fail "dwxvmm.1 lacks the command $command"
done

page=$(text "$pages/dwxvmm-formats.5")
for word in $("$tool" formats --words all); do
  grep -qE "^$word(,|\$)" <<<"$page" || fail "dwxvmm-formats.5: $word not in the table"
  grep -qE "^\.SS .*\b$word(,|\$)" <<<"$page" ||
    fail "dwxvmm-formats.5: no section for $word"
done
[ "$failed" -eq 0 ] && echo "manual pages: ok"
exit "$failed"
