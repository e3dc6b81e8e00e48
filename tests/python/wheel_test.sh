#!/usr/bin/env bash
# The wheel as users build it (Debian's python3-build, offline) installs into
# a fresh virtual environment, and mypy run against that environment reads
# the module's types from it (PEP 561), not "missing library stubs".
# Usage: wheel_test.sh SOURCE_DIR. Exit 77 (skipped) without the tools,
# a failure under CI=true.
set -euo pipefail
src=$1
py=/usr/bin/python3
for m in build venv mypy; do
  "$py" -c "import $m" 2>/dev/null && continue
  echo "python3 module $m missing (scripts/deps.sh python3-build python3-venv python3-mypy)"
  [ "${CI:-}" = true ] && exit 1 || exit 77
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The CMake tree under python/build is kept between runs: a rebuild is quick.
command -v ccache >/dev/null && export CMAKE_CXX_COMPILER_LAUNCHER=ccache
"$py" -m build --no-isolation --wheel --outdir "$work/dist" "$src/python" \
  >"$work/build.log" 2>&1 || { tail -n 30 "$work/build.log"; exit 1; }
version=$(sed -nE 's/^project\(dwxvmm VERSION ([0-9.]+).*/\1/p' "$src/CMakeLists.txt")
wheel=$(ls "$work"/dist/dwxvmm-"$version"-*.whl)
# grep reads to the end: under pipefail a grep -q that quits early may kill
# the writer with SIGPIPE, a silent and random failure.
unzip -l "$wheel" | grep 'dwxvmm/py.typed' >/dev/null

"$py" -m venv "$work/venv"
"$work/venv/bin/pip" install -q --no-index "$wheel"
cd "$work"  # nothing of the clone on the path
"$work/venv/bin/python" -c "import dwxvmm, sys
assert dwxvmm.__version__ == sys.argv[1], dwxvmm.__version__
assert len(dwxvmm.load(sys.argv[2])) == 144" "$version" "$src/examples/firmware.hex"

cat >good.py <<'PY'
import dwxvmm
img: dwxvmm.Image = dwxvmm.load("fw.hex")
first: int = img[0]
PY
cat >bad.py <<'PY'
import dwxvmm
count: int = dwxvmm.Image()
PY
mypy=("$py" -m mypy --no-incremental --python-executable "$work/venv/bin/python")
"${mypy[@]}" good.py
if "${mypy[@]}" bad.py >bad.txt; then
  echo "mypy accepted an Image as an int"; exit 1
fi
grep -q 'Incompatible types in assignment (expression has type "Image", variable has type "int")' bad.txt ||
  { cat bad.txt; exit 1; }
echo "wheel, fresh environment, mypy: ok"
