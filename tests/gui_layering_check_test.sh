#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the window library's layering check on small made-up folders: the includes it must
# catch, the ones it must let pass, and a folder it cannot check.
# Usage: gui_layering_check_test.sh PATH_OF_gui_layering_check.sh
set -u

check=${1:?usage: gui_layering_check_test.sh CHECK_SCRIPT}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# A src/gui folder whose app/ includes itself and whose other folders keep below it.
make_clean_tree() {
    rm -rf "$work/gui"
    mkdir -p "$work/gui/app" "$work/gui/video" "$work/gui/ui"
    printf '#include "gui/app/MainWnd.h"\n#include "gui/video/VideoRows.h"\n' \
        >"$work/gui/app/MainWnd.cpp"
    printf '#pragma once\n#include "gui/ui/WindowMessages.h"\n' >"$work/gui/video/VideoRows.h"
    cat >"$work/gui/video/VideoRows.cpp" <<'SRC'
// The window (gui/app/MainWnd.h) hands this file what it uses.
#include "gui/video/VideoRows.h"
#include "gui/appearance/Theme.h"
const char* kText = "#include \"gui/app/MainWnd.h\"";
SRC
    printf '#pragma once\n' >"$work/gui/ui/WindowMessages.h"
}

# expect NAME STATUS: runs the check on the tree and compares its exit status.
expect() {
    sh "$check" "$work/gui" >"$work/out" 2>&1
    status=$?
    if [ "$status" -ne "$2" ]; then
        echo "FAIL $1: exit status $status, expected $2"
        sed 's/^/    /' "$work/out"
        failures=$((failures + 1))
    else
        echo "ok   $1"
    fi
}

make_clean_tree
expect "a tree that keeps below app/ passes" 0

for line in '#include "gui/app/MainWnd.h"' '#  include <gui/app/Messages.h>' \
    '  #include "../app/LoginDialog.h"' '#include "src/gui/app/AccountArea.h"'; do
    make_clean_tree
    printf '%s\n' "$line" >>"$work/gui/video/VideoRows.cpp"
    expect "caught: $line" 1
    if ! grep -q 'video/VideoRows.cpp' "$work/out"; then
        echo "FAIL the report of '$line' does not name the file"
        failures=$((failures + 1))
    fi
done

make_clean_tree
mkdir -p "$work/gui/video/dialogs"
printf '#pragma once\n#include "gui/app/Messages.h"\n' >"$work/gui/video/dialogs/Param Dialog.h"
expect "caught in a header of a subfolder, a blank in its name" 1

make_clean_tree
rm -rf "$work/gui/app"
expect "a folder without app/ cannot be checked" 2

make_clean_tree
rm -rf "$work/gui/video" "$work/gui/ui"
expect "a folder with nothing outside app/ cannot be checked" 2

[ "$failures" -eq 0 ] || exit 1
