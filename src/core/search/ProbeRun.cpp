// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/search/ProbeRun.h"

#include <QProcess>
#include <QRegularExpression>

#include "core/platform/ChildProcess.h"

namespace search {

namespace {

// What is kept of a run's output: the end, where ffmpeg's report and errors stand.
constexpr qsizetype kOutputTail = 64 * 1024;

}  // namespace

ChildRun RunChild(const QString& program, const QStringList& arguments, std::stop_token stop,
                  const std::function<void(const QByteArray&)>& onOutput)
{
    ChildRun run;
    if (stop.stop_requested()) {
        run.stopped = true;
        return run;
    }
    platform::ChildProcess child;
    child.SetInputFile(QProcess::nullDevice());
    child.SetStopSteps({}, kProbeStopGraceMs);
    if (!child.Start(program, arguments)) {
        run.output = child.ErrorText().toUtf8();
        return run;
    }
    const std::stop_callback stopChild(stop, [&child] { child.RequestStop(); });
    QByteArray chunk;
    while (child.Read(chunk, 200) != platform::ChildProcess::ReadStatus::Ended) {
        if (onOutput && !chunk.isEmpty()) onOutput(chunk);
        run.output += chunk;
        if (run.output.size() > 2 * kOutputTail) run.output = run.output.right(kOutputTail);
    }
    run.stopped = child.WasStopped() || stop.stop_requested();
    run.succeeded = !run.stopped && child.NormalExit() && child.ExitCode() == 0;
    return run;
}

QString LastLine(const QByteArray& output)
{
    const QStringList lines = QString::fromUtf8(output).split(
        QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last().trimmed();
}

}  // namespace search
