#!/usr/bin/env bash
# Builds the Debian packages libdwxvmm1, libdwxvmm-dev, dwxvmm and
# python3-dwxvmm (packaging/README.md) in a Release build of their own
# (build/package, or $1) and says where they are.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/package}
"$root/scripts/deps.sh"
"$root/scripts/deps.sh" dpkg-dev file scdoc
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_TESTING=OFF -DDWXVMM_PACKAGE=ON -DDWXVMM_PYTHON=ON \
  -DCMAKE_INSTALL_PREFIX=/usr "${launcher[@]}" >/dev/null
cmake --build "$build"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/*.deb
