// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/video/CompressParams.h"

#include "core/app/Settings.h"

#include <algorithm>

CompressSettings ReadCompressSettings(const QString& iniPath)
{
    CompressSettings values;
    values.compressType = ReadSettingFrom(iniPath, settings::kCompressType);
    values.videoType = ReadSettingFrom(iniPath, settings::kVideoType);
    values.width = ReadSettingFrom(iniPath, settings::kVideoRatioWidth);
    values.height = ReadSettingFrom(iniPath, settings::kVideoRatioHeight);
    values.channel = ReadSettingFrom(iniPath, settings::kAudioChannel);
    values.sampleRate = ReadSettingFrom(iniPath, settings::kAudioSampleRate);
    values.bitrate = ReadSettingFrom(iniPath, settings::kAudioBitrate);
    values.codec = ReadSettingFrom(iniPath, settings::kVideoCodec);
    // Width and height are one of the main page's sizes together; a pair that is none of them
    // (a width of one row with the height of another, or half a pair) keeps the source's size.
    const bool listed = std::any_of(
        choices::kResolutions.begin(), choices::kResolutions.end(), [&](const Resolution& row) {
            return row.width == values.width && row.height == values.height;
        });
    if (!listed) values.width = values.height = 0;
    return values;
}

void ReadSearchChoices(const QString& iniPath, VideoSettings& values)
{
    values.look = ReadSettingFrom(iniPath, settings::kLook) != 0;
    values.maxBytes = ReadSettingFrom(iniPath, settings::kMaxSize);
    values.place = ReadPlaceChoice(iniPath);
}

CompressSettings ResolveCompressSettings(const std::optional<CompressParams>& own,
                                         const CompressSettings& settings)
{
    if (!own) return settings;
    CompressSettings values;
    values.compressType = own->compressType;
    values.videoType = own->videoType;
    values.width = own->width;
    values.height = own->height;
    values.channel = own->channel;
    values.sampleRate = own->sampleRate;
    values.bitrate = own->bitrate;
    values.codec = own->videoCodec;
    return values;
}
