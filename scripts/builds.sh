#!/usr/bin/env bash
# The builds users and packagers run, each from scratch: Release with gcc
# (Makefiles and Ninja) and clang, with and without GoogleTest, and with
# BUILD_TESTING=OFF (which must compile no test and install the libraries,
# headers and programs). Any warning or error fails it. Not part of the
# test command (a few minutes); run it after changing the build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/deps.sh" clang make
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

build() {  # name, cmake options...
  local name=$1 dir=$work/$1
  shift
  if ! { cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" &&
         cmake --build "$dir" -j "$(nproc)"; } >"$dir.log" 2>&1; then
    echo "$name: FAILED"; tail -n 20 "$dir.log"; failed=1; return 1
  fi
  if grep -qi 'warning' "$dir.log"; then
    echo "$name: warnings"; grep -i -A3 'warning' "$dir.log" | head -n 20
    failed=1; return 1
  fi
  echo "$name: ok"
}

build gcc-make -G "Unix Makefiles" -DCMAKE_CXX_COMPILER=g++ || true
build gcc-ninja -G Ninja -DCMAKE_CXX_COMPILER=g++ || true
build clang-ninja -G Ninja -DCMAKE_CXX_COMPILER=clang++ || true
build gcc-no-gtest -G Ninja -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON || true
if build packager -G Ninja -DBUILD_TESTING=OFF; then
  objects=$(find "$work/packager" -name '*.o' | grep -E '(tests|fuzz)/' || true)
  [ -z "$objects" ] || { echo "packager: compiled tests: $objects"; failed=1; }
  cmake --install "$work/packager" --prefix "$work/p" >/dev/null
  for f in lib/libdwxvmm.so.1 lib/libdwxfiles.so.1 include/dwxvmm/dwxvmm.h \
           include/dwxfiles/gcFileSupport.h bin/vmmtest bin/dwxvmm; do
    [ -e "$work/p/$f" ] || { echo "packager: not installed: $f"; failed=1; }
  done
fi
[ "$failed" -eq 0 ] && echo "every build: ok"
exit "$failed"
