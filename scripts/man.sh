#!/usr/bin/env bash
# Makes the manual pages from their sources (man/*.scd; the formats' table
# from the tool) and copies them into man/, where a build without scdoc
# takes them from. Run after changing a page, an option or a format.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
"$root/scripts/deps.sh" scdoc
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target dwxvmm_man
for page in "$build"/man/*.[135]; do
  page=$(basename "$page")
  cp "$build/man/$page" "$root/man/$page"
done
git -C "$root" status --short man/
