// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/search/SoundSize.h"

#include <QFileInfo>

#include <algorithm>

#include "core/app/OwnFiles.h"
#include "core/search/ProbeRun.h"
#include "core/video/FfmpegCommand.h"
#include "core/video/FfmpegOutputParser.h"

namespace search {

QStringList SoundOnlyArguments(QStringList encodeArguments, const QString& soundPath)
{
    if (encodeArguments.isEmpty()) return encodeArguments;
    // "-vn" drops the picture however the streams are chosen, by "-map" too; its options
    // (rate, passes, filters) then apply to nothing.
    encodeArguments.removeLast();
    encodeArguments << QStringLiteral("-vn") << soundPath;
    return encodeArguments;
}

SoundMeasure MeasureSound(const QString& ffmpeg, const QStringList& encodeArguments,
                          const QString& extension, std::stop_token stop, double durationSeconds,
                          const std::function<void(double)>& progress)
{
    SoundMeasure measure;
    if (stop.stop_requested()) {
        measure.stopped = true;
        return measure;
    }
    // Recorded as ours, so what a killed run left is cleaned by the next one.
    const OwnFiles::Folder folder(PassLogRoot(), QStringLiteral("sound"));
    if (!folder.IsValid()) {
        measure.error = QStringLiteral("no folder for the sound below %1").arg(PassLogRoot());
        return measure;
    }
    const QString soundPath = folder.FilePath(
        QStringLiteral("sound.") + (extension.isEmpty() ? QStringLiteral("mkv") : extension));
    // ffmpeg's "time=" in its status lines: how much of the sound is written.
    FfmpegOutputParser parser(0);
    double shown = 0;
    const auto onOutput = [&](const QByteArray& chunk) {
        parser.Feed(chunk, 0);
        const double fraction =
            std::clamp(double(parser.LastTimeMs()) / (durationSeconds * 1000), 0.0, 1.0);
        if (fraction <= shown) return;
        shown = fraction;
        progress(fraction);
    };
    const bool reports = progress && durationSeconds > 0;
    const ChildRun run =
        RunChild(ffmpeg, SoundOnlyArguments(encodeArguments, soundPath), std::move(stop),
                 reports ? std::function<void(const QByteArray&)>(onOutput) : nullptr);
    if (run.stopped) {
        measure.stopped = true;
        return measure;
    }
    const QFileInfo written(soundPath);
    if (!run.succeeded || !written.exists()) {
        measure.error = LastLine(run.output);
        return measure;
    }
    measure.bytes = written.size();
    return measure;
}

}  // namespace search
