#include "core/video/CompressParams.h"

#include "core/app/Settings.h"

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
    return values;
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
