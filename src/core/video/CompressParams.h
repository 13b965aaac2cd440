// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "core/app/OutputPlace.h"

#include <cstdint>
#include <functional>
#include <optional>

// A row's own video parameters, saved from the parameter dialog: thirteen 32-bit integers in
// this order. The *Index fields only preselect the dialog's lists; the engine reads the others.
struct CompressParams {
    std::int32_t unique_id = 0;     // task id of the row
    std::int32_t compressType = 0;  // 0 general, 1 deep, 2 limit
    std::int32_t videoType = 0;     // 0 keep the source's container, 1 mp4, 2 flv, 3 mov, 4 mkv
    std::int32_t ratioIndex = 0;
    std::int32_t width = 0;   // output width in pixels; 0 keeps the source size
    std::int32_t height = 0;  // output height in pixels; 0 keeps the source size
    std::int32_t channelIndex = 0;
    std::int32_t channel = 2;  // audio channel count
    std::int32_t sampleRateIndex = 0;
    std::int32_t sampleRate = 44100;  // audio sample rate in Hz
    std::int32_t bitrateIndex = 0;
    std::int32_t bitrate = 128000;  // audio bit rate in bits per second
    std::int32_t videoCodec = 0;    // 0 H.264, 1 H.265, 2 AV1 (see VideoSettings.h)

    bool operator==(const CompressParams&) const = default;
};
static_assert(sizeof(CompressParams) == 13 * sizeof(std::int32_t));

// The eight values one task is compressed with, taken from the row's own CompressParams or, when
// it has none, from the settings ("compress-type", "video-type", "video-ratio-width",
// "video-ratio-height", "audio-channel", "audio-sample-rate", "audio-bitrate", "video-codec").
struct CompressSettings {
    int compressType = 0;
    int videoType = 0;
    int width = 0;
    int height = 0;
    int channel = 2;
    int sampleRate = 44100;
    int bitrate = 128000;
    int codec = 0;  // 0 H.264, 1 H.265, 2 AV1

    bool operator==(const CompressSettings&) const = default;
};

// The main page's controls that adjust every task: "video-compress-check" with the value of
// "video-compress-slider" (0 to 100), "video-compress-balanced-check" and
// "video-compress-compatible-check". The UI thread keeps a copy current in the engine.
struct MainPageSnapshot {
    bool bitRateChecked = false;
    int bitRateSlider = 0;
    bool balancedChecked = false;
    bool compatibleChecked = false;
    // "video-quality-check": constant quality per strength under the source's bit rate.
    bool qualityMode = false;
    // "video-two-pass-check": two passes at the medium preset for the same bit rate.
    bool twoPass = false;
    // "keep-tracks": every audio track, the subtitles, chapters and metadata the output's
    // container holds (see TrackOptions in FfmpegCommand.h).
    bool keepTracks = false;

    bool operator==(const MainPageSnapshot&) const = default;
};

// What the video engine compresses a task with besides the row's own parameters, read when the
// task starts (see VideoEngine).
struct VideoSettings {
    CompressSettings settings;  // for a row without its own parameters
    MainPageSnapshot page;
    bool keepSmaller = false;  // "keep-smaller": an output not smaller than its source is dropped
    bool keepDates = false;    // "keep-dates": the output takes the source's file times
    PlaceChoice place;         // "place" and "place-suffix"
    QString outputFolder;      // an existing folder, no trailing "/" (see ResolveOutputFolder)
    // "look": a constant-quality encode searches the highest CRF that keeps the strength's
    // look (see VideoEngine).
    bool look = false;
    // "max-size": the output must fit under this many bytes; 0 for no limit. Takes precedence
    // over look.
    qint64 maxBytes = 0;
};

// Hands the engine the values a task starts with; called on the engine's worker thread.
using VideoSettingsReader = std::function<VideoSettings()>;

// The eight keys of section "global" of the ini file at iniPath, which is only read; a missing
// key or file, or a value the table does not allow (see Settings.h), gives the settings table's
// default. Width and height must be one of the list's sizes together, else both are 0.
CompressSettings ReadCompressSettings(const QString& iniPath);
// Sets look and maxBytes from the keys "look" and "max-size" of the same section, and place from
// "place" and "place-suffix", read the same way.
void ReadSearchChoices(const QString& iniPath, VideoSettings& values);

// The row's own values when it has a record (all eight together: a row's record never mixes
// with the settings), otherwise the settings' values.
CompressSettings ResolveCompressSettings(const std::optional<CompressParams>& own,
                                         const CompressSettings& settings);
