// SPDX-License-Identifier: GPL-3.0-or-later
// Stopping the real lumocompress-cli with a signal while ffmpeg encodes.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <signal.h>

#include "cli/CliTestSupport.h"
#include "support/TestEnv.h"

using namespace clitest;

namespace {

class CliStopTest : public ::testing::TestWithParam<int> {};

TEST_P(CliStopTest, SignalEndsTheEncoderRemovesItsPartialOutputAndNothingElse)
{
    QTemporaryDir root;
    const QString in = root.path() + "/in/";
    const QString out = root.path() + "/out/";
    // Long enough that the encode is still running when the signal comes.
    ASSERT_TRUE(testenv::MakeVideo(in + "long.mp4", 30.0, "640x480"));
    ASSERT_TRUE(testenv::MakeVideo(in + "next.mp4", 1.0));
    MakeImage("rose:", in + "rose.png");
    ASSERT_TRUE(testenv::WriteFile(out + "earlier.mkv", "an earlier output"));

    QProcess cli;
    cli.start(Program(), {"--output", out, "--container", "mkv", "--balanced", in + "long.mp4",
                          in + "next.mp4", in + "rose.png"});
    ASSERT_TRUE(cli.waitForStarted());
    const pid_t pid = static_cast<pid_t>(cli.processId());

    pid_t encoder = 0;
    QDeadlineTimer deadline(60000);
    // ffmpeg writes a hidden temporary file; the final name comes only with a finished file.
    const QString part = out + ".long.lumo-part.mkv";
    while (!deadline.hasExpired() &&
           !(encoder && QFileInfo(part).size() > 0 && QFileInfo(out + "rose.png").exists())) {
        for (const ChildProcess& child : ChildrenOf(pid))
            if (child.name == "ffmpeg") encoder = child.pid;
        QThread::msleep(20);
    }
    ASSERT_NE(encoder, 0) << "ffmpeg never ran";
    ASSERT_GT(QFileInfo(part).size(), 0) << "no partial output to remove";
    EXPECT_FALSE(QFileInfo::exists(out + "long.mkv"));
    ASSERT_TRUE(QFileInfo(out + "rose.png").exists()) << "the image did not finish alongside";

    ::kill(pid, GetParam());
    ASSERT_TRUE(cli.waitForFinished(20000));
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    // As a shell reports a command the signal ended: 130 for Ctrl-C.
    EXPECT_EQ(cli.exitCode(), 128 + GetParam());
    EXPECT_FALSE(ProcessAlive(encoder));
    // The partial file is gone, the waiting video never started, earlier files stay.
    EXPECT_EQ(Names(out), QStringList({"earlier.mkv", "rose.png"}));
    EXPECT_EQ(Bytes(out + "earlier.mkv"), "an earlier output");

    const QString shown = QString::fromUtf8(cli.readAllStandardOutput());
    EXPECT_TRUE(shown.contains(QRegularExpression("long.mp4 .* stopped\n"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QRegularExpression("next.mp4 .* not started\n")));
    EXPECT_TRUE(shown.contains(QRegularExpression("rose.png .* done\n")));
    CliResult result;
    result.err = cli.readAllStandardError();
    const QStringList errors = result.FailureLines();
    ASSERT_EQ(errors.size(), 2) << errors.join('\n').toStdString();
    EXPECT_TRUE(errors[0].startsWith("stopped  ")) << errors[0].toStdString();
    EXPECT_EQ(errors[1], "lumocompress-cli: stopped; 2 of 3 files were not compressed");
}

TEST(CliTemporaryFilesTest, ARunKilledMidwayLeavesNothingInTheTemporaryFolder)
{
    // The run's settings are values in the process: nothing is written for them anywhere, so
    // a run that cannot clean up after itself leaves nothing behind either.
    QTemporaryDir root;
    const QString in = root.path() + "/in/";
    const QString tmp = root.path() + "/tmp";
    ASSERT_TRUE(QDir().mkpath(tmp));
    ASSERT_TRUE(testenv::MakeVideo(in + "long.mp4", 30.0, "640x480"));
    MakeImage("rose:", in + "rose.png");

    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TMPDIR", tmp);
    cli.setProcessEnvironment(environment);
    cli.start(Program(),
              {"--output", root.path() + "/out", "--balanced", in + "long.mp4", in + "rose.png"});
    ASSERT_TRUE(cli.waitForStarted());
    const pid_t pid = static_cast<pid_t>(cli.processId());
    pid_t encoder = 0;
    QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired() && !encoder) {
        for (const ChildProcess& child : ChildrenOf(pid))
            if (child.name == "ffmpeg") encoder = child.pid;
        QThread::msleep(20);
    }
    ASSERT_NE(encoder, 0) << "ffmpeg never ran";
    EXPECT_EQ(Names(tmp), QStringList()) << "while it runs";

    ::kill(pid, SIGKILL);
    ::kill(encoder, SIGKILL);
    ASSERT_TRUE(cli.waitForFinished(20000));
    EXPECT_EQ(QDir(tmp).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
    // Nor was the user's configuration touched.
    EXPECT_FALSE(QFileInfo::exists(testenv::ConfigHome() + "/LumoCompress/Config/configure.ini"));
}

INSTANTIATE_TEST_SUITE_P(Signals, CliStopTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) {
                             return std::string(info.param == SIGINT    ? "Interrupt"
                                                : info.param == SIGTERM ? "Terminate"
                                                                        : "HangUp");
                         });

}  // namespace
