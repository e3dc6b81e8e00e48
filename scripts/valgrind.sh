#!/usr/bin/env bash
# Runs the test programs under valgrind's memcheck, in a build without
# sanitizers: any memory error or leak fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/deps.sh" valgrind clang libclang-rt-dev srecord python3-intelhex
build=$root/build/valgrind
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
memcheck=(valgrind -q --error-exitcode=1 --leak-check=full
          --errors-for-leak-kinds=definite,indirect,possible)
run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
cd "$run"  # the tools write their files into the working folder
echo "== memcheck tests/dwxvmm_tests"
"${memcheck[@]}" "$build/tests/dwxvmm_tests" --gtest_brief=1
# The fuzz target fails allocations in its own operator new: valgrind must
# leave it in place (it still sees the malloc beneath).
echo "== memcheck corpus replay"
"${memcheck[@]}" --soname-synonyms=somalloc=nouserintercepts \
  "$build/fuzz/dwxvmm_fuzz_replay" "$root/fuzz/corpus"
echo "== memcheck tests/dwxfiles_tests and the formats' corpus replay"
"${memcheck[@]}" "$build/tests/dwxfiles_tests" --gtest_brief=1
"${memcheck[@]}" "$build/fuzz/dwxfiles_fuzz_replay" "$root/fuzz/corpus-files"
echo "valgrind memcheck: no errors"
