#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The size fit on a varied set: lumocompress-cli --max-size on camera-like, screen-like and
# fine-detail clips (with sound) and on photos and screenshots in every output format, each
# at limits from generous to tight. For every output: its bytes over its limit; then whether
# every output is at or under its limit and the median ratio. A limit that cannot hold the
# sound must fail before anything is encoded; it is counted apart.
# Usage: bench/size-fit.sh BUILD_DIR
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: bench/size-fit.sh BUILD_DIR" >&2; exit 2; }
build=$(cd "$1" 2>/dev/null && pwd) || { echo "size-fit.sh: no build folder $1" >&2; exit 2; }
cli=$build/lumocompress-cli
[ -x "$cli" ] || { echo "size-fit.sh: $cli is not built" >&2; exit 2; }
for tool in ffmpeg convert awk; do
  command -v "$tool" >/dev/null || { echo "size-fit.sh: $tool is missing (run make deps)" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/.config" "$work/src"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
src=$work/src

# Clips of 6 s at 320x240 with a tone, nearly lossless; the engine tests' detailed clip.
clip() {  # name, lavfi source
  ffmpeg -nostdin -v error -y -f lavfi -i "$2" -f lavfi -i "sine=frequency=440:duration=6" \
    -t 6 -c:v libx264 -preset ultrafast -crf 8 -pix_fmt yuv420p -c:a aac -shortest "$src/$1.mp4"
}
clip camera "testsrc2=size=320x240:rate=25:duration=6,noise=alls=18:allf=t"
clip screen "testsrc=size=320x240:rate=25:duration=6"
clip zoom "mandelbrot=size=320x240:rate=25,trim=duration=6"
clip detail "testsrc2=size=320x240:rate=25:duration=6"
# Pictures: a camera-like photo (soft shapes with sensor noise), a screenshot, a natural one.
convert -seed 7 -size 640x480 plasma:fractal -blur 0x2 -attenuate 0.3 +noise Gaussian \
  -quality 92 "$src/photo.jpg"
convert logo: -resize '640x480!' "$src/screenshot.png"
convert rose: -resize '400%' "$src/rose.png"
convert -size 512x512 granite: "$src/granite.png"

size() { stat -c %s "$1"; }
ratios=$work/ratios
: >"$ratios"
fit() {  # file, limit in bytes, extra options...
  local file=$1 limit=$2 out
  shift 2
  rm -rf "$work/out"
  "$cli" --json --output "$work/out" --max-size "$limit" "$@" "$src/$file" >"$work/json" || true
  out=$(find "$work/out" -type f 2>/dev/null | head -n 1)
  if [ -z "$out" ]; then
    local why
    why=$(grep -o '"error": *"[^"]*"' "$work/json" | head -n 1 | cut -d'"' -f4)
    printf '| %s | %s | %s | %d | failed: %s |\n' "$file" "${*:-keep}" "$limit" 0 "$why"
    echo "failed $limit" >>"$work/failures"
    return
  fi
  local bytes
  bytes=$(size "$out")
  printf '| %s | %s | %s | %d | %.3f |\n' "$file" "${*:-}" "$limit" "$bytes" \
    "$(awk -v b="$bytes" -v l="$limit" 'BEGIN { print b / l }')"
  awk -v b="$bytes" -v l="$limit" 'BEGIN { print b / l }' >>"$ratios"
}

echo "| File | Options | Limit (bytes) | Output (bytes) | Output / limit |"
echo "|---|---|---|---|---|"
# 6 s of sound at 128 kbit/s take 96 kB: 400 kB and 200 kB leave the picture room, 130 kB a
# low rate (a smaller picture), 90 kB not even the sound.
for file in camera.mp4 screen.mp4 zoom.mp4 detail.mp4; do
  for limit in 400000 200000 130000; do fit "$file" "$limit" --container mp4; done
done
fit camera.mp4 90000 --container mp4
for file in photo.jpg screenshot.png rose.png granite.png; do
  source_bytes=$(size "$src/$file")
  for format in jpg webp avif; do
    for share in 50 20 5; do
      limit=$(( source_bytes * share / 100 ))
      [ "$limit" -ge 2000 ] || limit=2000
      fit "$file" "$limit" --image-format "$format"
    done
  done
done

echo
sort -n "$ratios" | awk '
  { r[NR] = $1; if ($1 > 1) over++ }
  END {
    median = NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2
    printf "size fit: %d outputs, %d over their limit; output / limit: lowest %.3f, median %.3f, highest %.3f\n",
      NR, over + 0, r[1], median, r[NR] }'
failures=$(cat "$work/failures" 2>/dev/null | wc -l)
echo "failed before writing an output: $failures (the 90 kB limit cannot hold the clip's sound)"
