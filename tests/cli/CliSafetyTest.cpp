// What the real lumocompress-cli does when things go wrong: a killed run, a full disk, files
// that are not regular files or have names that are not UTF-8, a cut source, an unreadable
// settings file.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/CliTestSupport.h"
#include "support/TestEnv.h"

using namespace clitest;

namespace {

class CliSafetyTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return root_.path() + "/" + name; }
    CliResult Cli(const QStringList& arguments, int timeoutMs = 120000)
    {
        return RunCli(QStringList{"--json", "--output", Path("out")} + arguments, root_.path(),
                      timeoutMs);
    }
    // The result line of the source whose path ends with the text.
    static QJsonObject ResultFor(const CliResult& result, const QString& ending)
    {
        for (const QJsonObject& line : result.JsonLines())
            if (line.value("source").toString().endsWith(ending)) return line;
        return {};
    }

    QTemporaryDir root_;
};

// The command line is killed outright: its ffmpeg goes with it at once (it must not go on
// writing for nobody), and the next run in the folder removes the hidden file it left.
TEST_F(CliSafetyTest, AKilledRunTakesItsEncoderAlongAndTheNextRunCleansUp)
{
    ASSERT_TRUE(testenv::MakeVideo(Path("in/long.mp4"), 30.0, "640x480"));
    ASSERT_TRUE(testenv::MakeVideo(Path("in/short.mp4"), 1.0));
    ASSERT_TRUE(QDir().mkpath(Path("out")));
    const QString part = Path("out/.long.lumo-part.mkv");

    QProcess cli;
    cli.start(Program(), {"--output", Path("out"), "--container", "mkv", Path("in/long.mp4")});
    ASSERT_TRUE(cli.waitForStarted());
    const pid_t pid = static_cast<pid_t>(cli.processId());
    pid_t encoder = 0;
    QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired() && !(encoder && QFileInfo(part).size() > 0)) {
        for (const ChildProcess& child : ChildrenOf(pid))
            if (child.name == "ffmpeg") encoder = child.pid;
        QThread::msleep(20);
    }
    ASSERT_NE(encoder, 0) << "ffmpeg never ran";
    ASSERT_GT(QFileInfo(part).size(), 0);
    EXPECT_EQ(Names(Path("out")), QStringList{".long.lumo-part.mkv"}) << "no final name yet";

    ::kill(pid, SIGKILL);
    ASSERT_TRUE(cli.waitForFinished(10000));
    QDeadlineTimer gone(1000);
    while (!gone.hasExpired() && ProcessAlive(encoder)) QThread::msleep(10);
    EXPECT_FALSE(ProcessAlive(encoder)) << "ffmpeg outlived the killed program by a second";
    if (ProcessAlive(encoder)) ::kill(encoder, SIGKILL);
    EXPECT_TRUE(QFile::exists(part)) << "the killed run could not clean up";

    const CliResult next = Cli({"--container", "mkv", Path("in/short.mp4")});
    EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
    EXPECT_EQ(Names(Path("out")), QStringList{"short.mkv"});
}

// A disk that fills up mid-way (a file size limit on ffmpeg makes its writes fail the same
// way): the file fails with the system's reason and no file of it is left, hidden or not.
TEST_F(CliSafetyTest, AFullDiskIsAFailureNamedPlainlyNeverDone)
{
    ASSERT_TRUE(testenv::MakeVideo(Path("in/big.mp4"), 2.0, "320x240"));
    ASSERT_TRUE(testenv::WriteFile(
        Path("bin/ffmpeg"), "#!/bin/bash\nulimit -f 8; trap '' XFSZ\nPATH=" + qgetenv("PATH") +
                                " exec ffmpeg \"$@\"\n"));
    ::chmod(QFile::encodeName(Path("bin/ffmpeg")).constData(), 0755);
    // The program finds "ffmpeg" on PATH, where the wrapper now comes first.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(Path("bin")) + ":" + path);
    const CliResult result = Cli({Path("in/big.mp4")});
    qputenv("PATH", path);
    EXPECT_EQ(result.exitCode, 1);
    const QJsonObject line = ResultFor(result, "big.mp4");
    EXPECT_EQ(line.value("result").toString(), "failed");
    const QString detail = line.value("detail").toString();
    EXPECT_TRUE(detail.contains("File too large") || detail.contains("No space left on device"))
        << detail.toStdString();
    EXPECT_EQ(line.value("error").toString(), "磁盘空间不足,请清理磁盘或更换输出目录!");
    EXPECT_EQ(Names(Path("out")), QStringList());
}

// A folder holding named pipes, a device node's kind of entry and a name that is not UTF-8:
// every one is reported by name with its reason, nothing blocks, the real image is done.
TEST_F(CliSafetyTest, EntriesThatCannotBeTakenAreReportedAndNothingBlocks)
{
    const QString in = Path("in");
    MakeImage("rose:", in + "/rose.png");
    ASSERT_EQ(::mkfifo(QFile::encodeName(in + "/x.png").constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(in + "/v.mp4").constData(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", QFile::encodeName(in + "/zero.gif").constData()), 0);
    const QByteArray odd = QFile::encodeName(in) + "/\xff\xfe.png";
    ASSERT_TRUE(QFile::copy(in + "/rose.png", in + "/tmp.png"));
    ASSERT_EQ(::rename(QFile::encodeName(in + "/tmp.png").constData(), odd.constData()), 0);

    const CliResult result = Cli({in}, 60000);
    ASSERT_FALSE(result.crashed);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(ResultFor(result, "/rose.png").value("result").toString(), "done");
    EXPECT_EQ(ResultFor(result, "/x.png").value("error").toString(),
              "not taken: a named pipe (FIFO), not a regular file");
    EXPECT_EQ(ResultFor(result, "/v.mp4").value("error").toString(),
              "not taken: a named pipe (FIFO), not a regular file");
    EXPECT_EQ(ResultFor(result, "/zero.gif").value("error").toString(),
              "not taken: a device, not a regular file");
    EXPECT_EQ(ResultFor(result, "/\\xff\\xfe.png").value("error").toString(),
              "not taken: its name is not valid UTF-8; rename the file to compress it");
    EXPECT_EQ(result.JsonLines().size(), 5);
    EXPECT_EQ(Names(Path("out")), QStringList{"rose.png"});
    ::unlink(odd.constData());  // Qt's temporary folder cannot name it to remove it
}

// A source cut to 30 % of its bytes encodes into a short file: failed, as damaged.
TEST_F(CliSafetyTest, ACutSourceFailsAsDamaged)
{
    ASSERT_TRUE(testenv::MakeVideo(Path("in/whole.mkv"), 4.0, "160x120"));
    const QByteArray whole = Bytes(Path("in/whole.mkv"));
    ASSERT_TRUE(testenv::WriteFile(Path("in/cut.mkv"), whole.left(whole.size() * 3 / 10)));
    const CliResult result = Cli({Path("in/cut.mkv")});
    EXPECT_EQ(result.exitCode, 1);
    const QJsonObject line = ResultFor(result, "cut.mkv");
    EXPECT_EQ(line.value("error").toString(), "文件可能已经损坏!");
    EXPECT_TRUE(line.value("detail").toString().contains("truncated"))
        << line.value("detail").toString().toStdString();
    EXPECT_EQ(Names(Path("out")), QStringList());
}

TEST_F(CliSafetyTest, AnUnreadableSettingsFileIsSaidOnceAndTheDefaultsApply)
{
    ASSERT_TRUE(QDir().mkpath(testenv::ConfigHome() + "/LumoCompress/Config/configure.ini"));
    MakeImage("rose:", Path("in/rose.png"));
    const CliResult result = Cli({Path("in/rose.png")});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QStringList errors = result.ErrLines();
    ASSERT_EQ(errors.size(), 1) << result.err.toStdString();
    EXPECT_TRUE(errors[0].contains("cannot read the settings file")) << errors[0].toStdString();
    EXPECT_TRUE(errors[0].contains("the defaults apply"));
    QDir(testenv::ConfigHome() + "/LumoCompress/Config/configure.ini").removeRecursively();
}

}  // namespace
