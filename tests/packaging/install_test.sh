#!/usr/bin/env bash
# Installs the build into a fresh prefix, moves it (installs are relocated),
# and builds and runs hosts against it the ways hosts do.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR CXX "EXTRA_FLAGS"
set -euo pipefail
build=$1 src=$2 cxx=$3 flags=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=0  # vmmtest keeps its VMM to the end

cmake --install "$build" --prefix "$work/first" >/dev/null
mv "$work/first" "$work/p"
p=$work/p
for f in include/dwxvmm/dwxvmm.h lib/libdwxvmm.so.1 lib/libdwxvmm.so \
         lib/libdwxfiles.so.1 lib/pkgconfig/dwxvmm.pc \
         lib/cmake/dwxvmm/dwxvmmConfig.cmake bin/vmmtest bin/dwxvmm \
         share/man/man1/dwxvmm.1 share/man/man5/dwxvmm-formats.5 \
         share/man/man3/libdwxvmm.3 share/bash-completion/completions/dwxvmm \
         share/zsh/site-functions/_dwxvmm \
         share/fish/vendor_completions.d/dwxvmm.fish; do
  test -e "$p/$f" || { echo "missing: $f"; exit 1; }
done
test "$(readlink "$p/lib/libdwxvmm.so")" = libdwxvmm.so.1
! grep -q "$work/first" "$p/lib/pkgconfig/dwxvmm.pc"

# A host with its own main(int, char**), built the plain way...
# shellcheck disable=SC2086
"$cxx" -std=c++17 $flags "$src/examples/host.cpp" -I"$p/include" -L"$p/lib" \
  -ldwxvmm -o "$work/host_plain"
LD_LIBRARY_PATH=$p/lib "$work/host_plain" | grep 'read "firmware v1" back' >/dev/null

# The umbrella header of the formats compiles on its own, installed.
echo '#include "gcFileSupport.h"' | "$cxx" -std=c++17 -fsyntax-only -x c++ - \
  -I"$p/include/dwxfiles" -I"$p/include"

# ...with pkg-config...
# shellcheck disable=SC2046,SC2086
"$cxx" -std=c++17 $flags "$src/examples/host.cpp" \
  $(PKG_CONFIG_PATH=$p/lib/pkgconfig pkg-config --cflags --libs dwxvmm) \
  -o "$work/host_pc"
LD_LIBRARY_PATH=$p/lib "$work/host_pc" >/dev/null

# ...and with find_package.
mkdir "$work/cm"
cat >"$work/cm/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.16)
project(host CXX)
find_package(dwxvmm REQUIRED)
add_executable(host "$src/examples/host.cpp")
target_compile_options(host PRIVATE $flags)
target_link_options(host PRIVATE $flags)
target_link_libraries(host PRIVATE dwxvmm::dwxvmm)
CMAKE
cmake -S "$work/cm" -B "$work/cm/b" -DCMAKE_PREFIX_PATH="$p" \
  -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$work/cm/b" >/dev/null
"$work/cm/b/host" >/dev/null

# The installed test program finds its libraries by its own location.
mkdir "$work/run" && cp "$src/examples/source.in" "$work/run/"
(cd "$work/run" && "$p/bin/vmmtest" 2>/dev/null)
# So does the command-line tool.
"$p/bin/dwxvmm" info "$src/examples/firmware.hex" | grep '^data bytes: *144$' >/dev/null
# So does the Python module, where the build has one.
cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
if [ "$(cached DWXVMM_PYTHON)" = ON ]; then
  env -u LD_LIBRARY_PATH PYTHONPATH="$p/$(cached DWXVMM_PYTHON_INSTALL_DIR)" \
    "$(cached Python_EXECUTABLE)" -c "import dwxvmm, sys
assert len(dwxvmm.load(sys.argv[1])) == 144" "$src/examples/firmware.hex"
  test -e "$p/$(cached DWXVMM_PYTHON_INSTALL_DIR)/dwxvmm/py.typed"
fi
echo "install tree, host builds, vmmtest, dwxvmm and the Python module: ok"
