#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) and runs
# each for SECONDS (default 30) from the committed corpus. New inputs go to
# a scratch folder, or with KEEP=1 to the corpus (fuzz/corpus, and
# fuzz/corpus-files for the formats). A divergence or a
# sanitizer report fails the run; the input is left in build/fuzz/findings/.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
"$root/scripts/deps.sh" cmake ninja-build clang libclang-rt-dev
build=$root/build/fuzz
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DDWXVMM_FUZZ=ON -DDWXVMM_BUILD_TESTS=OFF \
  >/dev/null
cmake --build "$build" -j "$(nproc)" --target dwxvmm_fuzz_shadow \
  dwxvmm_fuzz_models dwxfiles_fuzz >/dev/null
mkdir -p "$build/findings"
for mode in shadow models files; do
  echo "== fuzz $mode, ${seconds}s"
  program=$build/fuzz/dwxvmm_fuzz_$mode corpus=$root/fuzz/corpus
  [ $mode = files ] && program=$build/fuzz/dwxfiles_fuzz corpus=$corpus-files
  out=$(mktemp -d)
  [ "${KEEP:-0}" = 1 ] && out=$corpus
  log=$build/fuzz-$mode.log
  if ! "$program" "$out" "$corpus" \
      -max_total_time="$seconds" -len_control=0 -max_len=1024 -timeout=60 \
      -artifact_prefix="$build/findings/$mode-" -print_final_stats=1 \
      >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz $mode: FAILED (input in $build/findings/)"
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|new_units_added)' "$log"
  [ "${KEEP:-0}" = 1 ] || rm -rf "$out"
done
