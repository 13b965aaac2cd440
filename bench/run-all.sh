#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every benchmark, one after another, with sizes small enough for the whole to take a few
# minutes, and prints the machine and each benchmark's figures. Every benchmark works in
# private temporary folders; nothing of the user's is touched.
# Usage: bench/run-all.sh BUILD_DIR
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 1 ] || { echo "usage: bench/run-all.sh BUILD_DIR" >&2; exit 2; }
build=$(cd "$1" 2>/dev/null && pwd) || { echo "run-all.sh: no build folder $1" >&2; exit 2; }
for program in lumocompress lumocompress-cli intake_bench video_bench image_bench; do
  [ -x "$build/$program" ] || { echo "run-all.sh: $build/$program is not built (run make build)" >&2; exit 2; }
done
[ -x "$build/tests/core_search_tests" ] || { echo "run-all.sh: $build/tests/core_search_tests is not built (run make build)" >&2; exit 2; }
for tool in ffmpeg ffprobe convert identify; do
  command -v "$tool" >/dev/null || { echo "run-all.sh: $tool is missing (run make deps)" >&2; exit 2; }
done
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}; fi

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
section() { printf '\n== %s ==\n' "$1"; }
# The benchmarks' own diagnostic lines are left out; their figures stay.
figures() { grep -v -e '^identifyPath:' -e '^szPipeOut:' -e '^lstImage' -e '^$' || true; }

# lumocompress-cli on a batch of videos and images: each kind alone, then both in one run,
# where one video and one image are compressed side by side.
cli_batch() {
  local cli=$1 work
  work=$(mktemp -d)
  trap 'rm -rf "$work"' RETURN
  mkdir -p "$work/home/.config" "$work/videos" "$work/images"
  export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
  for i in 1 2 3 4; do
    ffmpeg -v error -y -f lavfi -i "testsrc=size=640x360:rate=25:duration=3" \
      -f lavfi -i "sine=duration=3" -c:v mpeg4 -q:v 3 -c:a aac "$work/videos/clip$i.mp4"
    convert logo: -resize 200% -quality 92 "$work/images/photo$i.jpg"
    convert -size 800x600 plasma:fractal "$work/images/plasma$i.png"
  done
  local videos=() images=() both=() start
  for round in 1 2; do
    start=$(now_ms); "$cli" --json --container mp4 --output "$work/out" "$work/videos" >/dev/null
    videos+=($(( $(now_ms) - start )))
    start=$(now_ms); "$cli" --json --output "$work/out" "$work/images" >/dev/null
    images+=($(( $(now_ms) - start )))
    start=$(now_ms); "$cli" --json --container mp4 --output "$work/out" "$work/videos" "$work/images" >/dev/null
    both+=($(( $(now_ms) - start )))
    rm -rf "$work/out"
  done
  local v i b
  v=$(printf '%s\n' "${videos[@]}" | sort -n | head -n 1)
  i=$(printf '%s\n' "${images[@]}" | sort -n | head -n 1)
  b=$(printf '%s\n' "${both[@]}" | sort -n | head -n 1)
  echo "files:                       4 videos (640x360, 3 s, to h264 mp4), 8 images (jpg, png)"
  echo "videos alone (ms):           ${videos[*]}"
  echo "images alone (ms):           ${images[*]}"
  echo "both in one run (ms):        ${both[*]}"
  awk -v v="$v" -v i="$i" -v b="$b" 'BEGIN {
    printf "both / (videos + images):    %.2f (best of 2 each; below 1.00 means the overlap pays)\n", b / (v + i)
    printf "both / slower kind alone:    %.2f\n", b / (v > i ? v : i) }'
}

started=$(now_ms)
bash "$here/machine.sh"

section "start-up to main window shown (bench/startup.sh, 7 runs)"
bash "$here/startup.sh" "$build/lumocompress" 7

section "probe of a folder of 50 videos (intake_bench 50)"
# The window it opens talks on both outputs (the upgrade check, diagnostics); only its figures,
# which end its output, are shown, and its stderr only when it fails.
(
  runtime=$(mktemp -d); trap 'rm -rf "$runtime"' EXIT
  export XDG_RUNTIME_DIR=$runtime
  "$build/intake_bench" 50 2>"$runtime/stderr" | awk '/^files:/ { shown = 1 } shown' ||
    { cat "$runtime/stderr" >&2; exit 1; }
)

section "video batch: engine against the same command lines run directly (video_bench 6 clips, 3 s, 3 rounds)"
"$build/video_bench" 6 3 3 | figures

section "image pipeline against the equivalent convert commands (image_bench --repeat 2)"
"$build/image_bench" --repeat 2 | figures

section "compression: size ratio and SSIM per source kind, beside the usual tools (bench/compression.sh)"
bash "$here/compression.sh" "$build"

section "image outputs against cjpeg, cwebp, avifenc and pngquant at the same SSIM (bench/image-curves.sh)"
bash "$here/image-curves.sh" "$build"

section "video choices against the x264 and x265 curves at the same SSIM (bench/curves.sh, 1280x720, 3 s)"
bash "$here/curves.sh" "$build" 3 1280x720

section "same look, smallest file: searched against one fixed CRF or quality (SearchBench, 70 s clips at 1280x720)"
LUMO_SEARCH_BENCH=1 "$build/tests/core_search_tests" --gtest_filter='SearchBench.*' --gtest_brief=1 |
  grep -e '^video' -e '^jpeg' -e '^webp' -e '^avif' -e '^  fixed' || true

section "fit under a size: output / limit on clips and pictures (bench/size-fit.sh)"
bash "$here/size-fit.sh" "$build"

section "lumocompress-cli: videos and images side by side"
(cli_batch "$build/lumocompress-cli")

printf '\nall benchmarks: %d s\n' $(( ($(now_ms) - started) / 1000 ))
