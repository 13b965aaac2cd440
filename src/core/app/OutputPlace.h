// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where a task's output goes ("place", see Settings.h): the row of choices::kPlaces and the
// suffix of outputs written beside their sources.
namespace place {
inline constexpr int kFlat = 0;
inline constexpr int kTree = 1;
inline constexpr int kBeside = 2;
inline constexpr int kInPlace = 3;
}  // namespace place

struct PlaceChoice {
    int place = place::kFlat;
    QString suffix;  // never empty once read: "_small" when the setting is empty

    bool operator==(const PlaceChoice&) const = default;
};

// "place" and "place-suffix" of section "global" of the ini file at iniPath, which is only read.
PlaceChoice ReadPlaceChoice(const QString& iniPath);
