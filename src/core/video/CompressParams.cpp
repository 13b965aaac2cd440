#include "core/video/CompressParams.h"

#include "core/app/Settings.h"

CompressSettings ResolveCompressSettings(const std::optional<CompressParams>& own)
{
    CompressSettings values;
    if (own) {
        // All seven together: a row's record never mixes with the settings.
        values.compressType = own->compressType;
        values.videoType = own->videoType;
        values.width = own->width;
        values.height = own->height;
        values.channel = own->channel;
        values.sampleRate = own->sampleRate;
        values.bitrate = own->bitrate;
        return values;
    }
    values.compressType = ReadSetting(settings::kCompressType);
    values.videoType = ReadSetting(settings::kVideoType);
    values.width = ReadSetting(settings::kVideoRatioWidth);
    values.height = ReadSetting(settings::kVideoRatioHeight);
    values.channel = ReadSetting(settings::kAudioChannel);
    values.sampleRate = ReadSetting(settings::kAudioSampleRate);
    values.bitrate = ReadSetting(settings::kAudioBitrate);
    return values;
}
