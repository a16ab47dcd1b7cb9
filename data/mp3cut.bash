# bash completion for mp3cut: its commands, then each command's options; files elsewhere.
_mp3cut()
{
    local cur prev command
    cur="${COMP_WORDS[COMP_CWORD]}"
    prev="${COMP_WORDS[COMP_CWORD-1]}"
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "info cut split chapters verify --version --help" -- "$cur"))
        return
    fi
    command="${COMP_WORDS[1]}"
    case "$prev" in
        -d)
            COMPREPLY=($(compgen -d -- "$cur"))
            return ;;
        --cue)
            COMPREPLY=($(compgen -f -X '!*.[cC][uU][eE]' -- "$cur"))
            return ;;
        -o|--labels|--titles|--export-labels|--export-cue)
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        -n|--at|--every|--parts|--size|--title|--artist|--album|--year|--comment|--genre|\
        --threshold|--min-silence|--min-part|--adjust|--jobs|--from|--gain|--fade-in|--fade-out)
            return ;; # a value of the user's own
    esac
    local level="--gain --fade-in --fade-out --normalize --replaygain"
    local options
    case "$command" in
        info) options="--json" ;;
        cut) options="-o --frames --no-tags --force --jobs --dry-run --json $level" ;;
        split) options="--at --every --parts --size --silence --cue --chapters --labels
                        --export-labels --export-cue -d -n --threshold --min-silence --min-part
                        --trim --adjust --title --artist --album --year --comment --genre
                        --frames --no-tags --force --quiet --jobs --dry-run --json
                        --normalize-album $level" ;;
        chapters) options="--at --every --parts --size --silence --cue --chapters --labels
                           --from-parts --titles -o --force --json" ;;
        verify) options="--from --json" ;;
    esac
    if [[ "$cur" == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    else
        COMPREPLY=($(compgen -f -X '!*.[mM][pP][23]' -- "$cur") $(compgen -d -- "$cur"))
    fi
}
complete -o filenames -F _mp3cut mp3cut
