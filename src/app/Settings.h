#pragma once

#include <QString>

// Every key of "configure.ini" with its type and its default, in one table. Readers ask the file
// each time (a change reaches the next reader at once); writers write at the moment of the
// user's choice.
struct IntSetting {
    const char* key;
    int defaultValue;
};

struct StringSetting {
    const char* key;
    int capacity;  // the reader's buffer in characters, terminating zero included
};

namespace settings {

inline constexpr char kSection[] = "global";

inline constexpr StringSetting kOutputDir{"output-dir", 260};
inline constexpr IntSetting kCompressType{"compress-type", 0};
inline constexpr IntSetting kVideoType{"video-type", 0};
inline constexpr IntSetting kVideoRatioIndex{"video-ratio-index", 0};
inline constexpr IntSetting kVideoRatioWidth{"video-ratio-width", 0};
inline constexpr IntSetting kVideoRatioHeight{"video-ratio-height", 0};
inline constexpr IntSetting kAudioChannel{"audio-channel", 2};
inline constexpr IntSetting kAudioChannelIndex{"audio-channel-index", 0};
inline constexpr IntSetting kAudioSampleRate{"audio-sample-rate", 44100};
inline constexpr IntSetting kAudioSampleRateIndex{"audio-sample-rate-index", 4};
inline constexpr IntSetting kAudioBitrate{"audio-bitrate", 128000};
inline constexpr IntSetting kAudioBitrateIndex{"audio-bitrate-index", 1};
inline constexpr IntSetting kWindowClose{"window-close", 0};
inline constexpr IntSetting kImageCompressType{"image-compress-type", 0};
inline constexpr IntSetting kImageType{"image-type", 0};
inline constexpr IntSetting kImageRatioIndex{"image-ratio-index", 0};
inline constexpr IntSetting kImageDefineParam{"image-define-param", 0};
inline constexpr IntSetting kGifDefineParam{"gif-define-param", 0};
inline constexpr IntSetting kGifDropFrameIndex{"gif-drop-frame-index", 0};
inline constexpr StringSetting kUserRealIp{"user-real-ip", 56};

// "Config.ini" beside the executable: the installation's distribution channel word.
inline constexpr StringSetting kChannelWord{"ag", 50};
// "Config.ini": the service address, scheme, host and port without a trailing "/".
inline constexpr StringSetting kServer{"server", 260};

}  // namespace settings

// Reads and writes of the table's keys in section "global" of "configure.ini".
int ReadSetting(const IntSetting& setting);
QString ReadSetting(const StringSetting& setting);
bool WriteSetting(const IntSetting& setting, int value);
bool WriteSetting(const StringSetting& setting, const QString& value);
