// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

using platform::ChildProcess;
using platform::RunCapture;

namespace {

const QString kShell = QStringLiteral("/bin/sh");
constexpr qint64 kBigOutput = 3 * 1024 * 1024;

// True once the process is neither running nor a zombie waiting to be reaped.
bool ProcessGone(qint64 pid)
{
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == -1 && errno == ESRCH;
}

QStringList Script(const char* line)
{
    return {QStringLiteral("-c"), QString::fromUtf8(line)};
}

class ChildProcessCaptureCeiling : public ::testing::TestWithParam<qint64> {};

TEST_P(ChildProcessCaptureCeiling, ReadsWhileTheChildRunsAndKeepsAtMostTheCeiling)
{
    const qint64 maxBytes = GetParam();
    const auto result =
        RunCapture(QStringLiteral("/usr/bin/head"),
                   {"-c", QString::number(kBigOutput), "/dev/zero"}, 10000, maxBytes);
    // Never blocked on a full pipe: it ended by itself, well within the time.
    EXPECT_TRUE(result.normalExit && !result.timedOut && result.exitCode == 0);
    EXPECT_EQ(result.truncated, maxBytes < kBigOutput);
    EXPECT_EQ(result.output.size(), std::min(kBigOutput, maxBytes));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ChildProcessCaptureCeiling,
                         ::testing::Values(kBigOutput, kBigOutput - 1, 1000));

TEST(ChildProcessCapture, KillsAndReapsAChildThatOverrunsItsTime)
{
    QElapsedTimer clock;
    clock.start();
    const auto result = RunCapture(kShell, Script("echo $$; exec sleep 30"), 400, 4096);
    EXPECT_TRUE(result.started && result.timedOut && !result.normalExit);
    EXPECT_LT(clock.elapsed(), 2500);
    const qint64 pid = result.output.trimmed().toLongLong();
    EXPECT_TRUE(ProcessGone(pid)) << "pid " << pid << " is still there";
}

TEST(ChildProcessCapture, AMissingProgramDoesNotStart)
{
    const auto result = RunCapture(QStringLiteral("/nonexistent/lumo-tool"), {}, 3000, 4096);
    EXPECT_FALSE(result.started);
    EXPECT_FALSE(result.errorText.isEmpty());
}

TEST(ChildProcessCapture, ArgumentsReachTheChildUnchanged)
{
    const QStringList arguments = {"two words",   "it's",    "say \"hi\"", "$HOME", "`id`;|&",
                                   "line\nbreak", QString(), "中文 😀",     "-n"};
    // printf repeats its format for every argument: each comes back ended by a zero byte.
    const auto result =
        RunCapture(QStringLiteral("/usr/bin/printf"), QStringList{"%s\\0"} + arguments, 5000, 4096);
    ASSERT_TRUE(result.Succeeded()) << result.output.constData();
    QList<QByteArray> received = result.output.split('\0');
    received.removeLast();
    ASSERT_EQ(received.size(), arguments.size());
    for (qsizetype i = 0; i < arguments.size(); ++i)
        EXPECT_EQ(QString::fromUtf8(received[i]), arguments[i]);
}

TEST(ChildProcessCapture, TheChildInheritsOnlyTheStandardDescriptors)
{
    // A descriptor without close-on-exec, as a careless library might leave one.
    ASSERT_EQ(::dup2(STDIN_FILENO, 99), 99);
    // ls opens the folder it lists as its descriptor 3 itself.
    const auto result = RunCapture(QStringLiteral("/bin/ls"), {"/proc/self/fd"}, 5000, 4096);
    ::close(99);
    EXPECT_EQ(result.output, "0\n1\n2\n3\n");
}

TEST(ChildProcess, DeliversOutputAsItComesOnAWorkerThread)
{
    // No event loop on this thread: everything works through blocking waits.
    std::thread([] {
        ChildProcess child;
        ASSERT_TRUE(child.Start(kShell, Script("echo one; sleep 0.5; echo two >&2; exit 3")));
        QElapsedTimer clock;
        clock.start();
        QByteArray chunk;
        ASSERT_EQ(child.Read(chunk, 5000), ChildProcess::ReadStatus::Data);
        EXPECT_EQ(chunk, "one\n");
        EXPECT_LT(clock.elapsed(), 400) << "the first line waited for the second";

        QByteArray rest;
        while (child.Read(chunk, 5000) != ChildProcess::ReadStatus::Ended) rest += chunk;
        EXPECT_EQ(rest, "two\n");  // standard error comes in the same stream
        EXPECT_TRUE(child.NormalExit());
        EXPECT_EQ(child.ExitCode(), 3);
        EXPECT_FALSE(child.WasStopped());
    }).join();
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
    ASSERT_EQ(chunk, "ready\n");  // the trap is set

    QElapsedTimer clock;
    clock.start();
    child.Stop();
    EXPECT_GE(clock.elapsed(), 500);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(child.WasStopped());
    EXPECT_FALSE(child.NormalExit());
    EXPECT_TRUE(ProcessGone(pid));
}

TEST(ChildProcess, RequestStopFromAnotherThreadEndsAWaitingRead)
{
    ChildProcess child;
    child.SetStopSteps({}, 1000);
    ASSERT_TRUE(child.Start(QStringLiteral("/bin/sleep"), {"30"}));
    const qint64 pid = child.ProcessId();
    QByteArray chunk;
    EXPECT_EQ(child.Read(chunk, 200), ChildProcess::ReadStatus::Timeout);

    std::thread stopper([&child] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        child.RequestStop();
    });
    QElapsedTimer clock;
    clock.start();
    const ChildProcess::ReadStatus status = child.Read(chunk, 10000);
    stopper.join();
    EXPECT_EQ(status, ChildProcess::ReadStatus::Ended);
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_TRUE(child.WasStopped());
    EXPECT_TRUE(ProcessGone(pid));
}

TEST(ChildProcess, ReadToEndHandsOnEveryPieceAndKillsASilentChild)
{
    // Talks, then falls silent for longer than the limit.
    ChildProcess child;
    ASSERT_TRUE(child.Start(kShell, Script("echo one; sleep 0.1; echo two; exec sleep 30")));
    const qint64 pid = child.ProcessId();
    QByteArray output;
    QElapsedTimer clock;
    clock.start();
    const auto end = child.ReadToEnd([&output](const QByteArray& chunk) { output += chunk; }, 400);
    EXPECT_EQ(end, ChildProcess::ReadEnd::Silent);
    EXPECT_GE(clock.elapsed(), 400);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(output, "one\ntwo\n");
    EXPECT_FALSE(child.NormalExit());
    EXPECT_FALSE(child.WasStopped()) << "killed for silence, not stopped";
    EXPECT_TRUE(ProcessGone(pid));

    // A child that ends by itself within the limit, its input the null device.
    ChildProcess quiet;
    quiet.SetInputFile(QStringLiteral("/dev/null"));
    ASSERT_TRUE(quiet.Start(kShell, Script("cat; echo done")));
    output.clear();
    EXPECT_EQ(quiet.ReadToEnd([&output](const QByteArray& chunk) { output += chunk; }, 5000),
              ChildProcess::ReadEnd::Ended);
    EXPECT_EQ(output, "done\n") << "cat read an empty input";
    EXPECT_TRUE(quiet.NormalExit());
    EXPECT_EQ(quiet.ExitCode(), 0);
}

TEST(ChildProcess, TheDestructorReapsARunningChild)
{
    qint64 pid = 0;
    {
        ChildProcess child;
        ASSERT_TRUE(child.Start(QStringLiteral("/bin/sleep"), {"30"}));
        pid = child.ProcessId();
    }
    EXPECT_TRUE(ProcessGone(pid));
}

}  // namespace
