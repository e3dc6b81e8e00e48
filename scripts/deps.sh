#!/usr/bin/env bash
# Installs, from Debian's packages, whatever of the given packages is
# missing. With no arguments: what building and testing need, the Python
# module included.
set -euo pipefail
want=("$@")
[ ${#want[@]} -gt 0 ] ||
  want=(cmake ninja-build g++ libgtest-dev pkg-config libelf-dev zlib1g-dev
    nlohmann-json3-dev libgcrypt20-dev pybind11-dev python3-dev)
missing=()
for pkg in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" ||
    missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
