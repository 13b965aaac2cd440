#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Prints the machine the benchmarks run on: CPU, cores, memory, OS, the load when they start,
# and the versions of the tools they measure against.
# Usage: bench/machine.sh
set -uo pipefail

cpu=$(awk -F': *' '/^model name/ {print $2; exit}' /proc/cpuinfo 2>/dev/null)
[ -n "$cpu" ] || cpu=$(uname -m)
memory_kb=$(awk '/^MemTotal:/ {print $2}' /proc/meminfo 2>/dev/null)
os=$( (. /etc/os-release 2>/dev/null && echo "${PRETTY_NAME:-}") )
first_line() { "$@" 2>&1 | head -n 1; }

echo "machine"
echo "  cpu:         ${cpu}"
echo "  cores:       $(nproc) available of $(getconf _NPROCESSORS_ONLN)"
awk -v kb="${memory_kb:-0}" 'BEGIN { printf "  memory:      %.1f GiB\n", kb / 1048576 }'
echo "  os:          ${os:-unknown} (kernel $(uname -r))"
echo "  load:        $(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null) (1, 5, 15 min, at the start)"
echo "  ffmpeg:      $(first_line ffmpeg -version)"
echo "  imagemagick: $(first_line convert -version | sed 's/^Version: //')"
