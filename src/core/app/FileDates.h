// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Gives the file at target the modification and access times of the file at source, to the
// nanosecond. The source's link is followed (its dates are those of the file the user chose);
// the target's is not, so a link put in the output's place is never touched through. False,
// with the reason in *error when given, when the source cannot be read or the target's times
// cannot be set.
bool CopyFileDates(const QString& source, const QString& target, QString* error = nullptr);
