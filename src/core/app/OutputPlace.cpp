// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/OutputPlace.h"

#include "core/app/Settings.h"

PlaceChoice ReadPlaceChoice(const QString& iniPath)
{
    PlaceChoice choice;
    choice.place = ReadSettingFrom(iniPath, settings::kPlace);
    choice.suffix = ReadSettingFrom(iniPath, settings::kPlaceSuffix);
    if (choice.suffix.isEmpty()) choice.suffix = QString::fromLatin1(choices::kDefaultPlaceSuffix);
    return choice;
}
