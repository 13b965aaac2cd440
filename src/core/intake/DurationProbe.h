// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The duration of a media file in seconds, measured with the FFmpeg libraries: the duration of
// its first audio or video stream, or, when that stream carries none, the container's duration
// in whole seconds. 0.0 when the file cannot be opened (or no duration is known at all); -1.0
// when it has no audio or video stream. The path is UTF-8.
double ProbeDurationSeconds(const std::string& path);
