# SPDX-License-Identifier: GPL-3.0-or-later
# Prints, one a line, the matches zsh offers when LINE is typed in an interactive zsh and Tab
# pressed, with the completion functions of FOLDER first on fpath.
# Usage: zsh -f zsh-complete.zsh FOLDER LINE
zmodload zsh/zpty
zpty shell 'zsh -f -i'

typeset out chunk
# Reads what the shell prints until marker shows; gives up after 10 s.
await() {
  out=
  local deadline=$((SECONDS + 10))
  while ((SECONDS < deadline)); do
    if zpty -r -t shell chunk 2>/dev/null; then
      out+=$chunk
      [[ $out == *$1* ]] && return 0
    else
      sleep 0.05
    fi
  done
  print -u2 "zsh-complete: no $1 from the shell: $out"
  exit 1
}

# The markers are written split so that the echoed command line does not match them.
zpty -w shell "fpath=(${(q)1} \$fpath); autoload -Uz compinit; compinit -u -D; print -n '<''ready>'"
await '<ready>'
# Each match added is printed between tags as well. Calls that only collect matches into an
# array (-O, -A, -D) are passed on as they are.
zpty -w shell 'compadd() {
  if (( ${@[(I)-[OAD]]} )); then builtin compadd "$@"; return; fi
  local -a hits; builtin compadd -O hits "$@"
  print -rn -- "<hit>"${^hits}"</hit>" >/dev/tty
  builtin compadd "$@"
}; bindkey "^I" complete-word; print -n "<""set>"'
await '<set>'
zpty -w -n shell "$2"$'\t'
zpty -w shell $'\C-u print -n "<""done>"'
await '<done>'
zpty -d shell
print -r -- "$out" | grep -ao '<hit>[^<]*</hit>' | sed 's/<[/]*hit>//g'
