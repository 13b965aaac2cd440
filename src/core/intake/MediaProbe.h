// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/intake/MediaInfoLibrary.h"
#include "core/intake/VideoInfo.h"

#include <QByteArray>
#include <QString>

#include <stop_token>

// Limits of one prober run: its time, and the size of the report kept (a report is a few KB per
// stream, so this only stops a runaway child).
inline constexpr int kProbeTimeoutMs = 3000;
inline constexpr qint64 kProbeMaxReportBytes = 16 * 1024 * 1024;

// Learns the facts of a video file by running ffprobe (beside the executable, else from PATH)
// on it and reading its JSON report, asking MediaInfo for the frame rate when the report has
// none. Starts from a fresh record; whatever cannot be learnt stays 0 or empty. Returns
// info.IsUsable(): false for a file that is damaged, not a video, or could not be probed within
// kProbeTimeoutMs (the prober is then killed). Never shows anything; prints diagnostics.
// A stop requested through stop ends the prober within about 100 ms (it is killed and reaped)
// and gives false. Any thread may probe; several probes may run at once.
bool ProbeVideo(const QString& path, VideoInfo& info, std::stop_token stop = {});

// Reads the prober's JSON report (its "streams" array and "format" object) into info, asking
// mediaInfo about the file at path when a video stream's average frame rate is "0/0". Fields the
// report does not give keep their value; a later stream of a kind overwrites an earlier one.
// Numbers are read independently of the process locale. False when the text is not a JSON
// object.
bool ParseProbeReport(const QByteArray& json, const QString& path, VideoInfo& info,
                      MediaInfoSource& mediaInfo);
