// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <stop_token>

// What the sound of an encode really takes in its container. Encoders write well under their
// nominal rate on quiet or tonal sound (AAC at 128 kbit/s takes about 110 on a sine), so a
// size fit budgets with the sound written alone, by the task's own options, into the task's
// own container.
namespace search {

// The encode's arguments (the run that writes the output, its output last) turned into the
// run that writes only what is not the picture (the sound, and any kept subtitle or data
// track, with their headers) to soundPath.
QStringList SoundOnlyArguments(QStringList encodeArguments, const QString& soundPath);

struct SoundMeasure {
    std::optional<qint64> bytes;  // the file of the sound alone; empty when not measured
    bool stopped = false;
    QString error;  // why it was not measured (ffmpeg's last line)
};

// Writes the sound alone (SoundOnlyArguments) to a file with the output's extension in a
// folder of its own below PassLogRoot(), reads its size, and removes the folder, however the
// run ends. A stop request ends the run within a second (stopped is then set). With a
// duration, progress is told the share of it written so far (0 to 1, rising) as ffmpeg
// reports it.
SoundMeasure MeasureSound(const QString& ffmpeg, const QStringList& encodeArguments,
                          const QString& extension, std::stop_token stop = {},
                          double durationSeconds = 0,
                          const std::function<void(double)>& progress = nullptr);

}  // namespace search
