#!/usr/bin/env bash
# Builds the benchmark suite (Release), runs every workload for the library
# and its peers with repetitions, and prints the table of ratios; then times
# the image formats (bench/formats.py) and the command-line tool
# (bench/cli.py) against srec_cat, a serial batch against single
# conversions (bench/serials.py), ELF to Intel HEX against objcopy and
# the writers against each other (bench/elf.py), the memory models on the
# image workloads (image_convert models), the text formats' GB/s through
# the library (image_convert speed), map's picture in Chromium
# (bench/map_svg.py), and the Python module against python3-intelhex
# (bench/python.py); FORMATS_ONLY=1 runs only those.
# Arguments go to the benchmark binary (e.g. --benchmark_filter=block_).
# REPS sets the repetitions (default 5). The raw results stay in
# build/bench/results.json, the library's messages in build/bench/stderr.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" cmake ninja-build g++ pkg-config python3 \
  libbenchmark-dev libsrecord-dev libboost-dev srecord libelf-dev \
  binutils binutils-arm-none-eabi chromium pybind11-dev python3-dev \
  python3-intelhex time
build=$root/build/bench
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DDWXVMM_BUILD_BENCHMARKS=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target dwxvmm_bench image_convert dwxvmm_cli \
  dwxvmm_python >/dev/null
if [ "${FORMATS_ONLY:-0}" != 1 ]; then
  "$build/bench/dwxvmm_bench" --benchmark_repetitions="${REPS:-5}" \
    --benchmark_report_aggregates_only=true --benchmark_min_time=0.2 \
    --benchmark_out="$build/results.json" --benchmark_out_format=json \
    "$@" 2>"$build/stderr.log"
  cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
  echo
  python3 "$root/bench/ratios.py" "$build/results.json" \
    "$("$cxx" --version | head -1)"
fi
echo
mkdir -p "$build/models"  # the image workloads with each memory model
"$build/bench/image_convert" models "$build/models" "${REPS:-5}" \
  2>"$build/models.log"
echo
# The text formats through the library's own path, GB/s of text each way
"$build/bench/image_convert" speed "${REPS:-5}"
echo
mkdir -p "$build/formats"
/usr/bin/python3 "$root/bench/formats.py" "$build/bench/image_convert" \
  "$build/formats" "${REPS:-5}"
echo
/usr/bin/python3 "$root/bench/record_formats.py" "$build/cli/dwxvmm" \
  "$build/record-formats" "${REPS:-5}"
echo
/usr/bin/python3 "$root/bench/cli.py" "$build/cli/dwxvmm" "$build/cli-images" \
  "${REPS:-5}" "$build/bench/image_convert"
echo
/usr/bin/python3 "$root/bench/flash.py" "$build/cli/dwxvmm" "$build/flash" \
  "${REPS:-5}"
echo
/usr/bin/python3 "$root/bench/serials.py" "$build/cli/dwxvmm" "$build/serials" \
  "${REPS:-5}"
echo
/usr/bin/python3 "$root/bench/elf.py" "$build/cli/dwxvmm" \
  "$build/bench/image_convert" "$build/elf" "${REPS:-5}"
echo
/usr/bin/python3 "$root/bench/map_svg.py" "$build/cli/dwxvmm" "$build/map-svg" \
  "${REPS:-5}"
echo
/usr/bin/python3 "$root/bench/memory_limit.py" "$build/cli/dwxvmm" \
  "$build/memory-limit"
echo
/usr/bin/python3 "$root/bench/dump.py" "$build/cli/dwxvmm" "$build/dump" \
  "${REPS:-5}"
echo
/usr/bin/python3 "$root/bench/python.py" "$build/python" "$build/python-images" \
  "${REPS:-5}"
