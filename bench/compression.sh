#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The compression table: for each kind of source, lumocompress-cli's size ratio (output bytes /
# source bytes) and luma SSIM against the source, per strength and output format or codec,
# beside the usual stand-alone tools at their common settings; then the image batch's wall
# time with one worker and with one per core. Sources are made here, small (320x240 clips of
# 2 s, 640x480 pictures), so the whole takes a few minutes.
# Usage: bench/compression.sh BUILD_DIR
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: bench/compression.sh BUILD_DIR" >&2; exit 2; }
build=$(cd "$1" 2>/dev/null && pwd) || { echo "compression.sh: no build folder $1" >&2; exit 2; }
cli=$build/lumocompress-cli
[ -x "$cli" ] || { echo "compression.sh: $cli is not built" >&2; exit 2; }
for tool in ffmpeg convert pngquant cjpeg cwebp; do
  command -v "$tool" >/dev/null || { echo "compression.sh: $tool is missing (run make deps)" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/.config" "$work/src"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
src=$work/src

# Sources: a camera-like photo (soft shapes with sensor noise) as JPEG and PNG, a screenshot
# (flat colours and sharp edges), a 12-frame GIF, a camera-like clip (moving detail with
# noise) and a screen-recording-like clip (a still desktop with a moving counter).
convert -seed 7 -size 640x480 plasma:fractal -blur 0x2 -attenuate 0.3 +noise Gaussian \
  -quality 92 "$src/photo.jpg"
convert "$src/photo.jpg" "$src/photo.png"
convert logo: -resize '640x480!' "$src/screenshot.png"
frames=()
for i in $(seq 0 11); do frames+=( "(" -size 160x120 "plasma:fractal" -seed "$i" ")" ); done
convert -delay 10 -seed 3 "${frames[@]}" -loop 0 "$src/anim.gif"
ffmpeg -v error -y -f lavfi -i "testsrc2=size=320x240:rate=25:duration=2" \
  -vf "noise=alls=12:allf=t" -c:v libx264 -crf 16 -preset fast -pix_fmt yuv420p "$src/camera.mp4"
ffmpeg -v error -y -f lavfi -i "testsrc=size=320x240:rate=25:duration=2" \
  -c:v libx264 -crf 16 -preset fast -pix_fmt yuv420p "$src/screen.mp4"

size() { stat -c %s "$1"; }
# Luma SSIM of an output against its source, both decoded to PNG frames where ffmpeg cannot
# read the format itself.
ssim() {
  local a=$1 b=$2
  case "$b" in
    *.avif|*.heic|*.webp) convert "$b[0]" "$work/decoded.png"; b=$work/decoded.png ;;
  esac
  ffmpeg -i "$a" -i "$b" -lavfi "[0:v]format=gray[x];[1:v]format=gray[y];[x][y]ssim" \
    -f null - 2>&1 | grep -o 'All:[0-9.]*' | tail -n 1 | cut -d: -f2
}
row() {  # kind, maker, setting, source, output (empty: the source was kept as the smaller)
  if [ -z "$5" ]; then
    printf '| %s | %s | %s | 1.000 (source kept) | 1.000 |\n' "$1" "$2" "$3"
    return
  fi
  printf '| %s | %s | %s | %.3f | %s |\n' "$1" "$2" "$3" \
    "$(awk -v o="$(size "$5")" -v s="$(size "$4")" 'BEGIN { print o / s }')" "$(ssim "$4" "$5")"
}
ours() {  # output path of the one file lumocompress-cli writes for the options given
  rm -rf "$work/out"
  "$cli" --json --output "$work/out" "$@" >/dev/null
  find "$work/out" -type f 2>/dev/null | head -n 1
}

echo "| Source | Maker | Setting | Size ratio | SSIM |"
echo "|---|---|---|---|---|"
strengths=(general deep limit)
for kind in photo.jpg photo.png screenshot.png; do
  for format in keep jpg webp avif; do
    for strength in "${strengths[@]}"; do
      out=$(ours --image-strength "$strength" --image-format "$format" "$src/$kind")
      row "$kind" LumoCompress "$format $strength" "$src/$kind" "$out"
    done
  done
  convert "$src/$kind" "$work/in.ppm"
  cjpeg -optimize -progressive -quality 75 "$work/in.ppm" >"$work/cjpeg.jpg"
  row "$kind" "cjpeg -optimize -progressive" "-quality 75" "$src/$kind" "$work/cjpeg.jpg"
  cwebp -quiet -q 75 "$work/in.ppm" -o "$work/cwebp.webp" 2>/dev/null ||
    cwebp -quiet -q 75 "$src/$kind" -o "$work/cwebp.webp"
  row "$kind" cwebp "-q 75" "$src/$kind" "$work/cwebp.webp"
  if [[ $kind == *.png ]]; then
    pngquant --force --output "$work/pngquant.png" -- "$src/$kind"
    row "$kind" pngquant "defaults" "$src/$kind" "$work/pngquant.png"
  fi
done
for strength in "${strengths[@]}"; do
  out=$(ours --image-strength "$strength" "$src/anim.gif")
  row anim.gif LumoCompress "keep $strength" "$src/anim.gif" "$out"
done

for clip in camera.mp4 screen.mp4; do
  for codec in h264 h265 av1; do
    for strength in "${strengths[@]}"; do
      out=$(ours --container mp4 --video-codec "$codec" --video-strength "$strength" "$src/$clip")
      row "$clip" LumoCompress "$codec $strength" "$src/$clip" "$out"
    done
  done
  for strength in "${strengths[@]}"; do
    out=$(ours --container mp4 --video-mode quality --video-strength "$strength" "$src/$clip")
    row "$clip" LumoCompress "h264 quality $strength" "$src/$clip" "$out"
    out=$(ours --container mp4 --two-pass --video-strength "$strength" "$src/$clip")
    row "$clip" LumoCompress "h264 two-pass $strength" "$src/$clip" "$out"
  done
  for encoder in libx264 libx265; do
    for crf in 23 28; do
      ffmpeg -v error -y -i "$src/$clip" -c:v "$encoder" -crf "$crf" -c:a copy \
        $([ "$encoder" = libx265 ] && echo -x265-params log-level=error) "$work/base.mp4"
      row "$clip" "ffmpeg $encoder" "CRF $crf" "$src/$clip" "$work/base.mp4"
    done
  done
done

# The image batch: 16 pictures with one worker, then with one per core (best of two each).
mkdir -p "$work/batch"
for i in $(seq 1 8); do
  cp "$src/photo.jpg" "$work/batch/photo$i.jpg"
  cp "$src/photo.png" "$work/batch/photo$i.png"
done
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
batch() {
  local best=0 start took
  for round in 1 2; do
    rm -rf "$work/out"
    start=$(now_ms)
    "$cli" --json --image-workers "$1" --output "$work/out" "$work/batch" >/dev/null
    took=$(( $(now_ms) - start ))
    if [ "$best" -eq 0 ] || [ "$took" -lt "$best" ]; then best=$took; fi
  done
  echo "$best"
}
cores=$(nproc)
one=$(batch 1)
all=$(batch "$cores")
echo
echo "image batch of 16 (8 jpg, 8 png): one worker ${one} ms, ${cores} workers ${all} ms" \
  "($(awk -v a="$one" -v b="$all" 'BEGIN { printf "%.2f", a / b }')x)"
