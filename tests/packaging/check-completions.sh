#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The shell completions and the manual pages against the programs' own --help: every option the
# command line lists is completed by bash, zsh and fish and described in its manual page, and
# every word a value may be is offered after its option. Each shell is asked as a user's shell
# would be: bash runs the completion function, zsh completes a typed line in a terminal (zpty),
# fish answers `complete -C`.
# Usage: check-completions.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd) source=$(cd "$2" && pwd)
completions=$source/packaging/completions

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-completions: $*" >&2; exit 1; }

# Built-in defaults: the help text does not depend on the settings of the user running this.
HOME=$work/home XDG_CONFIG_HOME=$work/home/.config "$build/lumocompress-cli" --help >"$work/help.txt"
HOME=$work/home "$build/tools/lumo-service" --help >"$work/service-help.txt"

# "name value" per option line of the help ("  --name VALUE  text", "  -r, --name  text").
sed -nE 's/^  (-[a-z], )?--([a-z][a-z0-9-]*)( ([^ ]+))?.*/\2 \4/p' "$work/help.txt" >"$work/options.txt"
[ "$(wc -l <"$work/options.txt")" -ge 20 ] || fail "--help lists too few options: $(cat "$work/help.txt")"

# The manual pages name every option of their program.
man_option() { grep -qF -- "\\-\\-${2//-/\\-}" "$source/packaging/man/$1.1.in"; }
while read -r name _; do
  man_option lumocompress-cli "$name" || fail "lumocompress-cli.1 lacks --$name"
done <"$work/options.txt"
for name in $(sed -nE 's/^  (-[a-z], )?--([a-z][a-z-]*).*/\2/p' "$work/service-help.txt"); do
  man_option lumo-service "$name" || fail "lumo-service.1 lacks --$name"
done

# A folder with files the command line takes and one it does not.
cd "$work"
mkdir folder && touch clip.mp4 PHOTO.JPG notes.txt Mixed.Mp4

# bash: the matches of the completion function for the words given.
bash_complete() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
           _lumocompress_cli; printf "%s\n" "${COMPREPLY[@]}"' _ "$completions/lumocompress-cli.bash" \
    lumocompress-cli "$@" | sort -u
}
# zsh: the matches offered for a line typed and completed with Tab, the function found on fpath.
zsh_complete() {
  zsh -f "$source/tests/packaging/zsh-complete.zsh" "$completions" "lumocompress-cli $*" | sort -u
}
# fish: the matches of `complete -C` for the line, without their descriptions.
fish_complete() {
  fish --no-config -c "source '$completions/lumocompress-cli.fish'; complete -C 'lumocompress-cli $*'" |
    cut -f1 | sort -u
}

for shell in bash zsh fish; do
  "${shell}_complete" -- >"$work/$shell-options.txt" 2>"$work/$shell-errors.txt"
  [ ! -s "$work/$shell-errors.txt" ] || fail "$shell: $(cat "$work/$shell-errors.txt")"
  while read -r name value; do
    grep -qx -- "--$name" "$work/$shell-options.txt" ||
      fail "$shell does not complete --$name: $(tr '\n' ' ' <"$work/$shell-options.txt")"
    # The literal words among the value's forms ("keep|mp4", "off|0..100", "none|WxH").
    words=$(tr '|' '\n' <<<"$value" | grep -xE '[a-z0-9]+' || true)
    [ -n "$words" ] || continue
    case $shell in
      bash) bash_complete "--$name" "" ;;
      zsh) zsh_complete "--$name " ;;
      fish) fish_complete "--$name " ;;
    esac >"$work/values.txt"
    for word in $words; do
      grep -qx -- "$word" "$work/values.txt" ||
        fail "$shell does not offer $word after --$name: $(tr '\n' ' ' <"$work/values.txt")"
    done
  done <"$work/options.txt"
done

# Paths: folders and the extensions the command line takes, all in lower or all in upper case.
for shell in bash zsh; do
  case $shell in
    bash) bash_complete "" ;;
    zsh) zsh_complete "" ;;
  esac | sed 's|/$||' >"$work/paths.txt"
  [ "$(tr '\n' ' ' <"$work/paths.txt")" = "PHOTO.JPG clip.mp4 folder " ] ||
    fail "$shell completes the paths $(tr '\n' ' ' <"$work/paths.txt")"
done
# After "--" every word is a path, even one that looks like an option.
[ "$(bash_complete -- -- "" | tr '\n' ' ')" = "PHOTO.JPG clip.mp4 folder " ] ||
  fail "bash after --: $(bash_complete -- -- "" | tr '\n' ' ')"
# The output folder is a folder.
[ "$(bash_complete --output "" | tr '\n' ' ')" = "folder " ] ||
  fail "bash after --output: $(bash_complete --output "" | tr '\n' ' ')"
# A value in the same word: bash splits "--container=m" at "=", or leaves it whole.
[ "$(bash_complete --container = m | tr '\n' ' ')" = "mkv mov mp4 " ] ||
  fail "bash after --container=: $(bash_complete --container = m | tr '\n' ' ')"
[ "$(zsh_complete --container=m | tr '\n' ' ')" = "mkv mov mp4 " ] ||
  fail "zsh after --container=: $(zsh_complete --container=m | tr '\n' ' ')"
echo "check-completions: ok ($(wc -l <"$work/options.txt") options)"
