// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/video/FfmpegRunner.h"

#include "core/platform/ChildProcess.h"

#include <QProcess>
#include <QRegularExpression>

#include <signal.h>

#include <algorithm>
#include <chrono>

namespace {

// How much of the output's end is kept to explain a failure.
constexpr qsizetype kKeptOutput = 8192;

qint64 NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// ffmpeg's last message that explains something: not a progress line, not the closing words,
// not the size summary, not a heading whose explanation is empty ("Error initializing output
// stream 0:0 -- "). ffmpeg's own lines come before those of its parts ("[libx264 @ 0x...] ..."):
// when a disk fills up mid-way, x264's statistics and the audio encoder's closing warnings
// follow the error. Only when nothing else is there does a part's line do.
QString LastMessage(const QByteArray& output)
{
    static const QRegularExpression partLine(QStringLiteral("^\\[[^\\]]* @ 0x[0-9a-fA-F]+\\] "));
    const QList<QByteArray> lines = QByteArray(output).replace('\r', '\n').split('\n');
    QString lastPartLine;
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        const QByteArray line = it->trimmed();
        if (line.isEmpty() || line.contains("time=") || line.startsWith("Conversion failed") ||
            line.startsWith("Exiting normally") || line.startsWith("Last message repeated") ||
            line.endsWith("--") || (line.startsWith("video:") && line.contains("muxing overhead")))
            continue;
        const QString text = QString::fromUtf8(line);
        if (partLine.match(text).hasMatch()) {
            if (lastPartLine.isEmpty()) lastPartLine = text;
            continue;
        }
        return text;
    }
    return lastPartLine;
}

// ffmpeg 5 can exit with status 0 and its success marker printed although the output could not
// be written to its end (a file size limit: the writes fail in its buffer and are only reported
// when the file is finished). The output is then cut short.
bool OutputWriteFailed(const QByteArray& output)
{
    return output.contains("Error writing trailer of ") || output.contains("Error closing file ");
}

}  // namespace

void FfmpegRunner::SetStopGrace(int ms)
{
    stopGraceMs_ = std::max(0, ms);
}

FfmpegOutcome FfmpegRunner::Run(const QString& program, const QStringList& arguments,
                                const StartHandler& started, const EventHandler& onEvent,
                                std::stop_token stop)
{
    FfmpegOutcome outcome;
    if (stop.stop_requested()) {
        outcome.kind = FfmpegOutcome::Kind::Stopped;
        return outcome;
    }

    platform::ChildProcess child;
    child.SetInputFile(QProcess::nullDevice());
    child.SetStopSteps({}, stopGraceMs_);
    if (!child.Start(program, arguments)) {
        outcome.reason = QStringLiteral("cannot start %1: %2").arg(program, child.ErrorText());
        return outcome;
    }
    outcome.started = true;
    outcome.processId = child.ProcessId();
    // A stop requested from now on (or already, while the child was being started) is carried
    // out by the reads below, on this thread.
    const std::stop_callback stopChild(stop, [&child] { child.RequestStop(); });
    if (started) started(outcome.processId);

    FfmpegOutputParser parser(progressIntervalMs_);
    QByteArray kept;
    const auto handle = [&](const std::vector<FfmpegEvent>& events) {
        for (const FfmpegEvent& event : events)
            if (onEvent) onEvent(event);
    };
    const platform::ChildProcess::ReadEnd end = child.ReadToEnd(
        [&](const QByteArray& chunk) {
            kept.append(chunk);
            if (kept.size() > kKeptOutput) kept.remove(0, kept.size() - kKeptOutput);
            handle(parser.Feed(chunk, NowMs()));
        },
        silenceLimitMs_);
    handle(parser.Finish(NowMs()));

    outcome.doneMarkerSeen = parser.DoneSeen();
    outcome.durationMs = parser.DurationMs();
    outcome.encodedMs = parser.LastTimeMs();
    outcome.normalExit = child.NormalExit();
    outcome.exitCode = outcome.normalExit ? child.ExitCode() : -1;
    // A file size limit whose signal was not ignored ends the writer instead of failing
    // its write: that is a full output, not a crash.
    const bool sizeLimit = !outcome.normalExit && outcome.started && child.ExitCode() == SIGXFSZ;

    if (stop.stop_requested()) {
        outcome.kind = FfmpegOutcome::Kind::Stopped;
    } else if (end == platform::ChildProcess::ReadEnd::Silent) {
        outcome.reason = QStringLiteral("ffmpeg printed nothing for %1 s and was killed")
                             .arg(silenceLimitMs_ / 1000);
    } else if (sizeLimit) {
        outcome.reason = QStringLiteral("ffmpeg was ended by the file size limit: File too large");
    } else if (!outcome.normalExit) {
        outcome.reason = QStringLiteral("ffmpeg crashed");
    } else if (outcome.exitCode != 0) {
        outcome.reason = QStringLiteral("ffmpeg exited with status %1").arg(outcome.exitCode);
    } else if (OutputWriteFailed(kept)) {
        outcome.reason = QStringLiteral("ffmpeg could not write its output to the end");
    } else if (!outcome.doneMarkerSeen) {
        outcome.reason = QStringLiteral("ffmpeg ended without finishing its output");
    } else {
        outcome.kind = FfmpegOutcome::Kind::Done;
    }
    if (outcome.kind == FfmpegOutcome::Kind::Failed) {
        // A write that found no room is the cause, whatever the encoders printed after it (and
        // a writer ended by the size limit printed nothing about it).
        const QString message = !parser.WriteError().isEmpty()
                                    ? QString::fromUtf8(parser.WriteError())
                                : sizeLimit ? QString()
                                            : LastMessage(kept);
        if (!message.isEmpty()) outcome.reason += QStringLiteral(": ") + message;
    }
    return outcome;
}
