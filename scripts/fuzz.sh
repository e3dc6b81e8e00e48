#!/usr/bin/env bash
# Builds the differential fuzz targets with clang (libFuzzer, ASan, UBSan) and
# runs each for SECONDS (default 30) from its committed corpus (fuzz/corpus;
# fuzz/corpus-files for the image formats). New inputs go to a scratch
# folder, or to the corpus with KEEP=1. A divergence or a
# sanitizer report fails the run; the input is left in build/fuzz/findings/.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
"$root/scripts/deps.sh" cmake ninja-build clang libclang-rt-dev pkg-config \
  libelf-dev libgcrypt20-dev
build=$root/build/fuzz
(cd "$root" && cmake --preset fuzz >/dev/null)
cmake --build "$build" -j "$(nproc)" --target dwxvmm_fuzz dwxfiles_fuzz \
  >/dev/null
mkdir -p "$build/findings"
for target in dwxvmm_fuzz dwxfiles_fuzz; do
  corpus=$root/fuzz/corpus
  [ $target = dwxfiles_fuzz ] && corpus=$root/fuzz/corpus-files
  echo "== $target, ${seconds}s"
  out=$(mktemp -d)
  [ "${KEEP:-0}" = 1 ] && out=$corpus
  log=$build/$target.log
  if ! "$build/fuzz/$target" "$out" "$corpus" \
      -max_total_time="$seconds" -len_control=0 -max_len=1024 -timeout=60 \
      -artifact_prefix="$build/findings/$target-" -print_final_stats=1 \
      >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "$target: FAILED (input in $build/findings/)"
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|new_units_added)' "$log"
  [ "${KEEP:-0}" = 1 ] || rm -rf "$out"
done
