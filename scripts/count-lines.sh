#!/usr/bin/env bash
# Non-blank C++ lines of the tracked files: tests (tests/, fuzz/, *_test.*,
# test_*; and the Python tests) against everything else, and their ratio.
# The aim: tests at most half of the rest, so at most a third of all C++.
# Exits 1 above that.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { xargs -r cat | grep -cvE '^\s*$' || true; }
sources=$(git ls-files | grep -E '\.(cpp|cc|h|hpp)$')
is_test='(^|/)(tests?|fuzz)/|_test\.|(^|/)test_'
tests=$( (grep -E "$is_test" <<<"$sources"
          git ls-files 'tests/python/*.py') | count)
rest=$(grep -vE "$is_test" <<<"$sources" | count)
ratio=$(awk -v t="$tests" -v r="$rest" 'BEGIN { printf "%.2f", t / r }')
echo "test lines: $tests, other lines: $rest, ratio: $ratio (at most 0.50)"
awk -v t="$tests" -v r="$rest" 'BEGIN { exit !(2 * t <= r) }'
