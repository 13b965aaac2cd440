#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Prints the time from process start to the main window being shown, over several runs, each
# with a fresh private home. As a baseline measured in the same run, it also times a second
# start (which hands over to the running copy and exits without building a window).
# Usage: bench/startup.sh [path/to/lumocompress] [runs]
set -euo pipefail
program=${1:-build/lumocompress}
runs=${2:-7}
[ -x "$program" ] || { echo "startup.sh: $program is not built (run make build)" >&2; exit 2; }
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}; fi

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
window_times=()
handover_times=()
for i in $(seq 1 "$runs"); do
  home="$work/home$i"
  mkdir -p "$home/run" && chmod 700 "$home/run"
  export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home/run"
  out="$work/out$i"
  start=$(now_ms)
  "$program" >"$out" 2>&1 &
  pid=$!
  until grep -q "mainWindow shown" "$out" 2>/dev/null; do
    kill -0 "$pid" 2>/dev/null || { echo "startup.sh: the program ended early:" >&2; cat "$out" >&2; exit 1; }
    sleep 0.005
  done
  window_times+=($(( $(now_ms) - start )))

  start=$(now_ms)
  "$program" >/dev/null 2>&1
  handover_times+=($(( $(now_ms) - start )))

  kill -TERM "$pid"; wait "$pid" || true
done

window_median=$(printf '%s\n' "${window_times[@]}" | median)
handover_median=$(printf '%s\n' "${handover_times[@]}" | median)
echo "runs:                          $runs (QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-desktop})"
echo "start to main window (ms):     ${window_times[*]}"
echo "second start, hand-over (ms):  ${handover_times[*]}"
echo "median start to window:        ${window_median} ms"
echo "median hand-over:              ${handover_median} ms"
awk -v w="$window_median" -v h="$handover_median" \
  'BEGIN { if (h > 0) printf "window start / hand-over:      %.2fx\n", w / h }'
