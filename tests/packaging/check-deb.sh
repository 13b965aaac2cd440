#!/usr/bin/env bash
# Builds the Debian package from the build folder into a temporary folder and reads it back.
# Usage: check-deb.sh BUILD_DIR APP_ID VERSION
set -euo pipefail
build=$1 id=$2 version=$3

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "check-deb: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.txt" 2>&1 ||
  fail "cpack: $(cat "$out/cpack.txt")"
debs=("$out"/lumocompress_"$version"_*.deb)
[ -f "${debs[0]}" ] || fail "no lumocompress_${version}_<arch>.deb: $(ls "$out")"
deb=${debs[0]}

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = lumocompress ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
# The long description's lines as written, not a list's parts joined with ";".
description=$(field Description)
[ "$(printf '%s\n' "$description" | wc -l)" -ge 3 ] || fail "Description: $description"
if printf '%s\n' "$description" | grep -q '^ *;'; then fail "Description: $description"; fi
depends=$(field Depends)
# Named by hand (started or loaded at run time), then found by dpkg-shlibdeps in the executables.
for package in ffmpeg imagemagick qt6-qpa-plugins libqt6widgets6 libqt6network6 'libmagick++-6'; do
  [[ ", $depends" == *", $package"* ]] || fail "Depends lacks $package: $depends"
done

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$out/contents.txt"
for path in /usr/bin/lumocompress /usr/bin/lumocompress-cli /usr/bin/lumo-service \
            /usr/share/lumocompress/skin/res.xml /usr/share/lumocompress/skin/MainWindow.xml \
            /usr/share/lumocompress/skin/images/logo.png \
            /usr/share/applications/$id.desktop /usr/share/metainfo/$id.metainfo.xml \
            /usr/share/icons/hicolor/scalable/apps/$id.svg \
            /usr/share/icons/hicolor/48x48/apps/$id.png \
            /usr/share/icons/hicolor/128x128/apps/$id.png \
            /usr/share/icons/hicolor/256x256/apps/$id.png; do
  grep -qx "$path" "$out/contents.txt" || fail "$path is not in the package"
done
# Nothing from the build folder or a developer's prefix leaks in.
if grep -v '^/usr/' "$out/contents.txt" | grep -qv '^/$'; then
  fail "files outside /usr: $(grep -v '^/usr/' "$out/contents.txt" | grep -v '^/$' | head)"
fi

# The executables are stripped: the build's debug information stays out of the package.
dpkg-deb -x "$deb" "$out/tree"
for program in lumocompress lumocompress-cli lumo-service; do
  file -b "$out/tree/usr/bin/$program" | grep -q ', stripped' ||
    fail "$program is not stripped: $(file -b "$out/tree/usr/bin/$program")"
done
echo "check-deb: ok ($(du -h "$deb" | cut -f1) $(basename "$deb"))"
