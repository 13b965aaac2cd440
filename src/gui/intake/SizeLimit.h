// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

class QComboBox;
class QLineEdit;

// The "fit under a size" field: a number in a line edit and its unit in a list beside it
// (KB, MB, GB, 1024-based like the command line's K, M and G). Empty or 0 is no limit.
namespace sizelimit {

// The rows of the unit list, in its order.
enum Unit { kKb = 0, kMb = 1, kGb = 2 };

// The largest limit the settings store holds ("max-size" is a whole number of bytes under 2 GiB)
// and the smallest one taken.
inline constexpr qint64 kMaxBytes = 0x7fffffff;
inline constexpr qint64 kMinBytes = 1024;

// The bytes text means in unit: digits with at most one decimal point (blanks around them
// allowed), optionally followed by a unit of its own (K, KB, KiB, M, ..., any case) that takes
// the list's place. Empty text or 0 gives 0. Anything else gives nothing and, in error, the
// sentence that says what is wrong.
std::optional<qint64> Parse(const QString& text, int unit, QString* error = nullptr);

// How bytes are shown: the largest unit that shows them exactly with at most two decimals
// (else kilobytes with as many as they need), and an empty text for 0.
struct Shown {
    QString text;
    int unit = kMb;
};
Shown Show(qint64 bytes);

// Reads the pair of controls (nothing without them); the error as Parse.
std::optional<qint64> Read(const QLineEdit* edit, const QComboBox* unit, QString* error = nullptr);
// Shows bytes in the pair without notifying anyone of the change.
void Write(QLineEdit* edit, QComboBox* unit, qint64 bytes);

}  // namespace sizelimit
