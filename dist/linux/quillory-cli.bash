# bash completion for quillory-cli: its commands and options, and the
# library's languages, categories and snippets, read from the disk by
# "quillory-cli list" itself, so --library and QUILLORY_LIBRARY apply.

_quillory_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local -a program=("${COMP_WORDS[0]}") positional=()
    local command='' word i
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]//\\/} # as typed, less the backslashes quoting spaces
        case $word in
            --library) program+=(--library "${COMP_WORDS[i + 1]//\\/}"); ((i++)) ;;
            -*) ;;
            *) if [[ -z $command ]]; then command=$word; else positional+=("$word"); fi ;;
        esac
    done
    COMPREPLY=()

    if [[ $prev == --library ]]; then
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        return
    fi
    if [[ $cur == -* ]]; then
        local options='--library --help --version'
        case $command in
            list) options+=' --all' ;;
            show) options+=' --synopsis --whole' ;;
            find) options+=' -i -F -w -l -q --json --quiet' ;;
            add) options+=' --replace' ;;
        esac
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi
    if [[ -z $command ]]; then
        mapfile -t COMPREPLY < <(compgen -W 'list show find add' -- "$cur")
        return
    fi

    # Names may hold spaces: match them unquoted, offer them quoted.
    local typed=${cur//\\/} prefix='' name
    local -a level=()
    case $command in
        list)
            ((${#positional[@]} < 2)) || return
            level=("${positional[@]}")
            ;;
        find) # after the pattern
            ((${#positional[@]} == 1 || ${#positional[@]} == 2)) || return
            level=("${positional[@]:1}")
            ;;
        show | add)
            ((${#positional[@]} == 0)) || return
            if [[ $typed == */*/* ]]; then
                prefix=${typed%/*}/
                level=("${prefix%%/*}" "${typed#*/}")
                level[1]=${level[1]%%/*}
            elif [[ $typed == */* ]]; then
                prefix=${typed%%/*}/
                level=("${prefix%/}")
            fi
            ;;
        *) return ;;
    esac
    while IFS= read -r name; do
        [[ $prefix$name == "$typed"* ]] || continue
        local offer
        printf -v offer '%q' "$prefix$name"
        # show and add build one Language/Category/Name word.
        if [[ ($command == show || $command == add) && ${#level[@]} -lt 2 ]]; then
            COMPREPLY+=("$offer/")
            compopt -o nospace 2>/dev/null
        else
            COMPREPLY+=("$offer")
        fi
    done < <("${program[@]}" list "${level[@]}" 2>/dev/null)
}
complete -F _quillory_cli quillory-cli
