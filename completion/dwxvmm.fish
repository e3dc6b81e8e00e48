# fish completion for dwxvmm. Every word comes from the tool itself (its
# --help, `dwxvmm formats --words`, `dwxvmm cat --checksum-names`).
function __dwxvmm_tool
    set -l line (commandline -opc)
    echo $line[1]
end
function __dwxvmm_run  # the tool being completed, with these arguments
    set -l tool (__dwxvmm_tool)
    $tool $argv 2>/dev/null
end
function __dwxvmm_command
    for word in (commandline -opc)[2..-1]
        string match -q -- '-*' $word; or begin; echo $word; return; end
    end
    return 1
end
function __dwxvmm_options
    set -l command (__dwxvmm_command); or return
    __dwxvmm_run $command --help | string match -ar -- '--?[a-z][a-z0-9-]*' | sort -u
end
function __dwxvmm_after
    set -l line (commandline -opc)
    contains -- $line[-1] $argv
end
function __dwxvmm_at_input  # PATH@FORMAT
    __dwxvmm_command >/dev/null; and string match -q -- '*@*' (commandline -ct)
end

complete -c dwxvmm -f
complete -c dwxvmm -n 'not __dwxvmm_command' -a 'info cat cmp dump map formats --help --version --verbose'
complete -c dwxvmm -n '__dwxvmm_after --format' -x -a '(__dwxvmm_run formats --words write)'
complete -c dwxvmm -n '__dwxvmm_after --checksum' -x -a '(__dwxvmm_run cat --checksum-names)'
complete -c dwxvmm -n '__dwxvmm_at_input' -x -a '(string replace -r "@[^@]*\$" "@" -- (commandline -ct))(__dwxvmm_run formats --words read)'
complete -c dwxvmm -n '__dwxvmm_command; and string match -q -- "-*" (commandline -ct)' -x -a '(__dwxvmm_options)'
complete -c dwxvmm -n '__dwxvmm_command; and not __dwxvmm_at_input; and not __dwxvmm_after --format --checksum' -F
