// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

// Text helpers of the console output: widths as a terminal shows them, so lines never wrap and
// table columns line up with file names in any script.
namespace console {

// Columns the text takes on a terminal: East Asian wide and full-width characters take two,
// combining marks and zero-width characters none, everything else one.
int DisplayWidth(const QString& text);

// The text cut to at most width columns, with "…" in the middle when it was cut (the end of a
// file name, its extension, is usually what tells files apart).
QString Elide(const QString& text, int width);

// The text padded with blanks on the right (left = false) or the left to width columns.
QString Pad(const QString& text, int width, bool left = false);

// A size in IEC units, the one system every size of the command line is shown in: "512 B",
// "137 KiB", "1.7 MiB", "2.3 GiB" (one decimal below 10 of a unit, none from 10 on).
QString IecSize(qint64 bytes);

}  // namespace console
