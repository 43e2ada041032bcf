# bash completion for quillmoor-cli
_quillmoor_cli() {
    local cur prev command i
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    command=
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        encrypt | decrypt | test | wipe | md5 | keygen) command=${COMP_WORDS[i]}; break ;;
        esac
    done

    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W 'encrypt decrypt test wipe md5 keygen --help --version' -- "$cur"))
        return
    fi

    case $prev in
    --key-env | --password-env)
        COMPREPLY=($(compgen -v -- "$cur"))
        return ;;
    --key-file | --password-file | -o | --output | --files-from)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$cur"))
        return ;;
    -j | --jobs | --bytes)
        return ;;
    esac

    local options
    case $command in
    encrypt) options='--key-env --key-file --password-env --password-file --output --stdout --force --no-clobber --jobs --files-from --null --quiet --help' ;;
    decrypt) options='--key-env --key-file --password-env --password-file --output --stdout --force --no-clobber --jobs --lenient --files-from --null --quiet --help' ;;
    test) options='--key-env --key-file --password-env --password-file --files-from --null --quiet --help' ;;
    wipe) options='--yes --remove --files-from --null --quiet --help' ;;
    md5) options='--help' ;;
    keygen) options='--bytes --output --quiet --help' ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    elif [[ $command != md5 && $command != keygen ]]; then
        compopt -o filenames 2>/dev/null
        if [[ $command == decrypt || $command == test ]]; then
            COMPREPLY=($(compgen -f -X '!*.[bB][fF]' -- "$cur") $(compgen -d -- "$cur"))
        else
            COMPREPLY=($(compgen -f -- "$cur"))
        fi
    fi
}
complete -F _quillmoor_cli quillmoor-cli
