// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <string>

#include "core/search/SettingSearch.h"
#include "core/video/FfmpegCommand.h"

// Clips the search tests and the bench make themselves with ffmpeg's lavfi sources.
namespace searchtest {

enum class Clip {
    Grain,   // testsrc2 under moving noise: camera-like, costly to encode
    Screen,  // a mostly still test card with a little motion: screen-like, cheap
    Zoom,    // a zooming fractal: fine detail everywhere
    Text,    // lines of code scrolling up a light page, at 30 frames a second: a screen recording
};

// Makes the clip (with sine sound unless not withSound) at path, near-lossless H.264 in
// Matroska; true on success.
bool MakeClip(const QString& path, Clip clip, double seconds, const QString& size = "320x240",
              bool withSound = true);

// The plan of a constant-quality MP4 encode of the clip (H.264 unless codec says otherwise).
CommandPlan LookPlan(const QString& path, int codec = 0);

// The luma SSIM of a whole encoded file against its source, by ffmpeg's ssim filter; -1 on
// failure.
double FileSsim(const QString& encoded, const QString& source);

// The probes of a search as "setting=value" pairs, for failure messages; a video search's
// settings divided by its steps per CRF (VideoLookResult::crfSteps).
std::string ProbeList(const search::SearchResult& result, int stepsPerUnit = 1);

// Runs one command; true when it succeeded.
bool RunQuietly(const QString& program, const QStringList& arguments);

}  // namespace searchtest
