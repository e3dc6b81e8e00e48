# bash completion for dwxvmm. Every word comes from the tool itself (its
# --help, `dwxvmm formats --words`, `dwxvmm cat --checksum-names`), so a new
# option, format or checksum is completed the day it is built.
_dwxvmm() {
  local cur prev words cword
  _init_completion || return
  # The whole word at the cursor, '@' and all, whatever COMP_WORDBREAKS says.
  local line=${COMP_LINE:0:COMP_POINT}
  local word=${line##*[[:blank:]]}
  local tool=${words[0]} command="" i
  for ((i = 1; i < cword; i++)); do
    [[ ${words[i]} != -* ]] && { command=${words[i]}; break; }
  done
  case $prev in
    --format)
      COMPREPLY=($(compgen -W "$("$tool" formats --words write 2>/dev/null)" -- "$cur"))
      return ;;
    --checksum)
      COMPREPLY=($(compgen -W "$("$tool" cat --checksum-names 2>/dev/null)" -- "$cur"))
      return ;;
    -o | --output) _filedir; return ;;
  esac
  if [[ -z $command ]]; then
    COMPREPLY=($(compgen -W "info cat cmp dump map formats --help --version --verbose" -- "$cur"))
  elif [[ $word == *@* ]]; then
    # PATH@FORMAT: the words an input may name. Readline replaces only what
    # follows the last '@' when '@' breaks words.
    local base=${word%@*}@
    COMPREPLY=($(compgen -W "$("$tool" formats --words read 2>/dev/null)" -- "${word##*@}"))
    [[ $COMP_WORDBREAKS == *@* ]] || COMPREPLY=("${COMPREPLY[@]/#/$base}")
  elif [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$("$tool" "$command" --help 2>/dev/null |
      grep -oE -- '--?[a-z][a-z0-9-]*' | sort -u)" -- "$cur"))
  else
    _filedir
  fi
}
complete -F _dwxvmm dwxvmm
