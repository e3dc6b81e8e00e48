#!/usr/bin/env bash
# Builds and runs every test twice, in a normal build and in an ASan+UBSan
# build, and the threads' test under ThreadSanitizer, then runs the fuzz
# targets for FUZZ_SECONDS each (default 30). Ends with one line
# "summary: N passed, N failed"; exits 1 if anything failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" || exit 1
"$root/scripts/deps.sh" clang libclang-rt-dev || exit 1  # corpus replay
"$root/scripts/deps.sh" srecord python3-intelhex python3-crccheck dfu-util || exit 1  # peers
"$root/scripts/deps.sh" gcc-arm-none-eabi binutils-arm-none-eabi binutils \
  iverilog gdb-multiarch || exit 1  # firmware builds, $readmemh, gdb for the formats' tests
"$root/scripts/deps.sh" pybind11-dev python3-dev python3-pytest python3-mypy \
  python3-build python3-venv || exit 1
"$root/scripts/deps.sh" chromium python3-pil || exit 1  # map's pictures
"$root/scripts/deps.sh" bash-completion zsh fish scdoc lintian dpkg-dev file || exit 1  # completions, manual pages, packages
jobs=$(nproc)
passed=0 failed=0 tally=()

# BUILD_TARGET and TEST_REGEX, where set, narrow a suite to one program.
run_suite() {  # name, cmake options...
  local name=$1 build=$root/build/$1
  shift
  echo "== $name: building"
  if ! cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null ||
      ! cmake --build "$build" -j "$jobs" \
        ${BUILD_TARGET:+--target "$BUILD_TARGET"}; then
    failed=$((failed + 1)) tally+=("$name: build failed")
    return
  fi
  echo "== $name: testing"
  local log=$build/ctest.log
  ctest --test-dir "$build" -j "$jobs" --output-on-failure \
    ${TEST_REGEX:+-R "$TEST_REGEX"} | tee "$log"
  local line
  line=$(grep -E '[0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    failed=$((failed + 1)) tally+=("$name: no tests ran")
    return
  fi
  local bad all
  bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
  all=$(sed -E 's/.* tests failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + all - bad)) failed=$((failed + bad))
  tally+=("$all $name")
}

# The normal suite is the build users run: Release with gcc.
run_suite normal -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ \
  -DDWXVMM_WERROR=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite sanitized -DCMAKE_BUILD_TYPE=Debug -DDWXVMM_SANITIZE=ON \
  -DDWXVMM_WERROR=ON
# Threads on separate images under ThreadSanitizer: only that program.
BUILD_TARGET=dwxfiles_thread_tests TEST_REGEX='^Threads\.' \
  TSAN_OPTIONS=halt_on_error=1 run_suite thread -DCMAKE_BUILD_TYPE=Debug \
  -DDWXVMM_TSAN=ON -DDWXVMM_WERROR=ON
seconds=${FUZZ_SECONDS:-30}
# fuzz.sh stops at the first target with a finding: one failure.
targets=2
if "$root/scripts/fuzz.sh" "$seconds"; then
  passed=$((passed + targets)) findings=0
else
  failed=$((failed + 1)) findings=1
fi
tally+=("$targets fuzz targets x $seconds s, $findings findings")
line=$(printf '%s, ' "${tally[@]}")
echo "${line%, }"
echo "summary: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
