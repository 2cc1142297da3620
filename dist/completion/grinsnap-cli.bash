# bash completion for grinsnap-cli                           -*- shell-script -*-
# Completes the commands, each command's options, the values of --format, the
# template names of the library (grinsnap-cli list --names) as a command's
# first argument, folders for the options that name one, and files elsewhere.

_grinsnap_cli() {
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=""
    [[ $COMP_CWORD -gt 0 ]] && prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    local commands="list apply batch gallery classes faces pack install"
    if [[ $COMP_CWORD -eq 1 ]]; then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi

    local command=${COMP_WORDS[1]}
    local effect="--output --size --seed --var1 --var2 --var3 --roi --pick --quality --force --strip --help"
    local options
    case $command in
        list) options="--all --names --help" ;;
        apply) options="$effect --format --gif --gif-delay" ;;
        batch) options="$effect --format --jobs --recursive --skip-existing --gif --gif-delay" ;;
        gallery) options="--output --all --seed --force --help" ;;
        classes) options="--help" ;;
        faces) options="--json --mark --force --help" ;;
        pack) options="--output --force --help" ;;
        install) options="--template --help" ;;
        help | --help | -h) COMPREPLY=($(compgen -W "$commands" -- "$cur")); return ;;
        *) return ;;
    esac

    case $prev in
        --format)
            COMPREPLY=($(compgen -W "jpg png bmp webp tif" -- "$cur"))
            return ;;
        --size | --seed | --var1 | --var2 | --var3 | --roi | --pick | --quality | --jobs | --gif-delay)
            return ;;
        --template)
            local IFS=$'\n'
            COMPREPLY=($(compgen -W "$("${COMP_WORDS[0]}" list --all --names 2>/dev/null)" -- "$cur"))
            return ;;
        -o | --output)
            compopt -o filenames 2>/dev/null
            if [[ $command == batch || $command == gallery ]]; then
                COMPREPLY=($(compgen -d -- "$cur"))
            else
                COMPREPLY=($(compgen -f -- "$cur"))
            fi
            return ;;
        --mark)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    # The first word after apply or batch is the template: a name from the
    # library, quoted as one word, or the path of a template document.
    local i positional=0
    for ((i = 2; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            --size | --seed | --var1 | --var2 | --var3 | --roi | --pick | --quality | --jobs | --gif-delay | --format | \
                -o | --output | --mark | --template) ((i++)) ;;
            -*) ;;
            *) ((positional++)) ;;
        esac
    done
    if [[ ($command == apply || $command == batch) && $positional -eq 0 ]]; then
        # What was typed, without an opening quote or backslashes; bash quotes
        # the name it inserts (the filenames option below).
        local name typed=${cur#[\"\']} IFS=$'\n'
        typed=${typed//\\/}
        for name in $("${COMP_WORDS[0]}" list --names 2>/dev/null); do
            [[ ${name,,} == "${typed,,}"* ]] && COMPREPLY+=("$name")
        done
    fi
    compopt -o filenames 2>/dev/null
    local IFS=$'\n'
    COMPREPLY+=($(compgen -f -- "$cur"))
}
complete -F _grinsnap_cli grinsnap-cli
