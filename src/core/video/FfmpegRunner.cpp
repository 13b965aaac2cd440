#include "core/video/FfmpegRunner.h"

#include "core/platform/ChildProcess.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace {

constexpr int kStartMs = 10000;
// SIGKILL cannot be caught: this only runs out for a child stuck in the kernel.
constexpr int kReapMs = 5000;
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

FfmpegOutcome FfmpegRunner::Run(const QString& program, const QStringList& arguments,
                                const StartHandler& started, const EventHandler& onEvent)
{
    FfmpegOutcome outcome;
    {
        std::lock_guard guard(mutex_);
        if (stopRequested_) {
            outcome.kind = FfmpegOutcome::Kind::Stopped;
            return outcome;
        }
    }

    QProcess process;
    platform::ConfigureChild(process);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(kStartMs)) {
        outcome.reason = QStringLiteral("cannot start %1: %2").arg(program, process.errorString());
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(kReapMs);
        }
        return outcome;
    }
    outcome.started = true;
    outcome.processId = process.processId();
    {
        std::lock_guard guard(mutex_);
        processId_ = outcome.processId;
        pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(processId_), 0));
        childRunning_ = true;
        // A Stop that came while the child was being started found nothing to signal.
        if (stopRequested_) Signal(SIGKILL);
    }
    if (started) started(outcome.processId);

    FfmpegOutputParser parser(progressIntervalMs_);
    QByteArray kept;
    auto handle = [&](const std::vector<FfmpegEvent>& events) {
        for (const FfmpegEvent& event : events)
            if (onEvent) onEvent(event);
    };
    bool silenced = false;
    QElapsedTimer silence;
    silence.start();
    for (;;) {
        const QByteArray chunk = process.readAll();
        if (!chunk.isEmpty()) {
            kept.append(chunk);
            if (kept.size() > kKeptOutput) kept.remove(0, kept.size() - kKeptOutput);
            handle(parser.Feed(chunk, NowMs()));
            silence.restart();
        }
        if (process.state() == QProcess::NotRunning) break;
        const qint64 left = silenceLimitMs_ - silence.elapsed();
        if (left <= 0) {
            silenced = true;
            process.kill();
            process.waitForFinished(kReapMs);
            continue;
        }
        process.waitForReadyRead(static_cast<int>(left));
    }
    handle(parser.Finish(NowMs()));

    bool stopped = false;
    {
        std::lock_guard guard(mutex_);
        stopped = stopRequested_;
        childRunning_ = false;
        if (pidfd_ >= 0) ::close(pidfd_);
        pidfd_ = -1;
        processId_ = 0;
    }
    childEnded_.notify_all();

    outcome.doneMarkerSeen = parser.DoneSeen();
    outcome.durationMs = parser.DurationMs();
    outcome.normalExit = process.exitStatus() == QProcess::NormalExit;
    outcome.exitCode = outcome.normalExit ? process.exitCode() : -1;

    if (stopped) {
        outcome.kind = FfmpegOutcome::Kind::Stopped;
    } else if (silenced) {
        outcome.reason = QStringLiteral("ffmpeg printed nothing for %1 s and was killed")
                             .arg(silenceLimitMs_ / 1000);
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
        const QString message = LastMessage(kept);
        if (!message.isEmpty()) outcome.reason += QStringLiteral(": ") + message;
    }
    return outcome;
}

void FfmpegRunner::Signal(int signal)
{
    if (pidfd_ >= 0) {
        ::syscall(SYS_pidfd_send_signal, pidfd_, signal, nullptr, 0);
    } else if (processId_ > 0) {
        // Kernels without pidfd: the child is not reaped while childRunning_ holds, except in
        // the moment between its end and Run taking the lock.
        ::kill(static_cast<pid_t>(processId_), signal);
    }
}

void FfmpegRunner::Stop(int graceMs)
{
    std::unique_lock lock(mutex_);
    stopRequested_ = true;
    if (!childRunning_) return;
    Signal(SIGTERM);
    if (childEnded_.wait_for(lock, std::chrono::milliseconds(std::max(0, graceMs)),
                             [this] { return !childRunning_; }))
        return;
    Signal(SIGKILL);
}

bool FfmpegRunner::StopRequested() const
{
    std::lock_guard guard(mutex_);
    return stopRequested_;
}
