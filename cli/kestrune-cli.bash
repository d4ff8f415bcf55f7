# bash completion for kestrune-cli. Commands and options are read from the
# program's own --help texts, so new ones complete without a change here.

_kestrune_cli_words() {
    # Indented "  name  summary" lines under "Commands:" name the commands;
    # any --option in a help text is an option.
    case $1 in
    commands) "$2" --help 2>/dev/null | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p' ;;
    options) "$2" "$3" --help 2>/dev/null | grep -oE -- '--[a-z][a-z-]*' | sort -u ;;
    esac
}

_kestrune_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local program=${COMP_WORDS[0]/#\~/$HOME} command= i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in -*) ;; *) command=${COMP_WORDS[i]}; break ;; esac
    done
    COMPREPLY=()
    if [ -z "$command" ]; then
        # shellcheck disable=SC2207
        COMPREPLY=($(compgen -W "$(_kestrune_cli_words commands "$program") --help --version" -- "$cur"))
        return
    fi
    case $prev in
    --port)
        # shellcheck disable=SC2207
        COMPREPLY=($(compgen -W "$("$program" ports 2>/dev/null | cut -d' ' -f1)" -- "$cur"))
        return ;;
    --baud)
        # shellcheck disable=SC2207
        COMPREPLY=($(compgen -W "1200 2400 4800 9600 14400 19200 38400 57600 115200" -- "$cur"))
        return ;;
    --serial-format)
        # shellcheck disable=SC2207
        COMPREPLY=($(compgen -W "u32le u32be u16le u16be u64le dec: hex:" -- "$cur"))
        [[ ${COMPREPLY[0]} == *: ]] && compopt -o nospace 2>/dev/null
        return ;;
    --origin)
        # shellcheck disable=SC2207
        COMPREPLY=($(compgen -W "lowest 0x08000000" -- "$cur"))
        return ;;
    --max-span)
        # shellcheck disable=SC2207
        COMPREPLY=($(compgen -W "256M 1G 4G" -- "$cur"))
        return ;;
    --output | --log | --serial-file)
        # shellcheck disable=SC2207
        COMPREPLY=($(compgen -f -- "$cur"))
        return ;;
    esac
    if [[ $cur == -* ]]; then
        # shellcheck disable=SC2207
        COMPREPLY=($(compgen -W "$(_kestrune_cli_words options "$program" "$command")" -- "$cur"))
    elif [ "$command" = help ]; then
        # shellcheck disable=SC2207
        COMPREPLY=($(compgen -W "$(_kestrune_cli_words commands "$program")" -- "$cur"))
    else
        # shellcheck disable=SC2207
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -o filenames -F _kestrune_cli kestrune-cli kestrune-cli.exe
