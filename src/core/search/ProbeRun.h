// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <stop_token>

// One short ffmpeg run that a search or a budget makes before (or beside) the real encode: run
// to its end, its output's tail kept for its figures and errors.
namespace search {

// How long a stopped run gets after SIGTERM before it is killed.
inline constexpr int kProbeStopGraceMs = 300;

struct ChildRun {
    bool succeeded = false;
    bool stopped = false;
    QByteArray output;  // the end of it
};

// Runs the program to its end; a stop request makes the child stop (SIGTERM, then SIGKILL
// after kProbeStopGraceMs). Requested before the start, nothing is started. Each piece of
// output read is handed to onOutput too, when set.
ChildRun RunChild(const QString& program, const QStringList& arguments, std::stop_token stop,
                  const std::function<void(const QByteArray&)>& onOutput = nullptr);

// The output's last line that is not blank, trimmed: ffmpeg's last word on a failure.
QString LastLine(const QByteArray& output);

}  // namespace search
