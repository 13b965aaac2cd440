#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The image half of the curve benchmark: each image output of lumocompress-cli (JPEG, WebP,
# AVIF, PNG, per strength) against the usual encoders' curves at the same look. The pictures
# are made here with ImageMagick: a plasma "photo" with grain, the built-in rose photo, the
# built-in logo (a flat drawing with text, like a screenshot) and the wizard drawing, all kept as
# lossless PNG sources. The peers: cjpeg (libjpeg-turbo, optimised progressive), cwebp at its
# default method 4 and at method 6, avifenc at its default speed 6 (its default 4:4:4 from PNG, and 4:2:0), and pngquant over its colour
# counts. For a choice, "x peer" is its bytes over the best peer curve's bytes of the same
# format at its luma SSIM (ffmpeg's ssim on the decoded pictures' grey planes; log bytes
# interpolated linearly in SSIM, "~" outside a curve's range). "CPU s" is user + system time of
# lumocompress-cli and its children, the program's start (about 0.1 s) included.
# Usage: bench/image-curves.sh BUILD_DIR
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: bench/image-curves.sh BUILD_DIR" >&2; exit 2; }
build=$(cd "$1" 2>/dev/null && pwd) || { echo "image-curves.sh: no build folder $1" >&2; exit 2; }
cli=$build/lumocompress-cli
[ -x "$cli" ] || { echo "image-curves.sh: $cli is not built" >&2; exit 2; }
for tool in ffmpeg convert cjpeg cwebp dwebp avifenc avifdec pngquant awk; do
  command -v "$tool" >/dev/null || { echo "image-curves.sh: $tool is missing (run make deps)" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/.config" "$work/home/.cache" "$work/src"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
src=$work/src

convert -seed 5 -size 640x480 plasma:fractal -attenuate 0.3 +noise Gaussian "$src/photo.png"
convert rose: -resize 400x300! "$src/rose.png"
convert logo: -resize 50% "$src/logo.png"
convert wizard: "$src/wizard.png"
pictures=(photo rose logo wizard)
for picture in "${pictures[@]}"; do convert "$src/$picture.png" "$work/$picture.ppm"; done  # cjpeg reads no PNG

# A decoded copy of an output as PNG, for the SSIM.
decode() {
  case "$1" in
    *.webp) dwebp -quiet "$1" -o "$2" ;;
    *.avif) avifdec "$1" "$2" >/dev/null ;;
    *) convert "$1" "$2" ;;
  esac
}
ssim() {  # output, source
  decode "$1" "$work/decoded.png"
  ffmpeg -nostdin -i "$work/decoded.png" -i "$2" \
    -lavfi "[0:v]format=gray[x];[1:v]format=gray[y];[x][y]ssim" -f null - 2>&1 |
    grep -o 'All:[0-9.]*' | tail -n 1 | cut -d: -f2
}
cpu() {
  ( "$@" >/dev/null 2>"$work/stderr" || { cat "$work/stderr" >&2; exit 1; }; times ) | tail -n 1 |
    awk '{ n = 0; for (i = 1; i <= 2; i++) { split($i, p, "m"); n += p[1] * 60 + p[2] } print n }'
}
points=$work/points  # lines: picture format curve-name ssim bytes cpu
ours=$work/ours      # lines: picture|format|strength|ssim|bytes|cpu

point() {  # picture, format, curve name, output, command...
  local picture=$1 format=$2 name=$3 out=$4 seconds_cpu
  shift 4
  seconds_cpu=$(cpu "$@")
  echo "$picture $format $name $(ssim "$out" "$src/$picture.png") $(stat -c %s "$out") $seconds_cpu" >>"$points"
}

for picture in "${pictures[@]}"; do
  in=$src/$picture.png
  for q in 30 45 55 65 75 85 92; do
    point "$picture" jpg cjpeg "$work/c.jpg" cjpeg -quality "$q" -optimize -progressive -outfile "$work/c.jpg" "$work/$picture.ppm"
  done
  for q in 30 45 55 65 75 85 92; do
    point "$picture" webp cwebp-m4 "$work/c.webp" cwebp -quiet -q "$q" "$in" -o "$work/c.webp"
    point "$picture" webp cwebp-m6 "$work/c.webp" cwebp -quiet -m 6 -q "$q" "$in" -o "$work/c.webp"
  done
  for quantiser in 10 18 26 34 42 50; do
    point "$picture" avif avifenc-s6 "$work/c.avif" avifenc -j 1 --min "$quantiser" --max "$quantiser" "$in" "$work/c.avif"
    point "$picture" avif avifenc-s6-420 "$work/c.avif" avifenc -j 1 -y 420 --min "$quantiser" --max "$quantiser" "$in" "$work/c.avif"
  done
  for colours in 256 128 64 32 16; do
    point "$picture" png pngquant "$work/c.png" pngquant --force --output "$work/c.png" "$colours" "$in"
  done
  for format in jpg webp avif png; do
    for strength in general deep limit; do
      rm -rf "$work/out"
      chosen=$format
      [ "$format" = png ] && chosen=keep
      seconds_cpu=$(cpu "$cli" --json --output "$work/out" --image-workers 1 --image-format "$chosen" \
        --image-strength "$strength" "$in")
      out=$(find "$work/out" -type f | sed -n 1p)
      echo "$picture|$format|$strength|$(ssim "$out" "$in")|$(stat -c %s "$out")|$seconds_cpu" >>"$ours"
    done
  done
done

echo "pictures: photo (640x480 plasma with grain), rose (400x300), logo (320x240 drawing), wizard (265x333 drawing)"
echo
echo "| Picture | Format | Strength | SSIM | Bytes | CPU s | Best peer | x peer |"
echo "|---|---|---|---|---|---|---|---|"
awk -v points="$points" '
  function at(key, s, what,    n, i, lo, hi, x0, x1, y0, y1) {
    n = count[key]
    if (n < 2) return -1
    lo = 1
    for (i = 1; i < n; i++) if (ss[key, i + 1] <= s) lo = i + 1
    if (lo >= n) lo = n - 1
    hi = lo + 1
    if (s < ss[key, 1] || s > ss[key, n]) outside = 1
    x0 = ss[key, lo]; x1 = ss[key, hi]
    y0 = (what == "bytes") ? log(by[key, lo]) : cp[key, lo]
    y1 = (what == "bytes") ? log(by[key, hi]) : cp[key, hi]
    if (x1 == x0) return (what == "bytes") ? exp(y0) : y0
    y = y0 + (y1 - y0) * (s - x0) / (x1 - x0)
    return (what == "bytes") ? exp(y) : y
  }
  BEGIN {
    while ((getline line < points) > 0) {
      split(line, f, " ")
      group = f[1] SUBSEP f[2]; key = group SUBSEP f[3]
      if (!(key in count)) { count[key] = 0; names[group] = names[group] "|" f[3] }
      n = ++count[key]; ss[key, n] = f[4]; by[key, n] = f[5]; cp[key, n] = f[6]
    }
    for (key in count) {
      n = count[key]
      for (i = 2; i <= n; i++)
        for (j = i; j > 1 && ss[key, j - 1] > ss[key, j]; j--) {
          t = ss[key, j]; ss[key, j] = ss[key, j - 1]; ss[key, j - 1] = t
          t = by[key, j]; by[key, j] = by[key, j - 1]; by[key, j - 1] = t
          t = cp[key, j]; cp[key, j] = cp[key, j - 1]; cp[key, j - 1] = t
        }
    }
    FS = "|"
  }
  {
    group = $1 SUBSEP $2; s = $4; b = $5; c = $6
    best = -1; bestName = "-"
    m = split(substr(names[group], 2), list, "|")
    for (i = 1; i <= m; i++) {
      outside = 0
      v = at(group SUBSEP list[i], s, "bytes")
      if (v > 0 && (best < 0 || v < best)) {
        best = v; bestName = list[i]; mark = outside ? "~" : ""
      }
    }
    printf "| %s | %s | %s | %.4f | %d | %.2f | %s | %s%.2f |\n", $1, $2, $3, s, b, c,
           bestName, mark, b / best
  }' "$ours"
