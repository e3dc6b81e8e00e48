#!/usr/bin/env bash
# Builds the library and runs the test program vmmtest in a scratch folder
# with the sample source.in, so that nothing is written into the checkout;
# then shows what the command-line tool makes of the sample image, and says
# where the Python module is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build=$root/build/release
echo "== building the libraries, vmmtest and dwxvmm in $build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_TESTING=OFF >/dev/null
targets=(vmmtest dwxvmm_cli)
grep -q '^DWXVMM_PYTHON:BOOL=ON' "$build/CMakeCache.txt" && targets+=(dwxvmm_python)
cmake --build "$build" --target "${targets[@]}" >/dev/null
run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
cp "$root/examples/source.in" "$run/"
cd "$run"
echo "== running vmmtest in a scratch folder"
status=0
"$build/vmmtest" || status=$?
echo "vmmtest exit status: $status"
[ "$status" -eq 0 ] || exit "$status"
echo "== dwxvmm info examples/firmware.hex"
cd "$root"
"$build/cli/dwxvmm" info examples/firmware.hex
if grep -q '^DWXVMM_PYTHON:BOOL=ON' "$build/CMakeCache.txt"; then
  echo "== the Python module: PYTHONPATH=$build/python python3 -c 'import dwxvmm'"
else
  echo "== the Python module is off (see scripts/deps.sh)"
fi
