#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian packages from the build folder into a temporary folder and reads them back:
# their fields, their files, lintian's verdict, and the service run as its systemd unit says.
# Usage: check-deb.sh BUILD_DIR APP_ID VERSION (VERSION with its revision, 1.5.0-1)
set -euo pipefail
build=$1 id=$2 version=$3

out=$(mktemp -d)
service_pid=
cleanup() {
  [ -z "$service_pid" ] || kill "$service_pid" 2>/dev/null || true
  rm -rf "$out"
}
trap cleanup EXIT
fail() { echo "check-deb: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.txt" 2>&1 ||
  fail "cpack: $(cat "$out/cpack.txt")"
arch=$(dpkg --print-architecture)
app=$out/lumocompress_${version}_$arch.deb
service=$out/lumo-service_${version}_$arch.deb
for deb in "$app" "$service"; do
  [ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$out")"
done
[ "$(find "$out" -maxdepth 1 -name '*.deb' | wc -l)" -eq 2 ] || fail "other packages: $(ls "$out")"

field() { dpkg-deb -f "$1" "$2"; }
# The long description's lines as written, not a list's parts joined with ";".
for deb in "$app" "$service"; do
  [ "$(field "$deb" Version)" = "$version" ] || fail "$deb: Version $(field "$deb" Version)"
  [ "$(field "$deb" Architecture)" = "$arch" ] || fail "$deb: Architecture $(field "$deb" Architecture)"
  [ "$(field "$deb" Source)" = lumocompress ] || fail "$deb: Source $(field "$deb" Source)"
  description=$(field "$deb" Description)
  [ "$(printf '%s\n' "$description" | wc -l)" -ge 3 ] || fail "$deb: Description $description"
  if printf '%s\n' "$description" | grep -q '^ *;'; then fail "$deb: Description $description"; fi
done
[ "$(field "$app" Package)" = lumocompress ] || fail "Package: $(field "$app" Package)"
[ "$(field "$service" Package)" = lumo-service ] || fail "Package: $(field "$service" Package)"

# Named by hand (started or loaded at run time), then found by dpkg-shlibdeps in the executables.
has_depends() { [[ ", $(field "$1" Depends)" == *", $2"* ]]; }
for package in ffmpeg imagemagick libmediainfo0v5 qt6-qpa-plugins libqt6widgets6 libqt6network6 \
               'libmagick++-6' libimagequant0; do
  has_depends "$app" "$package" || fail "lumocompress Depends lacks $package: $(field "$app" Depends)"
done
# The service needs its own libraries only: no encoders, no window.
for package in libqt6core6 libjsoncpp; do
  has_depends "$service" "$package" ||
    fail "lumo-service Depends lacks $package: $(field "$service" Depends)"
done
for package in ffmpeg imagemagick libqt6widgets6 lumocompress; do
  if has_depends "$service" "$package"; then
    fail "lumo-service depends on $package: $(field "$service" Depends)"
  fi
done

contents() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./|/|'; }
contents "$app" >"$out/app.txt"
contents "$service" >"$out/service.txt"
expect() {
  local list=$1
  shift
  for path in "$@"; do
    grep -qx "$path" "$out/$list.txt" || fail "$path is not in the $list package"
  done
}
expect app /usr/bin/lumocompress /usr/bin/lumocompress-cli \
  /usr/share/lumocompress/skin/res.xml /usr/share/lumocompress/skin/MainWindow.xml \
  /usr/share/lumocompress/skin/images/logo.png \
  "/usr/share/applications/$id.desktop" "/usr/share/metainfo/$id.metainfo.xml" \
  "/usr/share/icons/hicolor/scalable/apps/$id.svg" \
  "/usr/share/icons/hicolor/48x48/apps/$id.png" \
  "/usr/share/icons/hicolor/128x128/apps/$id.png" \
  "/usr/share/icons/hicolor/256x256/apps/$id.png" \
  /usr/share/man/man1/lumocompress.1.gz /usr/share/man/man1/lumocompress-cli.1.gz \
  /usr/share/bash-completion/completions/lumocompress-cli \
  /usr/share/zsh/vendor-completions/_lumocompress-cli \
  /usr/share/fish/vendor_completions.d/lumocompress-cli.fish \
  /usr/share/doc/lumocompress/copyright /usr/share/doc/lumocompress/changelog.Debian.gz
expect service /usr/bin/lumo-service /usr/share/man/man1/lumo-service.1.gz \
  /usr/lib/systemd/system/lumo-service.service \
  /usr/share/doc/lumo-service/copyright /usr/share/doc/lumo-service/changelog.Debian.gz
# Each program in one package only.
if grep -q lumo-service "$out/app.txt"; then fail "lumocompress holds $(grep lumo-service "$out/app.txt")"; fi
if grep -q 'lumocompress' "$out/service.txt"; then
  fail "lumo-service holds $(grep lumocompress "$out/service.txt")"
fi
# Nothing from the build folder or a developer's prefix leaks in.
for list in app service; do
  if grep -v '^/usr/' "$out/$list.txt" | grep -qv '^/$'; then
    fail "files outside /usr: $(grep -v '^/usr/' "$out/$list.txt" | grep -v '^/$' | head)"
  fi
done

# The service's maintainer scripts enable, start and stop the unit.
dpkg-deb -e "$service" "$out/control"
for script in postinst prerm postrm; do
  [ -x "$out/control/$script" ] || fail "lumo-service has no executable $script"
  grep -q 'lumo-service.service' "$out/control/$script" || fail "$script does not name the unit"
done

dpkg-deb -x "$app" "$out/tree"
dpkg-deb -x "$service" "$out/tree"
tree=$out/tree
# The executables are stripped (the build's debug information stays out) and hardened.
# (readelf's whole answer is kept first: grep -q stopping early would fail the pipe.)
for program in lumocompress lumocompress-cli lumo-service; do
  binary=$tree/usr/bin/$program
  file -b "$binary" | grep -q ', stripped' || fail "$program is not stripped: $(file -b "$binary")"
  readelf -dlW --dyn-syms "$binary" >"$out/elf.txt"
  grep -q 'BIND_NOW' "$out/elf.txt" || fail "$program is not bound at start"
  grep -q 'GNU_RELRO' "$out/elf.txt" || fail "$program has no relro"
  grep -q 'DYN (Position-Independent Executable' "$out/elf.txt" || fail "$program is no PIE"
  grep -q '__stack_chk_fail' "$out/elf.txt" || fail "$program has no stack protector"
  grep -q '_chk@' "$out/elf.txt" || fail "$program calls no fortified function"
done

# The documentation: the licence in Debian's machine-readable form, and the changelog of this
# version, compressed the way Debian compresses (no name or time inside).
for package in lumocompress lumo-service; do
  doc=$tree/usr/share/doc/$package
  head -1 "$doc/copyright" |
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "$package: the copyright file is not machine-readable: $(head -1 "$doc/copyright")"
  grep -qx 'License: GPL-3+' "$doc/copyright" || fail "$package: the copyright file names no GPL-3+"
  gzip -t "$doc/changelog.Debian.gz" || fail "$package: changelog.Debian.gz is no gzip file"
  if file -b "$doc/changelog.Debian.gz" | grep -q 'was "'; then
    fail "$package: changelog.Debian.gz keeps a file name: $(file -b "$doc/changelog.Debian.gz")"
  fi
  logged=$(zcat "$doc/changelog.Debian.gz" | dpkg-parsechangelog -l - -S Version)
  [ "$logged" = "$version" ] || fail "$package: the changelog's latest version is $logged"
done
for page in lumocompress lumocompress-cli lumo-service; do
  man -l "$tree/usr/share/man/man1/$page.1.gz" 2>&1 | grep -q "^NAME" ||
    fail "$page.1.gz does not read as a manual page"
done

# The menu entry and the AppStream description as shipped.
desktop=$tree/usr/share/applications/$id.desktop
grep -qx 'StartupWMClass=LumoCompress' "$desktop" || fail "$id.desktop: no StartupWMClass"
metainfo=$tree/usr/share/metainfo/$id.metainfo.xml
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" ||
  fail "the metainfo names another licence: $(grep project_license "$metainfo")"
grep -q '<url type="homepage">https://' "$metainfo" || fail "the metainfo has no homepage"
for format in WebP AVIF; do grep -q "$format" "$metainfo" || fail "the metainfo names no $format"; done

# lintian, with its pedantic checks: nothing but informational tags, overrides included.
lintian --pedantic --no-cfg "$app" "$service" >"$out/lintian.txt" 2>"$out/lintian-errors.txt" ||
  fail "lintian failed: $(cat "$out/lintian.txt" "$out/lintian-errors.txt")"
if grep -vE '^(I|N): ' "$out/lintian.txt" | grep -q .; then
  fail "lintian: $(grep -vE '^(I|N): ' "$out/lintian.txt")"
fi

# The unit as systemd reads it, then its command line run with the state and configuration
# folders moved into the temporary folder and a free port.
# systemd's warnings (an unknown setting, a misspelt group) fail too; the copy names the
# extracted executable, which systemd-analyze wants to find.
unit=$tree/usr/lib/systemd/system/lumo-service.service
mkdir "$out/units"
sed "s|/usr/bin/lumo-service|$tree/usr/bin/lumo-service|" "$unit" >"$out/units/lumo-service.service"
systemd-analyze verify --man=no "$out/units/lumo-service.service" >"$out/verify.txt" 2>&1 ||
  fail "systemd-analyze verify: $(cat "$out/verify.txt")"
[ ! -s "$out/verify.txt" ] || fail "systemd-analyze verify: $(cat "$out/verify.txt")"
# The sandbox as systemd rates it: from 0 (closed) to 10 (exposed); a plain unit gets 9.6.
systemd-analyze security --offline=yes --no-pager "$out/units/lumo-service.service" \
  >"$out/security.txt" 2>&1 || fail "systemd-analyze security: $(tail -3 "$out/security.txt")"
exposure=$(sed -n 's/.*Overall exposure level for lumo-service.service: \([0-9.]*\).*/\1/p' \
  "$out/security.txt")
[ -n "$exposure" ] && awk -v e="$exposure" 'BEGIN { exit !(e < 2.5) }' ||
  fail "the unit's exposure is ${exposure:-unknown}: $(grep '✗' "$out/security.txt" | head)"
grep -qx 'DynamicUser=yes' "$unit" || fail "the unit does not run as a dynamic user"
grep -qx 'StateDirectory=lumo-service lumo-service/files' "$unit" || fail "the unit's StateDirectory"
state=$out/state config=$out/etc
mkdir -p "$state/files" "$config"
command=$(sed -n '/^ExecStart=/,/[^\\]$/p' "$unit" | sed 's/^ExecStart=//; s/\\$//' | tr -s ' \n' ' ')
command=${command//\/var\/lib\/lumo-service/$state}
command=${command//\/etc\/lumo-service/$config}
command=${command//\/usr\/bin\//$tree/usr/bin/}
command=${command/--port 8731/--port 0}
printf 'version=9.9.9\ndownload_url=/download/setup.run\n' >"$config/upgrade.ini"
echo installer >"$state/files/setup.run"
read -ra argv <<<"$command"
(cd "$state" && exec "${argv[@]}") >"$out/service-out.txt" 2>&1 &
service_pid=$!
address=
for _ in $(seq 100); do
  address=$(sed -n 's/^lumo-service listening on //p' "$out/service-out.txt")
  [ -n "$address" ] && break
  kill -0 "$service_pid" 2>/dev/null || fail "the unit's command ended: $(cat "$out/service-out.txt")"
  sleep 0.1
done
[ -n "$address" ] || fail "the unit's command did not listen: $(cat "$out/service-out.txt")"
curl -fsS -X POST -H 'Content-Type: application/json' -d '{"content":"packaged","contact":""}' \
  "$address/v2/feedback" >"$out/answer.txt" || fail "feedback: $(cat "$out/answer.txt")"
grep -q '"packaged"' "$state/feedback.jsonl" || fail "no feedback in the state folder"
curl -fsS -X POST "$address/v2/upgrade_check" -d '{}' | grep -q '9.9.9' ||
  fail "the upgrade check does not read the configuration folder's upgrade.ini"
[ "$(curl -fsS "$address/download/setup.run")" = installer ] ||
  fail "the state folder's files are not served"
kill "$service_pid"
wait "$service_pid" || fail "the service did not end cleanly on SIGTERM"
service_pid=

echo "check-deb: ok ($(du -h "$app" | cut -f1) $(basename "$app"), $(du -h "$service" | cut -f1) $(basename "$service"), unit exposure $exposure)"
