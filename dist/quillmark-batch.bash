# bash completion for quillmark-batch

_quillmark_batch() {
    local cur prev words cword
    _init_completion -s || return

    case $prev in
        -s | --stamp)
            _filedir '@(bmp|gif|jp?(e)g|png|BMP|GIF|JP?(E)G|PNG)'
            return
            ;;
        -c | --config | --save-config)
            _filedir qmc
            return
            ;;
        --files-from)
            _filedir
            return
            ;;
        -o | --output | --base)
            _filedir -d
            return
            ;;
        -f | --format)
            COMPREPLY=($(compgen -W 'jpg bmp png webp avif' -- "$cur"))
            return
            ;;
        --log-format)
            COMPREPLY=($(compgen -W 'text jsonl' -- "$cur"))
            return
            ;;
        --size)
            COMPREPLY=($(compgen -W 'original 10%width 20%width 10%short 20%short' -- "$cur"))
            return
            ;;
        --align)
            # H,V: the horizontal word first, then the vertical one after the comma.
            if [[ $cur == *,* ]]; then
                COMPREPLY=($(compgen -P "${cur%%,*}," -W 'top middle bottom' -- "${cur#*,}"))
            else
                COMPREPLY=($(compgen -S , -W 'left center right' -- "$cur"))
                compopt -o nospace
            fi
            return
            ;;
        -j | --jobs)
            COMPREPLY=($(compgen -W "$(seq 1 "$(nproc 2>/dev/null || echo 4)")" -- "$cur"))
            return
            ;;
        --font)
            local IFS=$'\n'
            COMPREPLY=($(compgen -W "$(fc-list : family 2>/dev/null | cut -d, -f1 | sort -u)" -- "$cur"))
            return
            ;;
        --text-color)
            COMPREPLY=($(compgen -W 'auto 255,255,255 0,0,0' -- "$cur"))
            return
            ;;
        --feather)
            COMPREPLY=($(compgen -W "$(seq -10 10)" -- "$cur"))
            return
            ;;
        --opacity)
            COMPREPLY=($(compgen -W '25% 50% 75% 100%' -- "$cur"))
            return
            ;;
        --if-exists)
            COMPREPLY=($(compgen -W 'skip overwrite rename' -- "$cur"))
            return
            ;;
        --name)
            COMPREPLY=($(compgen -W '{name} {name}-{n} {date}-{n} {year}-{n}' -- "$cur"))
            return
            ;;
        --resize)
            COMPREPLY=($(compgen -W 'none long:2048 long:1600 short:1080 width:1200 50%' -- "$cur"))
            return
            ;;
        -q | --quality | --offset | --key | --tolerance | --angle | --tile-gap | --background | --text | --text-size)
            return
            ;;
    esac

    [[ $was_split ]] && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--config --defaults --stamp --output --format --quality
            --name --if-exists --overwrite --no-overwrite --base --preserve-headers --no-preserve-headers --align
            --offset --opacity --key --tolerance --feather --size --orientation
            --text --font --text-size --text-color --shadow --no-shadow
            --no-orientation --lossless --no-lossless --angle --tile --no-tile --tile-gap
            --tile-offset --no-tile-offset --background --resize --enlarge --no-enlarge
            --strip-location --no-strip-location --strip-metadata --no-strip-metadata --jobs --save-config --files-from
            --null --recursive --log-format --dry-run --quiet --no-progress --help
            --version' -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
        return
    fi
    _filedir
} &&
    complete -F _quillmark_batch quillmark-batch
