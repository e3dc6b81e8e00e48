#!/usr/bin/env bash
# Builds and runs every test twice: a normal build, then an ASan+UBSan build.
# Then runs the fuzz targets for a bounded time (FUZZ_SECONDS each,
# default 30).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/deps.sh" clang libclang-rt-dev  # the fuzz targets' corpus replay
"$root/scripts/deps.sh" srecord python3-intelhex  # the image formats' peers
jobs=$(nproc)

run_suite() {  # name, cmake options...
  local build=$root/build/$1
  shift
  echo "== $(basename "$build")"
  cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
  cmake --build "$build" -j "$jobs"
  ctest --test-dir "$build" -j "$jobs" --output-on-failure
}

run_suite test -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite sanitize -DCMAKE_BUILD_TYPE=Debug -DDWXVMM_SANITIZE=ON
"$root/scripts/fuzz.sh" "${FUZZ_SECONDS:-30}"
