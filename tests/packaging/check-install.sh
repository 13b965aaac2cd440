#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a temporary prefix and runs the installed programs from there.
# Usage: check-install.sh BUILD_DIR SOURCE_DIR APP_ID
set -euo pipefail
build=$1 source=$2 id=$3

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
prefix=$root/usr
fail() { echo "check-install: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

for program in lumocompress lumocompress-cli lumo-service; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program missing or not executable"
done
diff -r "$source/skin" "$prefix/share/lumocompress/skin" >/dev/null ||
  fail "share/lumocompress/skin differs from the source skin"
[ -f "$prefix/share/applications/$id.desktop" ] || fail "the desktop file is missing"
[ -f "$prefix/share/metainfo/$id.metainfo.xml" ] || fail "the metainfo file is missing"
[ -f "$prefix/share/icons/hicolor/scalable/apps/$id.svg" ] || fail "the scalable icon is missing"
for size in 48 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
  [ -f "$icon" ] || fail "the ${size} px icon is missing"
  file -b "$icon" | grep -q "PNG image data, $size x $size," || fail "$icon: $(file -b "$icon")"
done
# Both packages' parts: manual pages, completions, the unit and each package's documentation.
for path in share/man/man1/lumocompress.1.gz share/man/man1/lumocompress-cli.1.gz \
            share/man/man1/lumo-service.1.gz share/bash-completion/completions/lumocompress-cli \
            share/zsh/vendor-completions/_lumocompress-cli \
            share/fish/vendor_completions.d/lumocompress-cli.fish \
            lib/systemd/system/lumo-service.service \
            share/doc/lumocompress/copyright share/doc/lumo-service/changelog.Debian.gz; do
  [ -f "$prefix/$path" ] || fail "$path is missing"
done
# The metainfo, the desktop file it launches and the icons it names, as a software centre sees them.
appstreamcli validate-tree --no-net "$root" >"$root/validate-tree.txt" 2>&1 ||
  fail "appstreamcli validate-tree: $(cat "$root/validate-tree.txt")"

# The installed programs, with a home of their own and the build folder out of reach.
home=$root/home
mkdir -p "$home" && mkdir -m 700 "$root/run"
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$root/run
unset XDG_DATA_HOME XDG_CACHE_HOME
cd "$root"

"$prefix/bin/lumocompress-cli" --help >help.txt 2>&1 || fail "lumocompress-cli --help: $(cat help.txt)"
grep -q -- "--video-strength" help.txt || fail "lumocompress-cli --help lists no options"
# One image through the installed engine: Magick++ and the image tools work from the prefix.
convert -size 96x64 gradient:red-blue photo.png
"$prefix/bin/lumocompress-cli" --output "$root/out" photo.png >cli.txt 2>&1 ||
  fail "lumocompress-cli on an image: $(cat cli.txt)"
[ -n "$(ls "$root/out")" ] || fail "lumocompress-cli wrote nothing"

"$prefix/bin/lumo-service" --help >/dev/null 2>&1 || fail "lumo-service --help failed"

# The window finds the skin and a Config.ini in share/lumocompress. The service address
# points at a closed port so the upgrade check reaches nobody.
printf '[global]\nag=installed-check\nserver=http://127.0.0.1:9\n' \
  >"$prefix/share/lumocompress/Config.ini"
# Line-buffered so the window's progress can be watched while it runs.
QT_QPA_PLATFORM=offscreen stdbuf -oL "$prefix/bin/lumocompress" --verbose >gui.txt 2>&1 &
pid=$!
for _ in $(seq 300); do
  grep -q " mainWindow shown$" gui.txt && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -TERM "$pid" 2>/dev/null || true
status=0
wait "$pid" || status=$?
grep -q " mainWindow shown$" gui.txt ||
  fail "lumocompress showed no window (exit $status): $(tail -c 2000 gui.txt)"
[ "$status" -eq 0 ] || fail "lumocompress ended with $status on SIGTERM: $(tail -c 2000 gui.txt)"
grep -q " agent:installed-check$" gui.txt ||
  fail "lumocompress did not read share/lumocompress/Config.ini: $(head -c 2000 gui.txt)"
echo "check-install: ok"
