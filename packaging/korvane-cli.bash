# bash completion for korvane-cli
#
# The commands and options are read from korvane-cli's own --help, so that new ones complete
# without an edit here; the lists below are what every version has.

_korvane_cli_words() {
    # Every --option or -x that the usage text names.
    "$1" "${@:2}" --help 2>/dev/null | grep -oE '(^|[^[:alnum:]-])--?[[:alpha:]][[:alnum:]-]*' |
        sed 's/^[^-]*//'
}

_korvane_cli_serial_devices() {
    local d
    printf '%s\n' COM1 COM2 COM3 COM4
    for d in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM* /dev/serial/by-id/* /dev/serial/by-path/*; do
        [[ -e $d ]] && printf '%s\n' "$d"
    done
}

_korvane_cli_parallel_devices() {
    local d
    printf '%s\n' LPT1 LPT2
    for d in /dev/parport*; do
        [[ -e $d ]] && printf '%s\n' "$d"
    done
}

_korvane_cli() {
    local cur prev words cword split
    _init_completion -s || return

    local program=${words[0]}
    local command= i
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} != -* ]]; then
            command=${words[i]}
            break
        fi
    done

    if [[ -z $command ]]; then
        local commands
        commands="$(printf "%s\n" check send help $("$program" --help 2>/dev/null |
            sed -n 's/^ *korvane-cli \([a-z][a-z-]*\).*/\1/p') | sort -u)"
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--help --version' -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        return
    fi

    case $prev in
        --serial | -s)
            COMPREPLY=($(compgen -W "$(_korvane_cli_serial_devices)" -- "$cur"))
            return
            ;;
        --parallel | -p)
            COMPREPLY=($(compgen -W "$(_korvane_cli_parallel_devices)" -- "$cur"))
            return
            ;;
        --baud | -b)
            COMPREPLY=($(compgen -W '4800 9600 19200 38400' -- "$cur"))
            return
            ;;
        --log)
            _filedir
            return
            ;;
    esac
    $split && return

    if [[ $cur == -* ]]; then
        local options='--help'
        [[ $command == send ]] && options+=' --serial --parallel --baud --quiet'
        [[ $command == ports ]] && options+=' --open'
        options+=" $(_korvane_cli_words "$program" "$command")"
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    _filedir '@(DPX|dpx)'
}
complete -F _korvane_cli korvane-cli
