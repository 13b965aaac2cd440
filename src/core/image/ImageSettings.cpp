// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/ImageSettings.h"

#include "core/app/Settings.h"

ImageSettings ReadImageSettings(const QString& iniPath)
{
    ImageSettings values;
    values.compressType = ReadSettingFrom(iniPath, settings::kImageCompressType);
    values.imageType = ReadSettingFrom(iniPath, settings::kImageType);
    values.ratioIndex = ReadSettingFrom(iniPath, settings::kImageRatioIndex);
    values.gifDefineParam = ReadSettingFrom(iniPath, settings::kGifDefineParam);
    values.gifDropFrameIndex = ReadSettingFrom(iniPath, settings::kGifDropFrameIndex);
    values.keepSmaller = ReadSettingFrom(iniPath, settings::kKeepSmaller) != 0;
    values.look = ReadSettingFrom(iniPath, settings::kLook) != 0;
    values.maxBytes = ReadSettingFrom(iniPath, settings::kMaxSize);
    values.keepDates = ReadSettingFrom(iniPath, settings::kKeepDates) != 0;
    values.keepPhotoInfo = ReadSettingFrom(iniPath, settings::kKeepPhotoInfo) != 0;
    values.keepLocation = ReadSettingFrom(iniPath, settings::kKeepLocation) != 0;
    values.place = ReadPlaceChoice(iniPath);
    return values;
}
