#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ostream>
#include <string>
#include <thread>

using platform::ChildProcess;
using platform::RunCapture;

namespace {

const QString kShell = QStringLiteral("/bin/sh");

// True once the process is neither running nor a zombie waiting to be reaped.
bool ProcessGone(qint64 pid)
{
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == -1 && errno == ESRCH;
}

// Runs a shell line as a child; the line itself is the test's script, not a file name.
QStringList Script(const char* line)
{
    return {QStringLiteral("-c"), QString::fromUtf8(line)};
}

// The first line of output, as a pid the script printed with "echo $$".
qint64 PidFrom(const QByteArray& output)
{
    return output.left(output.indexOf('\n')).trimmed().toLongLong();
}

// Reads until the child has ended, collecting everything.
QByteArray ReadToEnd(ChildProcess& child)
{
    QByteArray all;
    QByteArray chunk;
    for (int i = 0; i < 10000; ++i) {
        const ChildProcess::ReadStatus status = child.Read(chunk, 5000);
        if (status == ChildProcess::ReadStatus::Ended) break;
        all += chunk;
    }
    return all;
}

// ---------------------------------------------------------------------------------------------
// RunCapture

// A child writing far more than a pipe holds, against output ceilings around its size.
struct CeilingCase {
    qint64 maxBytes;
    bool truncated;
};

void PrintTo(const CeilingCase& c, std::ostream* os)
{
    *os << "ceiling " << c.maxBytes;
}

class ChildProcessCaptureCeiling : public ::testing::TestWithParam<CeilingCase> {};

constexpr qint64 kBigOutput = 3 * 1024 * 1024;

TEST_P(ChildProcessCaptureCeiling, ReadsWhileTheChildRunsAndKeepsAtMostTheCeiling)
{
    const CeilingCase c = GetParam();
    QElapsedTimer clock;
    clock.start();
    const auto result =
        RunCapture(QStringLiteral("/usr/bin/head"),
                   {"-c", QString::number(kBigOutput), "/dev/zero"}, 10000, c.maxBytes);
    // The child was never blocked on a full pipe: it ended by itself, well within the time.
    EXPECT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_TRUE(result.normalExit);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(result.truncated, c.truncated);
    EXPECT_EQ(result.output.size(), std::min(kBigOutput, c.maxBytes));
    EXPECT_EQ(result.Succeeded(), !c.truncated);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ChildProcessCaptureCeiling,
    ::testing::Values(CeilingCase{kBigOutput * 2, false}, CeilingCase{kBigOutput, false},
                      CeilingCase{kBigOutput - 1, true}, CeilingCase{1000, true}),
    [](const auto& info) { return "Ceiling" + std::to_string(info.param.maxBytes); });

TEST(ChildProcessCapture, KillsAndReapsAChildThatOverrunsItsTime)
{
    QElapsedTimer clock;
    clock.start();
    const auto result =
        RunCapture(kShell, Script("echo $$; echo partial; exec sleep 30"), 400, 4096);
    const qint64 elapsed = clock.elapsed();

    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.timedOut);
    EXPECT_FALSE(result.normalExit);
    EXPECT_FALSE(result.Succeeded());
    EXPECT_GE(elapsed, 400);
    EXPECT_LT(elapsed, 2500);
    // What it wrote before the time ran out is kept.
    EXPECT_TRUE(result.output.contains("partial"));
    const qint64 pid = PidFrom(result.output);
    EXPECT_TRUE(ProcessGone(pid)) << "pid " << pid << " is still there";
}

TEST(ChildProcessCapture, MergesStandardErrorAndReportsTheExitStatus)
{
    const auto result = RunCapture(kShell, Script("echo out; echo err >&2; exit 7"), 5000, 4096);
    EXPECT_TRUE(result.normalExit);
    EXPECT_EQ(result.exitCode, 7);
    EXPECT_EQ(result.output, "out\nerr\n");
    EXPECT_FALSE(result.Succeeded());
}

TEST(ChildProcessCapture, AChildKilledByASignalIsNoNormalExit)
{
    const auto result = RunCapture(kShell, Script("kill -SEGV $$"), 5000, 4096);
    EXPECT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_FALSE(result.normalExit);
}

TEST(ChildProcessCapture, AMissingProgramDoesNotStart)
{
    QElapsedTimer clock;
    clock.start();
    const auto result =
        RunCapture(QStringLiteral("/nonexistent/lumo-no-such-tool"), {}, 3000, 4096);
    EXPECT_FALSE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_FALSE(result.errorText.isEmpty());
    EXPECT_TRUE(result.output.isEmpty());
    EXPECT_LT(clock.elapsed(), 2000);
}

TEST(ChildProcessCapture, ArgumentsReachTheChildUnchanged)
{
    const QStringList arguments = {
        QStringLiteral("two words"),   QStringLiteral("it's"),   QStringLiteral("say \"hi\""),
        QStringLiteral("$HOME"),       QStringLiteral("`id`"),   QStringLiteral("a;b|c&d"),
        QStringLiteral("line\nbreak"), QStringLiteral("*"),      QString(),
        QStringLiteral("中文 😀"),      QStringLiteral("\\back"), QStringLiteral("-n"),
    };
    // printf repeats its format for every argument: each comes back ended by a zero byte.
    QStringList printfArguments = {QStringLiteral("%s\\0")};
    printfArguments += arguments;
    const auto result = RunCapture(QStringLiteral("/usr/bin/printf"), printfArguments, 5000, 4096);
    ASSERT_TRUE(result.Succeeded()) << result.output.constData();

    QList<QByteArray> received = result.output.split('\0');
    ASSERT_EQ(received.takeLast(), QByteArray());
    ASSERT_EQ(received.size(), arguments.size());
    for (qsizetype i = 0; i < arguments.size(); ++i)
        EXPECT_EQ(QString::fromUtf8(received[i]), arguments[i]) << "argument " << i;
}

TEST(ChildProcessCapture, TheChildInheritsOnlyTheStandardDescriptors)
{
    // A descriptor without close-on-exec, as a careless library might leave one.
    const int stray = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(stray, 0);
    ASSERT_EQ(::dup2(stray, 99), 99);
    ASSERT_EQ(::fcntl(99, F_GETFD) & FD_CLOEXEC, 0);

    // ls opens the folder it lists as its descriptor 3 itself.
    const auto result = RunCapture(QStringLiteral("/bin/ls"), {"/proc/self/fd"}, 5000, 4096);
    ::close(99);
    ::close(stray);
    ASSERT_TRUE(result.Succeeded());
    EXPECT_EQ(result.output.split('\n'), QList<QByteArray>({"0", "1", "2", "3", ""}));
}

// ---------------------------------------------------------------------------------------------
// ChildProcess

TEST(ChildProcess, DeliversOutputAsItComesOnAWorkerThread)
{
    // No event loop on this thread: everything works through blocking waits.
    std::thread worker([] {
        ChildProcess child;
        ASSERT_TRUE(child.Start(kShell, Script("echo one; sleep 0.5; echo two; exit 3")));
        EXPECT_TRUE(child.IsRunning());
        EXPECT_GT(child.ProcessId(), 0);

        QElapsedTimer clock;
        clock.start();
        QByteArray chunk;
        ASSERT_EQ(child.Read(chunk, 5000), ChildProcess::ReadStatus::Data);
        EXPECT_EQ(chunk, "one\n");
        EXPECT_LT(clock.elapsed(), 400) << "the first line waited for the second";

        EXPECT_EQ(ReadToEnd(child), "two\n");
        EXPECT_FALSE(child.IsRunning());
        EXPECT_TRUE(child.NormalExit());
        EXPECT_EQ(child.ExitCode(), 3);
        EXPECT_FALSE(child.WasStopped());
        // Ended stays ended.
        EXPECT_EQ(child.Read(chunk, 100), ChildProcess::ReadStatus::Ended);
    });
    worker.join();
}

TEST(ChildProcess, ReadsMoreThanAPipeHolds)
{
    ChildProcess child;
    ASSERT_TRUE(child.Start(QStringLiteral("/usr/bin/head"),
                            {"-c", QString::number(kBigOutput), "/dev/zero"}));
    EXPECT_EQ(ReadToEnd(child).size(), kBigOutput);
    EXPECT_TRUE(child.NormalExit());
    EXPECT_EQ(child.ExitCode(), 0);
}

TEST(ChildProcess, AReadTimesOutWhileTheChildIsSilent)
{
    ChildProcess child;
    child.SetStopSteps({}, 1000);
    ASSERT_TRUE(child.Start(QStringLiteral("/bin/sleep"), {"30"}));
    const qint64 pid = child.ProcessId();
    QElapsedTimer clock;
    clock.start();
    QByteArray chunk;
    EXPECT_EQ(child.Read(chunk, 300), ChildProcess::ReadStatus::Timeout);
    EXPECT_GE(clock.elapsed(), 300);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_TRUE(chunk.isEmpty());
    EXPECT_TRUE(child.IsRunning());

    // sleep ends on the terminate step.
    clock.restart();
    child.Stop();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_TRUE(child.WasStopped());
    EXPECT_FALSE(child.NormalExit());
    EXPECT_TRUE(ProcessGone(pid));
    EXPECT_EQ(child.Read(chunk, 100), ChildProcess::ReadStatus::Ended);
}

TEST(ChildProcess, StopKillsAChildThatIgnoresTerminateAfterTheGrace)
{
    ChildProcess child;
    child.SetStopSteps({}, 500);
    ASSERT_TRUE(
        child.Start(kShell, Script("trap '' TERM; echo ready; while :; do sleep 0.05; done")));
    const qint64 pid = child.ProcessId();
    QByteArray chunk;
    ASSERT_EQ(child.Read(chunk, 5000), ChildProcess::ReadStatus::Data);
    ASSERT_EQ(chunk, "ready\n");

    QElapsedTimer clock;
    clock.start();
    child.Stop();
    EXPECT_GE(clock.elapsed(), 500);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(child.WasStopped());
    EXPECT_FALSE(child.NormalExit());
    EXPECT_TRUE(ProcessGone(pid));
}

TEST(ChildProcess, StopAsksPolitelyFirst)
{
    ChildProcess child;
    child.SetStopSteps("q\n", 3000);
    ASSERT_TRUE(child.Start(kShell, Script("read answer; echo got $answer; exit 0")));
    QElapsedTimer clock;
    clock.start();
    child.Stop();
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(child.WasStopped());
    // It ended by itself on the request, and what it said on the way out can still be read.
    EXPECT_TRUE(child.NormalExit());
    EXPECT_EQ(child.ExitCode(), 0);
    EXPECT_EQ(ReadToEnd(child), "got q\n");
}

TEST(ChildProcess, RequestStopFromAnotherThreadEndsABlockedRead)
{
    ChildProcess child;
    child.SetStopSteps({}, 1000);
    ASSERT_TRUE(child.Start(QStringLiteral("/bin/sleep"), {"30"}));
    const qint64 pid = child.ProcessId();

    std::thread stopper([&child] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        child.RequestStop();
    });
    QElapsedTimer clock;
    clock.start();
    QByteArray chunk;
    const ChildProcess::ReadStatus status = child.Read(chunk, 10000);
    stopper.join();
    EXPECT_EQ(status, ChildProcess::ReadStatus::Ended);
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_TRUE(child.StopRequested());
    EXPECT_TRUE(child.WasStopped());
    EXPECT_TRUE(ProcessGone(pid));
}

TEST(ChildProcess, TheDestructorStopsAndReapsARunningChild)
{
    qint64 pid = 0;
    {
        ChildProcess child;
        child.SetStopSteps({}, 500);
        ASSERT_TRUE(child.Start(QStringLiteral("/bin/sleep"), {"30"}));
        pid = child.ProcessId();
        ASSERT_FALSE(ProcessGone(pid));
    }
    EXPECT_TRUE(ProcessGone(pid));
}

TEST(ChildProcess, AMissingProgramDoesNotStart)
{
    ChildProcess child;
    EXPECT_FALSE(child.Start(QStringLiteral("/nonexistent/lumo-no-such-tool"), {}));
    EXPECT_FALSE(child.IsRunning());
    EXPECT_FALSE(child.ErrorText().isEmpty());
    QByteArray chunk;
    EXPECT_EQ(child.Read(chunk, 100), ChildProcess::ReadStatus::Ended);
    EXPECT_FALSE(child.NormalExit());
    EXPECT_FALSE(child.Write("q"));
}

}  // namespace
