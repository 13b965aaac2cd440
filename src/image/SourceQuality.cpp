#include "image/SourceQuality.h"

#include "app/TextUtil.h"

#include <QElapsedTimer>
#include <QProcess>

#include <fcntl.h>
#include <linux/close_range.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <string>

namespace {

// The identifier's report is one short line per frame; a megabyte is far more than any real
// report and still bounds a misbehaving one.
constexpr qint64 kMaxReport = 1 << 20;
// How long a killed child may take to be reaped.
constexpr int kReapMs = 5000;

constexpr char kMarker[] = "Quality:";

int Remaining(const QElapsedTimer& clock, int timeoutMs)
{
    return static_cast<int>(std::max<qint64>(0, timeoutMs - clock.elapsed()));
}

// Runs in the child between fork and exec (async-signal-safe calls only): the child inherits
// no descriptor beyond its standard three.
void MarkDescriptorsCloseOnExec(int fallbackLimit)
{
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
    for (int fd = 3; fd < fallbackLimit; ++fd) {
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC)) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}

void Append(platform::CaptureResult& result, const QByteArray& chunk, qint64 maxBytes)
{
    const qint64 room = std::max<qint64>(0, maxBytes - result.output.size());
    if (chunk.size() > room) {
        result.output.append(chunk.constData(), room);
        result.truncated = true;
    } else {
        result.output.append(chunk);
    }
}

}  // namespace

platform::CaptureResult SourceQuality::RunWithInput(const QString& program,
                                                    const QStringList& arguments,
                                                    const QString& inputFile, int timeoutMs,
                                                    qint64 maxBytes)
{
    platform::CaptureResult result;
    QElapsedTimer clock;
    clock.start();

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    const long openMax = ::sysconf(_SC_OPEN_MAX);
    const int limit = openMax > 0 && openMax < (1L << 20) ? static_cast<int>(openMax) : (1 << 20);
    process.setChildProcessModifier([limit] { MarkDescriptorsCloseOnExec(limit); });
    process.setStandardInputFile(inputFile);
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(Remaining(clock, timeoutMs))) {
        result.errorText = process.errorString();
        if (process.state() == QProcess::NotRunning) return result;
        result.started = true;
        result.timedOut = true;
        process.kill();
        process.waitForFinished(kReapMs);
        return result;
    }
    result.started = true;

    // Take what has arrived before every wait, so a full pipe never stalls the child.
    for (;;) {
        Append(result, process.readAll(), maxBytes);
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
        Append(result, process.readAll(), maxBytes);
        return result;
    }
    result.normalExit = process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    return result;
}

std::optional<int> SourceQuality::Parse(const QByteArray& report)
{
    const qsizetype at = report.indexOf(kMarker);
    if (at < 0) return std::nullopt;
    std::string digits;
    for (qsizetype i = at + qsizetype(sizeof(kMarker) - 1); i < report.size(); ++i) {
        const char c = report[i];
        if (c == '\r' || c == '\n') break;
        if (c != ' ') digits.push_back(c);
    }
    try {
        return std::stoi(digits);
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument("no number after \"Quality:\" in the identifier's report");
    } catch (const std::out_of_range&) {
        throw std::out_of_range("the number after \"Quality:\" is out of range");
    }
}

int SourceQuality::Read(const QString& identifyPath, const QString& sourcePath)
{
    DebugPrint("identifyPath: %s\n", WideToAnsi(identifyPath).c_str());
    if (identifyPath.isEmpty()) return kFallback;

    // "%[quality]" is the number the identifier's verbose report prints as "Quality:", and 0 where
    // that report has no such line. "-" reads the image from standard input.
    const auto run = RunWithInput(
        identifyPath, {"-ping", "-format", "Quality: %[quality]\n", "-"}, sourcePath, kTimeoutMs,
        kMaxReport);
    if (!run.started || run.timedOut) return kFallback;
    DebugPrint("szPipeOut:%s\n", run.output.constData());

    const std::optional<int> quality = Parse(run.output);
    if (!quality || *quality == 0) return kFallback;
    return *quality;
}
