// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/platform/ChildProcess.h"

#include <QElapsedTimer>
#include <QProcess>

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>

namespace platform {

namespace {

// How long a killed child may take to be reaped. SIGKILL cannot be caught, so this only runs
// out for a child stuck in the kernel; QProcess's destructor then waits once more.
constexpr int kReapMs = 5000;
// How long Start waits for the program to be executed.
constexpr int kStartMs = 10000;
// The longest single wait inside Read, so that a RequestStop from another thread is noticed.
constexpr int kStopPollMs = 100;

int Remaining(const QElapsedTimer& clock, int timeoutMs)
{
    return static_cast<int>(std::max<qint64>(0, timeoutMs - clock.elapsed()));
}

// Runs in the child between fork and exec, so it may only make async-signal-safe calls. Marks
// every descriptor above the standard three close-on-exec rather than closing it: QProcess's own
// pipe that reports a failed exec back to us must stay open until the exec.
void MarkDescriptorsCloseOnExec(int fallbackLimit)
{
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
    // Kernels before 5.11 lack the flag: walk the descriptor table instead.
    for (int fd = 3; fd < fallbackLimit; ++fd) {
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC)) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}

void AppendLimited(CaptureResult& result, const QByteArray& chunk, qint64 maxBytes)
{
    const qint64 room = std::max<qint64>(0, maxBytes - result.output.size());
    if (chunk.size() > room) {
        result.output.append(chunk.constData(), room);
        result.truncated = true;
    } else {
        result.output.append(chunk);
    }
}

// Also runs between fork and exec: the child is killed when the thread that started it ends,
// which for our children (always reaped by the thread that started them) happens only when this
// process dies, by a signal it cannot catch included. A parent that died before the request
// took effect is noticed by the parent id having changed; the child then ends at once.
void DieWithParent(pid_t parent)
{
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) return;
    if (::getppid() != parent) ::_exit(127);
}

}  // namespace

void ConfigureChild(QProcess& process)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    const long openMax = ::sysconf(_SC_OPEN_MAX);
    const int limit = openMax > 0 && openMax < (1L << 20) ? static_cast<int>(openMax) : (1 << 20);
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([limit, parent] {
        DieWithParent(parent);
        MarkDescriptorsCloseOnExec(limit);
    });
}

CaptureResult RunCapture(const QString& program, const QStringList& arguments, int timeoutMs,
                         qint64 maxBytes, const QString& inputFile)
{
    CaptureResult result;
    QElapsedTimer clock;
    clock.start();

    QProcess process;
    ConfigureChild(process);
    process.setStandardInputFile(inputFile.isEmpty() ? QProcess::nullDevice() : inputFile);
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(Remaining(clock, timeoutMs))) {
        result.errorText = process.errorString();
        if (process.state() == QProcess::NotRunning) return result;
        // Still starting when the time ran out.
        result.started = true;
        result.timedOut = true;
        process.kill();
        process.waitForFinished(kReapMs);
        return result;
    }
    result.started = true;

    // Take what has arrived before every wait, so the pipe never fills and stalls the child.
    // A child that has ended is noticed inside waitForReadyRead, which then collects whatever
    // it left in the pipe; the last readAll picks that up.
    for (;;) {
        AppendLimited(result, process.readAll(), maxBytes);
        if (process.state() == QProcess::NotRunning) break;
        const int remaining = Remaining(clock, timeoutMs);
        if (remaining == 0) {
            result.timedOut = true;
            break;
        }
        process.waitForReadyRead(remaining);
    }

    if (result.timedOut) {
        process.kill();
        process.waitForFinished(kReapMs);
        AppendLimited(result, process.readAll(), maxBytes);
        return result;
    }
    result.normalExit = process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    return result;
}

ChildProcess::ChildProcess() = default;

ChildProcess::~ChildProcess()
{
    Stop();
}

void ChildProcess::SetStopSteps(const QByteArray& politeRequest, int graceMs)
{
    politeRequest_ = politeRequest;
    graceMs_ = std::max(0, graceMs);
}

void ChildProcess::SetInputFile(const QString& path)
{
    inputFile_ = path;
}

bool ChildProcess::Start(const QString& program, const QStringList& arguments)
{
    if (process_) return false;
    process_ = std::make_unique<QProcess>();
    ConfigureChild(*process_);
    if (!inputFile_.isEmpty()) process_->setStandardInputFile(inputFile_);
    process_->start(program, arguments);
    if (process_->waitForStarted(kStartMs)) {
        started_ = true;
        return true;
    }
    if (process_->state() != QProcess::NotRunning) {
        process_->kill();
        process_->waitForFinished(kReapMs);
    }
    return false;
}

ChildProcess::ReadStatus ChildProcess::Read(QByteArray& chunk, int timeoutMs)
{
    chunk.clear();
    if (!started_) return ReadStatus::Ended;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (stopRequested_.load() && process_->state() != QProcess::NotRunning) Stop();
        if (process_->bytesAvailable() > 0) {
            chunk = process_->readAll();
            return ReadStatus::Data;
        }
        if (process_->state() == QProcess::NotRunning) return ReadStatus::Ended;
        const int remaining = Remaining(clock, timeoutMs);
        if (remaining == 0) return ReadStatus::Timeout;
        process_->waitForReadyRead(std::min(remaining, kStopPollMs));
    }
}

ChildProcess::ReadEnd ChildProcess::ReadToEnd(
    const std::function<void(const QByteArray&)>& onOutput, int silenceMs)
{
    ReadEnd end = ReadEnd::Ended;
    QElapsedTimer silence;
    silence.start();
    QByteArray chunk;
    for (;;) {
        // Without a limit each wait is long; Read still notices a stop request meanwhile.
        const int waitMs = silenceMs > 0 ? Remaining(silence, silenceMs) : kStartMs;
        const ReadStatus status = Read(chunk, waitMs);
        if (status == ReadStatus::Ended) return end;
        if (status == ReadStatus::Data) {
            if (onOutput) onOutput(chunk);
            silence.restart();
        } else if (silenceMs > 0 && silence.elapsed() >= silenceMs && IsRunning()) {
            end = ReadEnd::Silent;
            Kill();
        }
    }
}

bool ChildProcess::Write(const QByteArray& data)
{
    if (!IsRunning()) return false;
    if (process_->write(data) != data.size()) return false;
    return process_->waitForBytesWritten(graceMs_) || process_->bytesToWrite() == 0;
}

bool ChildProcess::WaitForEnd(int timeoutMs)
{
    if (process_->state() == QProcess::NotRunning) return true;
    return process_->waitForFinished(timeoutMs) || process_->state() == QProcess::NotRunning;
}

void ChildProcess::Stop()
{
    if (!IsRunning()) return;
    stopped_ = true;
    if (!politeRequest_.isEmpty()) {
        Write(politeRequest_);
        if (WaitForEnd(graceMs_)) return;
    }
    process_->terminate();
    if (WaitForEnd(graceMs_)) return;
    process_->kill();
    WaitForEnd(kReapMs);
}

void ChildProcess::Kill()
{
    if (!IsRunning()) return;
    process_->kill();
    WaitForEnd(kReapMs);
}

void ChildProcess::RequestStop()
{
    stopRequested_.store(true);
}

bool ChildProcess::StopRequested() const
{
    return stopRequested_.load();
}

bool ChildProcess::IsRunning() const
{
    return started_ && process_->state() != QProcess::NotRunning;
}

qint64 ChildProcess::ProcessId() const
{
    return IsRunning() ? process_->processId() : 0;
}

QString ChildProcess::ErrorText() const
{
    return process_ ? process_->errorString() : QString();
}

bool ChildProcess::NormalExit() const
{
    return started_ && process_->state() == QProcess::NotRunning &&
           process_->exitStatus() == QProcess::NormalExit;
}

int ChildProcess::ExitCode() const
{
    return started_ && process_->state() == QProcess::NotRunning ? process_->exitCode() : -1;
}

bool ChildProcess::WasStopped() const
{
    return stopped_;
}

}  // namespace platform
