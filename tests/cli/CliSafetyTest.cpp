// SPDX-License-Identifier: GPL-3.0-or-later
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
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <ctime>

#include "cli/CliTestSupport.h"
#include "core/intake/DeepPath.h"
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
    // Another run into the same folder meanwhile leaves the running one's file alone.
    const CliResult beside = Cli({"--container", "mkv", Path("in/short.mp4")});
    EXPECT_EQ(beside.exitCode, 0) << beside.err.toStdString();
    EXPECT_EQ(Names(Path("out")), (QStringList{".long.lumo-part.mkv", "short.mkv"}));

    ::kill(pid, SIGKILL);
    ASSERT_TRUE(cli.waitForFinished(10000));
    QDeadlineTimer gone(1000);
    while (!gone.hasExpired() && ProcessAlive(encoder)) QThread::msleep(10);
    EXPECT_FALSE(ProcessAlive(encoder)) << "ffmpeg outlived the killed program by a second";
    if (ProcessAlive(encoder)) ::kill(encoder, SIGKILL);
    EXPECT_TRUE(QFile::exists(part)) << "the killed run could not clean up";

    const CliResult next = Cli({"--container", "mkv", Path("in/short.mp4")});
    EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
    EXPECT_EQ(Names(Path("out")), (QStringList{"short(2).mkv", "short.mkv"}));
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
    EXPECT_EQ(line.value("error").toString(),
              "The disk is full: free some space or choose another output folder!");
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
    EXPECT_EQ(line.value("error").toString(), "The file may be damaged!");
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

// A source in the output folder named like one of our partial files, old enough to pass for a
// leftover, is the user's file: it is compressed and stays, as does the next run's.
TEST_F(CliSafetyTest, ASourceNamedLikeAPartialFileSurvivesTheRun)
{
    ASSERT_TRUE(testenv::MakeVideo(Path("out/.clip.lumo-part.mp4"), 1.0));
    const QByteArray source = Bytes(Path("out/.clip.lumo-part.mp4"));
    const struct timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(Path("out/.clip.lumo-part.mp4")).constData(),
                          times, 0),
              0);
    for (int run = 0; run < 2; ++run) {
        const CliResult result = Cli({Path("out/.clip.lumo-part.mp4")});
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    }
    EXPECT_EQ(Bytes(Path("out/.clip.lumo-part.mp4")), source);
    EXPECT_EQ(Names(Path("out")), (QStringList{".clip.lumo-part(2).mp4", ".clip.lumo-part(3).mp4",
                                               ".clip.lumo-part.mp4"}));
}

// A two-pass run killed in its first pass leaves its pass-log folder; the next run removes it
// (and the hidden output), while the pass-log folders that no run recorded stay.
TEST_F(CliSafetyTest, AKilledTwoPassRunsLogFolderGoesAtTheNextRun)
{
    ASSERT_TRUE(testenv::MakeVideo(Path("in/long.mp4"), 30.0, "640x480"));
    ASSERT_TRUE(testenv::MakeVideo(Path("in/short.mp4"), 1.0));
    const QString temp = qEnvironmentVariable("XDG_CACHE_HOME") + "/LumoCompress";
    ASSERT_TRUE(QDir().mkpath(temp + "/passlog-mine"));
    QProcess cli;
    cli.start(Program(),
              {"--output", Path("out"), "--container", "mkv", "--two-pass", Path("in/long.mp4")});
    ASSERT_TRUE(cli.waitForStarted());
    const auto logFolders = [&] {
        return QDir(temp).entryList({"passlog-*"}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    };
    QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired() && logFolders().size() < 2) QThread::msleep(20);
    ASSERT_EQ(logFolders().size(), 2) << "no pass log was made";
    QThread::msleep(300);  // the first pass is under way
    ::kill(static_cast<pid_t>(cli.processId()), SIGKILL);
    ASSERT_TRUE(cli.waitForFinished(10000));
    QThread::msleep(200);  // the killed encoder is gone before the next run starts

    const CliResult next = Cli({Path("in/short.mp4")});
    EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
    EXPECT_EQ(logFolders(), QStringList{"passlog-mine"});
    EXPECT_EQ(Names(Path("out")), QStringList{"short.mp4"});
}

// ffmpeg under a file size limit (setrlimit on the program, its signal ignored as the program
// ignores it) with H.265, whose encoder prints statistics after the error: the file fails as a
// full disk with the system's words, not as a crash or with the statistics.
TEST_F(CliSafetyTest, AFileSizeLimitOnH265NamesTheRealCause)
{
    ASSERT_TRUE(testenv::MakeVideo(Path("in/big.mp4"), 2.0, "320x240"));
    QDir().mkpath(Path("out"));
    QProcess cli;
    cli.setChildProcessModifier([] {
        const struct rlimit limit = {64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN);
    });
    cli.start(Program(),
              {"--json", "--output", Path("out"), "--video-codec", "h265", Path("in/big.mp4")});
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.exitCode(), 1);
    CliResult result;
    result.out = cli.readAllStandardOutput();
    const QJsonObject line = ResultFor(result, "big.mp4");
    const QString detail = line.value("detail").toString();
    EXPECT_TRUE(detail.contains("File too large")) << detail.toStdString();
    EXPECT_FALSE(detail.contains("encoded ")) << detail.toStdString();
    EXPECT_EQ(line.value("error").toString(),
              "The disk is full: free some space or choose another output folder!");
    EXPECT_EQ(Names(Path("out")), QStringList());
}

// With -r a link is followed only to a folder inside the one named, and only once: a link to
// "/", one out of the tree and one back up are not followed, and each is named on stderr.
TEST_F(CliSafetyTest, RecursionFollowsNoLinkOutOfTheFolderAndSaysWhich)
{
    MakeImage("rose:", Path("in/top.png"));
    MakeImage("rose:", Path("in/sub/a.png"));
    MakeImage("rose:", Path("elsewhere/b.png"));
    ASSERT_EQ(::symlink("/", QFile::encodeName(Path("in/root")).constData()), 0);
    ASSERT_EQ(::symlink("../elsewhere", QFile::encodeName(Path("in/out-of-tree")).constData()), 0);
    ASSERT_EQ(::symlink("..", QFile::encodeName(Path("in/sub/up")).constData()), 0);
    ASSERT_EQ(::symlink("sub", QFile::encodeName(Path("in/alias")).constData()), 0);

    const CliResult result = Cli({"-r", Path("in")}, 60000);
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    QStringList sources;
    for (const QJsonObject& line : result.JsonLines()) sources << line["source"].toString();
    sources.sort();
    // The link inside the tree is followed once; the folder it leads to is not taken again.
    EXPECT_EQ(sources, (QStringList{Path("in/alias/a.png"), Path("in/top.png")}));
    QStringList notFollowed;
    for (const QString& line : result.ErrLines())
        if (line.contains("not followed")) notFollowed << line;
    ASSERT_EQ(notFollowed.size(), 3) << result.err.toStdString();
    EXPECT_TRUE(notFollowed[0].contains(Path("in/alias/up") + " -> " + Path("in")))
        << notFollowed[0].toStdString();
    EXPECT_TRUE(notFollowed[1].contains(Path("in/out-of-tree") + " -> " + Path("elsewhere")))
        << notFollowed[1].toStdString();
    EXPECT_TRUE(notFollowed[2].contains(Path("in/root") + " -> /")) << notFollowed[2].toStdString();
}

// A file named by bytes that are not UTF-8 and a real file whose path is past PATH_MAX are
// there: each is refused with its reason (the first shown by its bytes), never as missing,
// while a path that is really missing is named as missing.
TEST_F(CliSafetyTest, ArgumentsThatCannotBeOpenedByNameSayWhy)
{
    ASSERT_TRUE(testenv::MakeVideo(Path("in/clip.mp4"), 1.0));
    const QByteArray latin1 = QFile::encodeName(Path("in")) + "/\xe9t\xe9.mp4";
    ASSERT_EQ(::rename(QFile::encodeName(Path("in/clip.mp4")).constData(), latin1.constData()), 0);
    const testenv::DeepPath deep(Path("in"), "deep.png");
    ASSERT_TRUE(deep.Made());

    QProcess cli;
    // Through the shell, so that the argument reaches the program as the raw bytes.
    cli.start("sh",
              {"-c", R"sh(exec "$0" --json --output "$1" "$2/$(printf '\351t\351.mp4')" "$3")sh",
               Program(), Path("out"), Path("in"), deep.File()});
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), 1) << cli.readAllStandardError().toStdString();
    CliResult result;
    result.out = cli.readAllStandardOutput();
    const QJsonObject named = ResultFor(result, "\\xe9t\\xe9.mp4");
    EXPECT_EQ(named.value("source").toString(), Path("in") + "/\\xe9t\\xe9.mp4");
    EXPECT_EQ(named.value("error").toString(),
              "not taken: its name is not valid UTF-8; rename the file to compress it");
    const QString tooLong = ResultFor(result, "deep.png").value("error").toString();
    EXPECT_TRUE(tooLong.startsWith("not taken: the path is too long")) << tooLong.toStdString();
    EXPECT_EQ(Names(Path("out")), QStringList());
    ::unlink(latin1.constData());

    const CliResult missing = Cli({deep.File() + "x"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.out.contains("no such file or folder")) << missing.out.toStdString();
    EXPECT_TRUE(missing.out.contains(R"("code":"missing")")) << missing.out.toStdString();
}

}  // namespace
