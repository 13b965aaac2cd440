# SPDX-License-Identifier: GPL-3.0-or-later
# bash completion for lumocompress-cli: its options, the values each one takes, and the
# videos, images and folders it compresses. Needs nothing from the bash-completion package,
# which loads this file the first time lumocompress-cli is completed.

# The extensions the command line takes, each all in lower or all in upper case.
_lumocompress_cli_extensions='mp4 flv wmv avi mov mkv m4v f4v ts mts rm rmvb m3u8 webm mpg mpeg
asf dat 3gp 3g2 vob ogv divx mxf bmp jpg png gif webp heic heif avif tif tiff'

# Folders, and the files whose extension the command line takes, that start with $1.
_lumocompress_cli_paths()
{
    local path extension IFS=$'\n'
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -d -- "$1"))
    for path in $(compgen -f -- "$1"); do
        [[ -d $path || $path != *.* ]] && continue
        extension=${path##*.}
        [[ $extension == "${extension,,}" || $extension == "${extension^^}" ]] || continue
        [[ " ${_lumocompress_cli_extensions//$'\n'/ } " == *" ${extension,,} "* ]] &&
            COMPREPLY+=("$path")
    done
}

_lumocompress_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev= i
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    # "--option=value": bash splits the word at "=" (COMP_WORDBREAKS), or leaves it whole.
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    elif [[ $cur == --*=* ]]; then
        prev=${cur%%=*}
        cur=${cur#*=}
    fi
    # After "--" every word is a path.
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} == -- ]]; then
            _lumocompress_cli_paths "$cur"
            return
        fi
    done

    local values=
    case $prev in
        --video-strength | --image-strength) values='general deep limit' ;;
        --container) values='keep mp4 flv mov mkv' ;;
        --resolution)
            values='keep 1920x1080 1280x720 1024x600 800x600 720x576 720x480 640x480 640x360
                    480x360 480x272 352x288 320x240'
            ;;
        --bitrate-percent) values='off 10 20 30 40 50 60 70 80 90' ;;
        --video-codec) values='h264 h265 av1' ;;
        --video-mode) values='bitrate quality' ;;
        --audio-channels) values='1 2' ;;
        --audio-rate)
            values='96000 88200 64000 48000 44100 32000 24000 22050 16000 12000 11025 8000 7350'
            ;;
        --audio-bitrate) values='320000 128000 96000 64000' ;;
        --image-format) values='keep jpg webp avif' ;;
        --scale) values='0 1 2 3 4 5' ;;
        --size) values='none' ;;
        --max-size) values='none 500K 1M 10M 25M 100M 1G' ;;
        --place) values='flat tree beside in-place' ;;
        --suffix) values='_small' ;;
        --gif-drop) values='off 0 1 2 3 4' ;;
        --image-workers) values=$(seq 1 "$(nproc 2>/dev/null || echo 8)") ;;
        --output)
            compopt -o filenames 2>/dev/null
            local IFS=$'\n'
            COMPREPLY=($(compgen -d -- "$cur"))
            return
            ;;
    esac
    if [[ -n $values ]]; then
        COMPREPLY=($(compgen -W "$values" -- "$cur"))
        return
    fi

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--video-strength --container --resolution --bitrate-percent
            --balanced --compatible --video-codec --video-mode --two-pass --keep-tracks --audio-channels
            --audio-rate --audio-bitrate --image-strength --image-format --scale --size
            --gif-drop --image-workers --output --skip-larger --look --max-size --keep-dates --keep-photo-info --keep-location -r --recursive --json --quiet --dry-run --verbose
            --place --suffix
            -h --help --version --' -- "$cur"))
        return
    fi
    _lumocompress_cli_paths "$cur"
}

complete -F _lumocompress_cli lumocompress-cli
