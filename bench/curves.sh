#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The curve benchmark: each video choice of lumocompress-cli against the best of the usual
# encoder curves at the same look. Two clips are made here: a camera-like one (fine texture
# with grain, panning) and a screen-like one (scrolling text on flat colours). For each, the
# x264 veryfast / medium / slow and x265 medium curves over CRF are measured (bytes, luma SSIM
# against the source, CPU seconds of the encoder), then every choice. A choice's "x best" is its
# bytes over the lowest curve's bytes at its SSIM (log bytes interpolated linearly in SSIM);
# "x x264" the same against the x264 curves only; "x CPU" its CPU time (user + system of
# lumocompress-cli and its children) over x264 medium's at its SSIM.
# Usage: bench/curves.sh BUILD_DIR [SECONDS, default 3] [WIDTHxHEIGHT, default 1280x720]
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: bench/curves.sh BUILD_DIR [SECONDS] [WxH]" >&2; exit 2; }
build=$(cd "$1" 2>/dev/null && pwd) || { echo "curves.sh: no build folder $1" >&2; exit 2; }
seconds=${2:-3}
size=${3:-1280x720}
cli=$build/lumocompress-cli
[ -x "$cli" ] || { echo "curves.sh: $cli is not built" >&2; exit 2; }
for tool in ffmpeg ffprobe convert awk; do
  command -v "$tool" >/dev/null || { echo "curves.sh: $tool is missing (run make deps)" >&2; exit 2; }
done
font=/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf
[ -r "$font" ] || { echo "curves.sh: $font is missing (run make deps)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/.config" "$work/home/.cache" "$work/src"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
src=$work/src
width=${size%x*}
height=${size#*x}

# The clips, without sound so that only video bytes are compared. Camera: a plasma fractal
# (detail at every scale) panning, with temporal grain, kept at a camera's high rate. Screen:
# source code scrolling in a window with a title bar and a side panel.
convert -seed 5 -size "$((width * 3 / 2))x$((height * 3 / 2))" plasma:fractal "$work/plasma.png"
ffmpeg -nostdin -v error -y -loop 1 -framerate 30 -i "$work/plasma.png" -t "$seconds" \
  -vf "crop=$width:$height:x='t*150':y='t*80',noise=alls=3:allf=t,format=yuv420p" \
  -c:v libx264 -preset veryfast -crf 14 "$src/camera.mp4"
here=$(cd "$(dirname "$0")/.." && pwd)
# (sed reads to the end, where head would end the pipe early and fail it under pipefail)
mapfile -t sources < <(find "$here/src" -name '*.cpp' | sort | sed -n 1,8p)
cat "${sources[@]}" | expand | cut -c1-110 | sed -n 1,600p >"$work/text.txt"
ffmpeg -nostdin -v error -y -f lavfi -i "color=c=0xf4f4f4:size=$size:rate=30:duration=$seconds" \
  -vf "drawtext=fontfile=$font:textfile=$work/text.txt:expansion=none:fontsize=$((height / 48)):fontcolor=0x202020:x=60:y=40-t*140:line_spacing=3,drawbox=x=0:y=0:w=iw:h=32:color=0x3050a0:t=fill,drawbox=x=0:y=0:w=48:h=ih:color=0xd8d8d8:t=fill,format=yuv420p" \
  -c:v libx264 -preset medium -crf 8 "$src/screen.mp4"

ssim() {
  ffmpeg -nostdin -i "$1" -i "$2" -lavfi "[0:v]format=gray[x];[1:v]format=gray[y];[x][y]ssim" \
    -f null - 2>&1 | grep -o 'All:[0-9.]*' | tail -n 1 | cut -d: -f2
}
# CPU seconds (user + system) of a command and its children, from the shell's own "times".
cpu() {
  ( "$@" >/dev/null 2>"$work/stderr" || { cat "$work/stderr" >&2; exit 1; }; times ) | tail -n 1 |
    awk '{ n = 0; for (i = 1; i <= 2; i++) { split($i, p, "m"); n += p[1] * 60 + p[2] } print n }'
}
points=$work/points  # lines: clip curve ssim bytes cpu

curve() {  # clip, curve name, encoder, preset, CRF...
  local clip=$1 name=$2 encoder=$3 preset=$4 out=$work/curve.mp4 seconds_cpu crf
  shift 4
  for crf in "$@"; do
    local extra=()
    [ "$encoder" = libx265 ] && extra=(-x265-params log-level=error)
    seconds_cpu=$(cpu ffmpeg -nostdin -v error -y -i "$src/$clip.mp4" -c:v "$encoder" -preset "$preset" \
      -crf "$crf" "${extra[@]}" "$out")
    echo "$clip $name $(ssim "$out" "$src/$clip.mp4") $(stat -c %s "$out") $seconds_cpu" >>"$points"
  done
}

choices=(
  "h264 bit rate, kept container|--video-strength general"
  "h264 two-pass general, kept container|--two-pass --video-strength general"
  "h264 two-pass general|--container mp4 --two-pass --video-strength general"
  "h264 two-pass deep|--container mp4 --two-pass --video-strength deep"
  "h264 quality general|--container mp4 --video-mode quality --video-strength general"
  "h264 quality deep|--container mp4 --video-mode quality --video-strength deep"
  "h264 quality limit|--container mp4 --video-mode quality --video-strength limit"
  "h264 quality general, balanced|--container mp4 --video-mode quality --balanced --video-strength general"
  "h265 bit rate general|--container mp4 --video-codec h265 --video-strength general"
  "h265 bit rate deep|--container mp4 --video-codec h265 --video-strength deep"
  "h265 quality general|--container mp4 --video-codec h265 --video-mode quality --video-strength general"
  "h265 quality deep|--container mp4 --video-codec h265 --video-mode quality --video-strength deep"
  "h265 quality limit|--container mp4 --video-codec h265 --video-mode quality --video-strength limit"
  "h265 two-pass general|--container mp4 --video-codec h265 --two-pass --video-strength general"
  "av1 bit rate general|--container mp4 --video-codec av1 --video-strength general"
  "av1 quality general|--container mp4 --video-codec av1 --video-mode quality --video-strength general"
  "av1 quality deep|--container mp4 --video-codec av1 --video-mode quality --video-strength deep"
  "av1 quality limit|--container mp4 --video-codec av1 --video-mode quality --video-strength limit"
)
ours=$work/ours  # lines: clip|choice|ssim|bytes|cpu

for clip in camera screen; do
  crfs=(14 18 22 26 30 36)
  [ "$clip" = screen ] && crfs=(16 24 32 40 46 51)
  curve "$clip" "x264 veryfast" libx264 veryfast "${crfs[@]}"
  curve "$clip" "x264 medium" libx264 medium "${crfs[@]}"
  curve "$clip" "x264 slow" libx264 slow "${crfs[@]}"
  curve "$clip" "x265 medium" libx265 medium "${crfs[@]}"
  for choice in "${choices[@]}"; do
    label=${choice%%|*}
    read -r -a options <<<"${choice#*|}"
    rm -rf "$work/out"
    seconds_cpu=$(cpu "$cli" --json --output "$work/out" "${options[@]}" "$src/$clip.mp4")
    out=$(find "$work/out" -type f | sed -n 1p)
    if [ -z "$out" ]; then
      echo "$clip|$label|-|-|$seconds_cpu" >>"$ours"
      continue
    fi
    echo "$clip|$label|$(ssim "$out" "$src/$clip.mp4")|$(stat -c %s "$out")|$seconds_cpu" >>"$ours"
  done
done

printf '%s: %s, %s s at 30 frames a second; source %s bytes (camera), %s bytes (screen)\n' \
  "clips" "$size" "$seconds" "$(stat -c %s "$src/camera.mp4")" "$(stat -c %s "$src/screen.mp4")"
echo
echo "| Clip | Curve | SSIM | Bytes | CPU s |"
echo "|---|---|---|---|---|"
awk '{ printf "| %s | %s %s | %.4f | %d | %.2f |\n", $1, $2, $3, $4, $5, $6 }' "$points"
echo
echo "| Clip | Choice | SSIM | Bytes | CPU s | x best | x x264 | x CPU |"
echo "|---|---|---|---|---|---|---|---|"
# For each curve, the points in SSIM order; a value at SSIM s is interpolated between the two
# points around s (log bytes, linear CPU), or extrapolated from the nearest two, marked "~".
awk -v points="$points" '
  function at(clip, name, s, what,    k, n, i, lo, hi, x0, x1, y0, y1) {
    k = clip SUBSEP name; n = count[k]
    if (n < 2) return -1
    lo = 1
    for (i = 1; i < n; i++) if (ss[k, i + 1] <= s) lo = i + 1
    if (lo >= n) lo = n - 1
    hi = lo + 1
    if (s < ss[k, 1] || s > ss[k, n]) outside = 1
    x0 = ss[k, lo]; x1 = ss[k, hi]
    y0 = (what == "bytes") ? log(by[k, lo]) : cp[k, lo]
    y1 = (what == "bytes") ? log(by[k, hi]) : cp[k, hi]
    if (x1 == x0) return (what == "bytes") ? exp(y0) : y0
    y = y0 + (y1 - y0) * (s - x0) / (x1 - x0)
    return (what == "bytes") ? exp(y) : y
  }
  BEGIN {
    FS = " "
    while ((getline line < points) > 0) {
      split(line, f, " "); clip = f[1]; name = f[2] " " f[3]
      k = clip SUBSEP name
      if (!(k in count)) { count[k] = 0; names[clip] = names[clip] "|" name }
      n = ++count[k]; ss[k, n] = f[4]; by[k, n] = f[5]; cp[k, n] = f[6]
    }
    # Sort each curve by SSIM (insertion sort: a handful of points).
    for (k in count) {
      n = count[k]
      for (i = 2; i <= n; i++) {
        for (j = i; j > 1 && ss[k, j - 1] > ss[k, j]; j--) {
          t = ss[k, j]; ss[k, j] = ss[k, j - 1]; ss[k, j - 1] = t
          t = by[k, j]; by[k, j] = by[k, j - 1]; by[k, j - 1] = t
          t = cp[k, j]; cp[k, j] = cp[k, j - 1]; cp[k, j - 1] = t
        }
      }
    }
    FS = "|"
  }
  {
    clip = $1; choice = $2; s = $3; b = $4; c = $5
    if (s == "-") { printf "| %s | %s | - | source kept | %.2f | - | - | - |\n", clip, choice, c; next }
    best = -1; best264 = -1
    m = split(substr(names[clip], 2), list, "|")
    for (i = 1; i <= m; i++) {
      outside = 0
      v = at(clip, list[i], s, "bytes")
      if (v > 0 && (best < 0 || v < best)) { best = v; mark = outside ? "~" : "" }
      if (list[i] ~ /^x264/ && v > 0 && (best264 < 0 || v < best264)) {
        best264 = v; mark264 = outside ? "~" : ""
      }
    }
    outside = 0
    medium = at(clip, "x264 medium", s, "cpu")
    cmark = outside ? "~" : ""
    printf "| %s | %s | %.4f | %d | %.2f | %s%.2f | %s%.2f | %s%.2f |\n", clip, choice, s, b, c,
           mark, b / best, mark264, b / best264, cmark, (medium > 0 ? c / medium : 0)
  }' "$ours"
