# SPDX-License-Identifier: GPL-3.0-or-later
# fish completion for lumocompress-cli: its options and the values each one takes; the
# arguments after them are files and folders.

set -l cmd lumocompress-cli

# Videos.
complete -c $cmd -l video-strength -x -a 'general deep limit' -d 'Video strength: 50, 30 or 10 % of the bit rate kept'
complete -c $cmd -l container -x -a 'keep mp4 flv mov mkv' -d 'Output container'
complete -c $cmd -l resolution -x -a 'keep 1920x1080 1280x720 1024x600 800x600 720x576 720x480 640x480 640x360 480x360 480x272 352x288 320x240' -d 'Output picture size'
complete -c $cmd -l bitrate-percent -x -a off -d 'Keep 100-N % of the video bit rate, in place of the strength'
complete -c $cmd -l balanced -d 'Encoder preset "fast" instead of "ultrafast"'
complete -c $cmd -l compatible -d 'MPEG-4 Part 2 instead of H.264 in new mp4 outputs'
complete -c $cmd -l video-codec -x -a 'h264 h265 av1' -d 'Video encoder of new mp4 and mkv outputs'
complete -c $cmd -l video-mode -x -a 'bitrate quality' -d 'A share of the bit rate, or a constant quality'
complete -c $cmd -l two-pass -d 'Two passes for the same bit rate'
complete -c $cmd -l keep-tracks -d 'Keep every audio track, the subtitles, chapters and metadata'
complete -c $cmd -l audio-channels -x -a '1 2' -d 'Audio channels of a new container'
complete -c $cmd -l audio-rate -x -a '96000 88200 64000 48000 44100 32000 24000 22050 16000 12000 11025 8000 7350' -d 'Audio sample rate of a new container'
complete -c $cmd -l audio-bitrate -x -a '320000 128000 96000 64000' -d 'Audio bit rate of a new container'

# Images.
complete -c $cmd -l image-strength -x -a 'general deep limit' -d 'Image compression strength'
complete -c $cmd -l image-format -x -a 'keep jpg webp avif' -d 'Output format of images'
complete -c $cmd -l scale -x -a '0 1 2 3 4 5' -d 'Keep 100, 90, 80, 70, 60 or 50 % of the width'
complete -c $cmd -l size -x -a none -d 'Fit every image within WxH pixels'
complete -c $cmd -l gif-drop -x -a 'off 0 1 2 3 4' -d 'Drop every 6th, 5th, 4th, 3rd or 2nd GIF frame'
complete -c $cmd -l image-workers -x -d 'Images compressed at once, 1 to 64'

# Output.
complete -c $cmd -l output -x -a '(__fish_complete_directories (commandline -ct))' -d 'Folder the compressed files go to'
complete -c $cmd -l place -x -a 'flat tree beside in-place' -d 'Where outputs go'
complete -c $cmd -l suffix -x -a '_small' -d 'What --place beside adds to the name'
complete -c $cmd -l skip-larger -d 'Keep no output that is not smaller than its source'
complete -c $cmd -l look -d 'Same look, smallest file'
complete -c $cmd -l max-size -x -a 'none 500K 1M 10M 25M 100M 1G' -d 'Every output fits under this size (K, M, G: 1024-based)'
complete -c $cmd -l keep-dates -d "The output takes its source's file times"
complete -c $cmd -l keep-photo-info -d "An image keeps its source's EXIF, XMP and text, without the location"
complete -c $cmd -l keep-location -d 'With --keep-photo-info, keep the location too'
complete -c $cmd -s r -l recursive -d 'Also scan the subfolders of a folder'
complete -c $cmd -l json -d 'Print one JSON object per finished file'
complete -c $cmd -l quiet -d 'Print only failures'
complete -c $cmd -l dry-run -d 'Print what would be written where, and write nothing'
complete -c $cmd -l verbose -d 'Print the diagnostic lines on stderr'

# Other.
complete -c $cmd -s h -l help -d 'Print the options and exit'
complete -c $cmd -l version -d 'Print the version and exit'
