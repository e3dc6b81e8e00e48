#!/usr/bin/env bash
# The completions of bash (its completion function, as readline calls it),
# fish (complete -C) and zsh (the function with compadd and friends recorded)
# offer what the tool says: format words after --format and after PATH@,
# checksum names after --checksum, the commands and a command's options.
# Usage: completion_test.sh DWXVMM SOURCE_DIR. Exit 77 (skipped) without a
# shell or bash-completion, a failure under CI=true.
set -uo pipefail
tool=$1 src=$2
for need in /usr/share/bash-completion/bash_completion /usr/bin/fish /usr/bin/zsh; do
  [ -e "$need" ] && continue
  echo "missing $need (scripts/deps.sh bash-completion fish zsh)"
  [ "${CI:-}" = true ] && exit 1 || exit 77
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" && ln -s "$tool" "$work/bin/dwxvmm"
export PATH=$work/bin:$PATH
cd "$work" && touch fw.hex fw.bin
failed=0
sorted() { tr ' ' '\n' | grep -v '^$' | sort -u; }
expect() {  # what, the words wanted, the words offered
  if [ "$(sorted <<<"$2")" != "$(sorted <<<"$3")" ]; then
    echo "FAIL $1"; diff <(sorted <<<"$2") <(sorted <<<"$3") | head -n 5
    failed=1
  fi
}
write=$(dwxvmm formats --words write | tr '\n' ' ')
read=$(dwxvmm formats --words read | tr '\n' ' ')
sums=$(dwxvmm cat --checksum-names | tr '\n' ' ')
with_at=$(for w in $read; do printf 'fw.bin@%s ' "$w"; done)
commands="info cat cmp dump map formats --help --version --verbose"
[ -n "$write" ] && [ -n "$read" ] && [ -n "$sums" ] || { echo "no words"; exit 1; }

# bash-completion takes '@' out of COMP_WORDBREAKS: PATH@ is one word.
bash_complete() {  # LINE: completes at the end of LINE
  bash -c 'source /usr/share/bash-completion/bash_completion
    source "$0"
    COMP_LINE=$1 COMP_POINT=${#1}
    read -ra COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _dwxvmm; printf "%s\n" "${COMPREPLY[@]}"' "$src/completion/dwxvmm.bash" "$@"
}
expect "bash: commands" "$commands" "$(bash_complete 'dwxvmm ')"
expect "bash: --format" "$write" "$(bash_complete 'dwxvmm cat fw.hex --format ')"
expect "bash: PATH@" "$with_at" "$(bash_complete 'dwxvmm info fw.bin@')"
expect "bash: --checksum" "$sums" "$(bash_complete 'dwxvmm info --checksum ')"
expect "bash: files" "fw.bin fw.hex" "$(bash_complete 'dwxvmm cat fw')"
bash_complete 'dwxvmm cat --fo' | grep -x -- --format >/dev/null || { echo "FAIL bash: options"; failed=1; }

fish_complete() { fish --no-config -c "source $src/completion/dwxvmm.fish
  complete -C '$1'" | cut -f1; }
expect "fish: commands" "$commands" "$(fish_complete 'dwxvmm ')"
expect "fish: --format" "$write" "$(fish_complete 'dwxvmm cat fw.hex --format ')"
expect "fish: PATH@" "$with_at" "$(fish_complete 'dwxvmm info fw.bin@')"
expect "fish: --checksum" "$sums" "$(fish_complete 'dwxvmm info --checksum ')"
expect "fish: files" "fw.bin fw.hex" "$(fish_complete 'dwxvmm cat fw')"
fish_complete 'dwxvmm cat --fo' | grep -x -- --format >/dev/null || { echo "FAIL fish: options"; failed=1; }

# zsh's completion system needs a terminal; its builtins are recorded here.
zsh_complete() {  # PREFIX, words...
  zsh -f -c 'compadd() { [[ $1 == -- ]] && shift; print -l -- "$@"; }
    _files() { print -l -- ${PREFIX}*(N); }
    compset() { PREFIX=${PREFIX##*@}; }
    PREFIX=$1; shift; words=("$@"); CURRENT=$#
    source "$0"' "$src/completion/_dwxvmm" "$@"
}
expect "zsh: commands" "$commands" "$(zsh_complete '' dwxvmm '')"
expect "zsh: --format" "$write" "$(zsh_complete '' dwxvmm cat fw.hex --format '')"
expect "zsh: PATH@" "$read" "$(zsh_complete fw.bin@ dwxvmm info fw.bin@)"
expect "zsh: --checksum" "$sums" "$(zsh_complete '' dwxvmm info --checksum '')"
expect "zsh: files" "fw.bin fw.hex" "$(zsh_complete fw dwxvmm cat fw)"
zsh_complete --fo dwxvmm cat --fo | grep -x -- --format >/dev/null || { echo "FAIL zsh: options"; failed=1; }
[ "$failed" -eq 0 ] && echo "bash, fish and zsh completions: ok"
exit "$failed"
