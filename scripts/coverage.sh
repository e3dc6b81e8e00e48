#!/usr/bin/env bash
# Line and branch coverage of the library (core, tree, page, models, tools)
# by the whole test suite, corpus replay included, printed
# by gcovr. Branches that only exception handling takes are not counted.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/deps.sh" gcovr clang libclang-rt-dev
build=$root/build/coverage
(cd "$root" && cmake --preset coverage >/dev/null)
cmake --build "$build" -j "$(nproc)" >/dev/null
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -j "$(nproc)" >/dev/null ||
  ctest --test-dir "$build" --rerun-failed --output-on-failure
gcovr --root "$root" --object-directory "$build" \
  --filter "$root/(core|tree|page|models|tools)/" \
  --exclude-throw-branches --exclude-unreachable-branches --print-summary
