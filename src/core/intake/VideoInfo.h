// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include <string>

// The probed facts of one video file, as the video row keeps them and the video engine reads
// them to choose bit rates, codecs and audio settings. A fresh record has every text empty and
// every number 0; a probe leaves whatever it could not learn that way.
struct VideoInfo {
    QString frameRateText;     // as shown in the row: "29.97", or MediaInfo's own text
    int isVfr = 0;             // 1 when MediaInfo reports a variable frame rate
    qint64 fileSize = 0;       // bytes
    qint64 formatBitRate = 0;  // bits per second, whole file
    float formatDuration = 0;  // seconds, whole
    int width = 0;             // pixels
    int height = 0;            // pixels
    std::string videoCodec;    // codec name as the prober spells it, e.g. "h264"
    float videoDuration = 0;   // seconds, with fraction
    int videoBitRate = 0;      // bits per second
    int hasAudio = 0;          // 1 when at least one audio stream was seen
    std::string audioCodec;    // e.g. "aac"
    int audioChannels = 0;
    int audioSampleRate = 0;  // Hz
    float audioDuration = 0;  // seconds, whole
    int audioBitRate = 0;     // bits per second

    // A file the program can work with: a picture size and a size on disk.
    bool IsUsable() const { return width > 0 && height > 0 && fileSize > 0; }
};
