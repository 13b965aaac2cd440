// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <array>
#include <climits>
#include <span>

// Every key of "configure.ini" with its type and its default, in one table. Readers ask the file
// each time (a change reaches the next reader at once); writers write at the moment of the
// user's choice.
// A stored value the program does not write reads as the default. Numbers are whole numbers
// only ("1.5", "1e3" and "2x" are none) within [minValue, maxValue]; a setting that holds a row
// of a list below (a choice, a list position) must name one of its rows, and one that holds a
// list's value (the picture size, the audio values) one of that list's values.
struct IntSetting {
    const char* key;
    int defaultValue;
    int minValue = INT_MIN;
    int maxValue = INT_MAX;
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
inline constexpr IntSetting kWindowClose{"window-close", 0, 0, 1};
inline constexpr IntSetting kImageCompressType{"image-compress-type", 0};
inline constexpr IntSetting kImageType{"image-type", 0};
inline constexpr IntSetting kImageRatioIndex{"image-ratio-index", 0};
inline constexpr IntSetting kImageDefineParam{"image-define-param", 0, 0, 1};
inline constexpr IntSetting kGifDefineParam{"gif-define-param", 0, 0, 1};
inline constexpr IntSetting kGifDropFrameIndex{"gif-drop-frame-index", 0};
inline constexpr StringSetting kUserRealIp{"user-real-ip", 56};
// 1: an output that is not smaller than its source is not kept (the settings dialog).
inline constexpr IntSetting kKeepSmaller{"keep-smaller", 0, 0, 1};
// The video encoder of outputs in a new MP4 or MKV container: 0 H.264 (the templates as they
// are), 1 H.265, 2 AV1.
inline constexpr IntSetting kVideoCodec{"video-codec", 0};
// 1: "the same look, the smallest file": the encoder setting is searched for the strength's look.
inline constexpr IntSetting kLook{"look", 0, 0, 1};
// Bytes every output must fit under (a video's rate, an image's quality and scale are chosen
// for it); 0 for no limit.
inline constexpr IntSetting kMaxSize{"max-size", 0, 0, INT_MAX};
// 1: a video output keeps every audio track, the subtitles its container holds, the chapters and
// the source's metadata (title, creation time, rotation); 0 (the default): one video and one
// audio track, as the templates choose them.
inline constexpr IntSetting kKeepTracks{"keep-tracks", 0, 0, 1};
// 1: an output takes its source's modification and access times (videos and images).
inline constexpr IntSetting kKeepDates{"keep-dates", 0, 0, 1};
// 1: an image output keeps its source's EXIF and XMP (date taken, camera, lens, exposure, the
// maker's notes where the format holds them) and PNG text, the orientation written as normal
// once the pixels are turned; the location is removed unless "keep-location" is 1 as well.
inline constexpr IntSetting kKeepPhotoInfo{"keep-photo-info", 0, 0, 1};
inline constexpr IntSetting kKeepLocation{"keep-location", 0, 0, 1};
// Where outputs go, a row of choices::kPlaces: 0 the output folder, flat (every output beside
// the others); 1 the output folder with the tree below each added folder; 2 beside each source
// under its name with "place-suffix" added; 3 in place of the source (only a smaller output
// replaces it, and the original goes to the desktop's trash).
inline constexpr IntSetting kPlace{"place", 0, 0, 3};
// The suffix of outputs written beside their sources; empty reads as "_small".
inline constexpr StringSetting kPlaceSuffix{"place-suffix", 64};

// "Config.ini" beside the executable or installed (see FindDataPath): the installation's
// distribution channel word.
inline constexpr StringSetting kChannelWord{"ag", 50};
// "Config.ini": the service address, scheme, host and port without a trailing "/".
inline constexpr StringSetting kServer{"server", 260};

}  // namespace settings

// The rows of the lists whose row and value are both stored ("video-ratio" on the main page and
// in a row's own parameters, the audio lists of the settings and the parameter dialog), in the
// order the lists show them.
struct Resolution {
    int width;
    int height;
};

namespace choices {

// Row 0 keeps the source's size.
inline constexpr std::array<Resolution, 13> kResolutions = {{{0, 0},
                                                             {1920, 1080},
                                                             {1280, 720},
                                                             {1024, 600},
                                                             {800, 600},
                                                             {720, 576},
                                                             {720, 480},
                                                             {640, 480},
                                                             {640, 360},
                                                             {480, 360},
                                                             {480, 272},
                                                             {352, 288},
                                                             {320, 240}}};
inline constexpr std::array<int, 2> kAudioChannels = {2, 1};
inline constexpr std::array<int, 13> kSampleRates = {
    96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350};
inline constexpr std::array<int, 4> kAudioBitrates = {320000, 128000, 96000, 64000};

}  // namespace choices

// One row of a choice whose position is stored: the word the command line takes for it and the
// main page's option (a radio button) that selects it.
struct Choice {
    const char* word;
    const char* pageOption;
};

// A setting chosen from rows, value = row position.
struct ChoiceSetting {
    const IntSetting* setting;
    std::span<const Choice> rows;
};

namespace choices {

inline constexpr std::array<Choice, 3> kVideoStrengths = {{{"general", "compress-type-general"},
                                                           {"deep", "compress-type-deep"},
                                                           {"limit", "compress-type-limit"}}};
inline constexpr std::array<Choice, 5> kContainers = {{{"keep", "radio-ori"},
                                                       {"mp4", "radio-mp4"},
                                                       {"flv", "radio-flv"},
                                                       {"mov", "radio-mov"},
                                                       {"mkv", "radio-mkv"}}};
inline constexpr std::array<Choice, 3> kImageStrengths = {
    {{"general", "image-compress-type-general"},
     {"deep", "image-compress-type-deep"},
     {"limit", "image-compress-type-limit"}}};
inline constexpr std::array<Choice, 4> kImageFormats = {{{"keep", "image-format-original"},
                                                         {"jpg", "image-format-jpg"},
                                                         {"webp", "image-format-webp"},
                                                         {"avif", "image-format-avif"}}};
inline constexpr std::array<Choice, 3> kVideoCodecs = {
    {{"h264", "video-codec-h264"}, {"h265", "video-codec-h265"}, {"av1", "video-codec-av1"}}};

// The rows of "place" with the words the command line's --place takes.
inline constexpr std::array<Choice, 4> kPlaces = {{{"flat", "place-flat"},
                                                   {"tree", "place-tree"},
                                                   {"beside", "place-beside"},
                                                   {"in-place", "place-in-place"}}};
inline constexpr char kDefaultPlaceSuffix[] = "_small";

// Every option group of the main page with the key its selection writes.
inline constexpr std::array<ChoiceSetting, 5> kPageOptionGroups = {{
    {&settings::kCompressType, kVideoStrengths},
    {&settings::kVideoType, kContainers},
    {&settings::kImageCompressType, kImageStrengths},
    {&settings::kImageType, kImageFormats},
    {&settings::kVideoCodec, kVideoCodecs},
}};

// The rows of "image-ratio" (0 keeps the size, 1..5 keep 90..50 % of the width) and of
// "gif-drop-frame".
inline constexpr int kImageRatioRows = 6;
inline constexpr int kGifDropFrameRows = 5;

}  // namespace choices

// Reads and writes of the table's keys in section "global" of "configure.ini".
int ReadSetting(const IntSetting& setting);
QString ReadSetting(const StringSetting& setting);
bool WriteSetting(const IntSetting& setting, int value);
bool WriteSetting(const StringSetting& setting, const QString& value);

// The reads below check that the file, when it is there, is used (see platform/ProfileFile.h:
// a regular file of at most 1 MiB that can be read). The first time one is not, a warning goes
// to the log (and a terminal); this returns those warnings once, a line per file, for the
// window's notice; empty when nothing went wrong or they were taken before.
QString TakeSettingsReadProblem();
// The same check for another settings file read through platform/ProfileFile.h ("Config.ini").
void CheckSettingsFile(const QString& iniPath);

// The same reads from the ini file at iniPath, which is only read (a missing file gives every
// default and is not created): for a reader that must leave the store alone.
int ReadSettingFrom(const QString& iniPath, const IntSetting& setting);
QString ReadSettingFrom(const QString& iniPath, const StringSetting& setting);
