#!/usr/bin/env bash
# Mutation testing: plants one small fault at a time in a copy of the
# libraries and the command-line tool (a flipped comparison, an off-by-one, a dropped accounting call or message,
# a wrong bitmap bit, an inverted result), rebuilds, runs the test suite and
# counts the fault as found when a test fails. The sample is drawn from a
# fixed seed and keyed on the mutated text, not on line numbers, so an edit
# elsewhere in a file does not change which faults are planted.
# Usage: scripts/mutate.sh [COUNT (default 50)] [SEED (default 1)]
# MUTATE_DIRS plants only in these folders (blank-separated, with their
# subfolders; default: every library folder and cli), and MUTATE_EXCLUDE is
# the ctest -E pattern of tests that do not count (default "packaging"), so
#   MUTATE_DIRS=files MUTATE_EXCLUDE='packaging|^cli' scripts/mutate.sh 40
# scores the file library's own tests, the tool's end-to-end table left out.
# Prints every surviving fault and a closing "mutation score" line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
count=${1:-50}
seed=${2:-1}
dirs=${MUTATE_DIRS:-core tree page models tools files cli}
exclude=${MUTATE_EXCLUDE:-packaging}
"$root/scripts/deps.sh"
"$root/scripts/deps.sh" clang libclang-rt-dev python3
"$root/scripts/deps.sh" srecord python3-intelhex  # the formats' peers

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git -C "$root" ls-files -z | (cd "$root" && xargs -0 cp --parents -t "$work")
cmake -S "$work" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDWXVMM_IPO=OFF -DDWXVMM_INSTALL=OFF >/dev/null
cmake --build "$work/build" -j "$(nproc)" >/dev/null
ctest --test-dir "$work/build" -j "$(nproc)" -E "$exclude" >/dev/null ||
  { echo "mutate: the suite fails without a mutant"; exit 1; }

# One mutant a line: file, line number, replacement line (tab-separated).
python3 - "$work" "$count" "$seed" "$dirs" >"$work/mutants" <<'PY'
import hashlib, os, re, sys
work, count, seed, dirs = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
swaps = [(" < ", " <= "), (" <= ", " < "), (" > ", " >= "), (" >= ", " > "),
         (" == ", " != "), (" != ", " == "), (" && ", " || "),
         (" || ", " && "), (" + 1", ""), (" - 1", ""), ("0x80", "0x40"),
         (">> 3", ">> 2"), ("& 7", "& 3"), ("return true;", "return false;"),
         ("return false;", "return true;"), ("++", "--")]
drops = re.compile(r"\b(notify\w+|reportLine|reportAddress)\(")
files = sorted(os.path.relpath(os.path.join(top, f), work)
               for d in dirs.split() for top, _, names in
               os.walk(os.path.join(work, d)) for f in names
               if f.endswith(".cpp"))
mutants = []
for path in files:
    for n, line in enumerate(open(os.path.join(work, path)), 1):
        code = line.split("//")[0]
        if code.lstrip().startswith(("#", "*")) or not code.strip():
            continue
        for old, new in swaps:
            at = code.find(old)
            while at >= 0:
                mutants.append((path, n, line[:at] + new + line[at + len(old):]))
                at = code.find(old, at + 1)
        m = drops.search(code)
        if m and code.rstrip().endswith(";") and "=" not in code[:m.start()]:
            mutants.append((path, n, line[:m.start()] + "(void)(" +
                            line[m.end():]))
key = lambda m: hashlib.sha1((seed + m[0] + m[2]).encode()).hexdigest()
for path, n, text in sorted(mutants, key=key):
    print(f"{path}\t{n}\t{text.rstrip()}")
PY

tried=0 found=0 broken=0
while IFS=$'\t' read -r path n text && [ "$tried" -lt "$count" ]; do
  file=$work/$path
  cp "$file" "$work/original"
  awk -v n="$n" -v t="$text" 'NR == n { print t; next } { print }' \
    "$work/original" >"$file"
  if ! cmake --build "$work/build" -j "$(nproc)" >/dev/null 2>&1; then
    broken=$((broken + 1))  # does not compile: not a fault a test could find
  else
    tried=$((tried + 1))
    if ctest --test-dir "$work/build" -j "$(nproc)" -E "$exclude" \
        --timeout 60 --stop-on-failure >/dev/null 2>&1; then
      echo "survived: $path:$n: $(sed -n "${n}p" "$work/original" |
        sed 's/^ *//') -> $(echo "$text" | sed 's/^ *//')"
    else
      found=$((found + 1))
    fi
  fi
  cp "$work/original" "$file"
done <"$work/mutants"
echo "mutation score: $found of $tried found ($((100 * found / tried)) %)," \
  "seed $seed, $broken more did not compile"
