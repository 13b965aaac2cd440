#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The window library's folders below app/ must not include app/'s headers: the main window owns
# and wires them and hands each one what it works with, so a circle back to it never forms.
# Lists every include of a gui/app/ header (also as <...>, as a longer path or as ../app/) in a
# file of the given src/gui folder outside its app/ folder, and fails when there is one.
# Usage: gui_layering_check.sh SRC_GUI_FOLDER
set -eu

gui=${1:?usage: gui_layering_check.sh SRC_GUI_FOLDER}
if [ ! -d "$gui/app" ]; then
    echo "gui_layering_check: $gui has no app folder" >&2
    exit 2
fi

pattern='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^">]*/)?(gui/app|(\.\./)+app)/'
sources=$(find "$gui" -path "$gui/app" -prune -o -type f \
    \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.cc' \) -print | wc -l)
if [ "$sources" -eq 0 ]; then
    echo "gui_layering_check: no sources below $gui outside app/" >&2
    exit 2
fi

found=$(find "$gui" -path "$gui/app" -prune -o -type f \
    \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.cc' \) \
    -exec grep -HnE "$pattern" {} + || true)
if [ -n "$found" ]; then
    echo "Only src/gui/app/ may include gui/app/ headers; these files reach back into it:" >&2
    echo "$found" >&2
    exit 1
fi
echo "gui_layering_check: $sources files outside app/, none includes gui/app/"
