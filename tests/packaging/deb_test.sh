#!/usr/bin/env bash
# The Debian packages of scripts/package.sh: lintian finds no error in any,
# each declares what it needs, and unpacked into a scratch root the tool,
# a host program built against the development files and the Python module
# run from there. Usage: deb_test.sh SOURCE_DIR PACKAGE_BUILD_DIR. Exit 77
# (skipped) without lintian, a failure under CI=true.
set -euo pipefail
src=$1 build=$2
command -v lintian >/dev/null || {
  echo "lintian missing (scripts/deps.sh lintian)"
  [ "${CI:-}" = true ] && exit 1 || exit 77
}
"$src/scripts/package.sh" "$build" >"$build.log" 2>&1 ||
  { tail -n 30 "$build.log"; exit 1; }
version=$(sed -nE 's/^project\(dwxvmm VERSION ([0-9.]+).*/\1/p' "$src/CMakeLists.txt")
debs=()
for name in libdwxvmm1 libdwxvmm-dev dwxvmm python3-dwxvmm; do
  debs+=("$build/${name}_${version}-1_$(dpkg --print-architecture).deb")
done
ls "${debs[@]}" >/dev/null

lint=$(lintian --tag-display-limit 0 "${debs[@]}" 2>&1 | grep -v 'root privileges' || true)
echo "$lint"
! grep -q '^E:' <<<"$lint"

depends() { dpkg-deb -f "$build/$1_${version}-1_"*.deb Depends; }
depends libdwxvmm1 | grep 'libgcrypt20' >/dev/null  # opened at run time: by hand
depends libdwxvmm1 | grep 'libelf1' >/dev/null
depends libdwxvmm-dev | grep "libdwxvmm1 (= $version-1)" >/dev/null
depends dwxvmm | grep "libdwxvmm1 (= $version-1)" >/dev/null
depends python3-dwxvmm | grep 'python3 (>= 3' >/dev/null

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$root"; done
export LD_LIBRARY_PATH=$root/usr/lib  # in place of /usr/lib
"$root/usr/bin/dwxvmm" info "$src/examples/firmware.hex" | grep '^data bytes: *144$' >/dev/null
for page in man1/dwxvmm.1 man5/dwxvmm-formats.5 man3/libdwxvmm.3; do
  MANWIDTH=80 man -l "$root/usr/share/man/$page.gz" | grep NAME >/dev/null
done
test -s "$root/usr/share/bash-completion/completions/dwxvmm"
# shellcheck disable=SC2046
g++ -std=c++17 "$src/examples/host.cpp" -o "$root/host" \
  $(PKG_CONFIG_PATH=$root/usr/lib/pkgconfig pkg-config --cflags --libs dwxvmm)
"$root/host" | grep 'read "firmware v1" back' >/dev/null
PYTHONPATH=$root/usr/lib/python3/dist-packages /usr/bin/python3 -c "import dwxvmm, sys
assert len(dwxvmm.load(sys.argv[1])) == 144" "$src/examples/firmware.hex"
test -e "$root/usr/lib/python3/dist-packages/dwxvmm/py.typed"
echo "packages: lintian clean of errors, tool, host and module run from them"
