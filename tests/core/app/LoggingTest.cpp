// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <glog/logging.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtDebug>

#include <csignal>
#include <thread>
#include <vector>

#include "core/app/Logging.h"
#include "core/app/TextUtil.h"
#include "support/Printers.h"
#include "support/TestEnv.h"

namespace {

using logging::RotatingFile;

QByteArray Line(char fill, int length)
{
    return QByteArray(length - 1, fill) + '\n';
}

QByteArray Read(const QString& path)
{
    return testenv::ReadFile(path);
}

// ------------------------------------------------------------------------------ rotation

class RotatingFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString Log() const { return dir_.path() + "/x.log"; }
    QString Older(int n) const { return RotatingFile::OlderFile(Log(), n); }
    QTemporaryDir dir_;
};

TEST_F(RotatingFileTest, FillsUpToTheBoundExactlyAndRotatesOnTheNextByte)
{
    RotatingFile file(Log(), 60, 3);
    ASSERT_TRUE(file.Append(Line('a', 30)));
    ASSERT_TRUE(file.Append(Line('b', 30)));
    EXPECT_EQ(QFileInfo(Log()).size(), 60) << "a file may reach its bound";
    EXPECT_FALSE(QFileInfo::exists(Older(1)));

    ASSERT_TRUE(file.Append("c\n"));
    EXPECT_EQ(Read(Log()), "c\n");
    EXPECT_EQ(Read(Older(1)), Line('a', 30) + Line('b', 30));
}

TEST_F(RotatingFileTest, KeepsTheNewestLinesInAtMostTheKeptFiles)
{
    RotatingFile file(Log(), 100, 2);
    for (int i = 0; i < 40; ++i) ASSERT_TRUE(file.Append(QByteArray::number(1000 + i) + "-line\n"));

    EXPECT_FALSE(QFileInfo::exists(Older(3)));
    QByteArray kept;
    for (int n = 2; n >= 0; --n) {
        ASSERT_TRUE(QFileInfo::exists(Older(n))) << n;
        EXPECT_LE(QFileInfo(Older(n)).size(), 100) << n;
        kept += Read(Older(n));
    }
    // Oldest first across the files, without a gap, ending with the last line written.
    const QList<QByteArray> lines = kept.trimmed().split('\n');
    ASSERT_GE(lines.size(), 20);
    EXPECT_EQ(lines.last(), "1039-line");
    for (qsizetype i = 1; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].left(4).toInt(), lines[i - 1].left(4).toInt() + 1) << i;
    EXPECT_GT(lines.first().left(4).toInt(), 1000) << "the oldest lines were dropped";
}

TEST_F(RotatingFileTest, AWriteLargerThanTheBoundLandsAloneInAFreshFile)
{
    RotatingFile file(Log(), 50, 1);
    ASSERT_TRUE(file.Append("first\n"));
    ASSERT_TRUE(file.Append(Line('x', 80)));
    EXPECT_EQ(Read(Log()), Line('x', 80));
    EXPECT_EQ(Read(Older(1)), "first\n");
}

TEST_F(RotatingFileTest, NoKeptFilesStartsTheFileAfresh)
{
    RotatingFile file(Log(), 20, 0);
    ASSERT_TRUE(file.Append(Line('a', 15)));
    ASSERT_TRUE(file.Append(Line('b', 15)));
    EXPECT_EQ(Read(Log()), Line('b', 15));
    EXPECT_FALSE(QFileInfo::exists(Older(1)));
}

TEST_F(RotatingFileTest, AWriterWhoseFileWasRotatedByAnotherFollowsTheName)
{
    // Two writers of one log, as two processes of the program have.
    RotatingFile first(Log(), 40, 2);
    RotatingFile second(Log(), 40, 2);
    ASSERT_TRUE(first.Append(Line('a', 30)));
    ASSERT_TRUE(second.Append("b\n"));
    ASSERT_TRUE(first.Append(Line('c', 30)));  // rotates: a and b move to .1
    ASSERT_TRUE(second.Append("d\n"));         // must not land in .1

    EXPECT_EQ(Read(Older(1)), Line('a', 30) + "b\n");
    EXPECT_EQ(Read(Log()), Line('c', 30) + "d\n");
    EXPECT_FALSE(QFileInfo::exists(Older(2))) << "rotated once, not once per writer";
}

TEST_F(RotatingFileTest, AnUnwritableFolderIsReported)
{
    RotatingFile file(dir_.path() + "/missing/x.log", 100, 1);
    EXPECT_FALSE(file.Append("line\n"));
}

// ------------------------------------------------------------------------------ the set-up

const QRegularExpression kLineShape(
    QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} ([DIWE]) (.*)$"));

// The level letters of the lines, in order; fails on a line of another shape.
QString Levels(const QByteArray& text)
{
    QString levels;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty()) continue;
        const auto match = kLineShape.match(QString::fromUtf8(line));
        EXPECT_TRUE(match.hasMatch()) << "not a log line: " << line.toStdString();
        levels += match.captured(1);
    }
    return levels;
}

class LoggingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    void TearDown() override { logging::Stop(); }
    QString Log() const { return dir_.path() + "/state/test.log"; }
    QTemporaryDir dir_;
};

TEST_F(LoggingTest, EveryLineOfAMessageGetsTimeAndLevel)
{
    const QByteArray lines = logging::FormatLines(
        logging::Level::Warning, "one\r\ntwo\n\n  \nthree", "qt.qpa", "2024-05-01 09:30:12.345");
    EXPECT_EQ(lines,
              "2024-05-01 09:30:12.345 W qt.qpa: one\n"
              "2024-05-01 09:30:12.345 W qt.qpa: two\n"
              "2024-05-01 09:30:12.345 W qt.qpa: three\n");
}

TEST_F(LoggingTest, TheFileGetsEverythingTheTerminalOnlyWarningsAndErrors)
{
    ASSERT_TRUE(logging::Start({Log(), false}));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    DebugPrint("task %d: %s\n", 7, "视频");
    qDebug("from qDebug");
    qInfo("from qInfo");
    qWarning("from qWarning");
    LOG(INFO) << "from glog info";
    LOG(ERROR) << "from glog error";
    const std::string terminal = testing::internal::GetCapturedStderr();
    const std::string output = testing::internal::GetCapturedStdout();

    EXPECT_EQ(output, "") << "diagnostics no longer reach standard output";
    EXPECT_EQ(Levels(QByteArray::fromStdString(terminal)), "WE") << terminal;
    EXPECT_NE(terminal.find("from qWarning"), std::string::npos);
    EXPECT_NE(terminal.find("LoggingTest.cpp:"), std::string::npos) << "glog's origin is kept";

    const QByteArray file = Read(Log());
    EXPECT_EQ(Levels(file), "IDDIWIE") << file.toStdString();  // "started" comes first
    for (const char* text : {"task 7: 视频", "from qDebug", "from qInfo", "from qWarning",
                             "from glog info", "from glog error"})
        EXPECT_TRUE(file.contains(text)) << text;
}

TEST_F(LoggingTest, VerboseShowsEveryLineOnTheTerminalToo)
{
    ASSERT_TRUE(logging::Start({Log(), true}));
    testing::internal::CaptureStderr();
    DebugPrint("a debug line\n");
    qInfo("an info line");
    const std::string terminal = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Levels(QByteArray::fromStdString(terminal)), "DI") << terminal;
}

TEST_F(LoggingTest, AfterStopDebugPrintWritesToStandardOutputAgain)
{
    ASSERT_TRUE(logging::Start({Log(), false}));
    logging::Stop();
    testing::internal::CaptureStdout();
    DebugPrint("plain %d\n", 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "plain 1\n");
    EXPECT_FALSE(Read(Log()).contains("plain 1"));
}

TEST_F(LoggingTest, LinesFromManyThreadsStayWholeAcrossRotations)
{
    ASSERT_TRUE(logging::Start({Log(), false, 4096, 2}));
    constexpr int kThreads = 4;
    constexpr int kLines = 400;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) DebugPrint("thread %d line %04d of the test\n", t, i);
        });
    for (std::thread& thread : threads) thread.join();

    // Only the newest lines are kept; of each thread's lines there, none is torn or out of order,
    // and the newest file ends with some thread's last line.
    int lastSeen[kThreads] = {-1, -1, -1, -1};
    int linesKept = 0;
    for (int n = 2; n >= 0; --n) {
        const QByteArray text = Read(RotatingFile::OlderFile(Log(), n));
        EXPECT_LE(text.size(), 4096);
        Levels(text);  // every line whole
        static const QRegularExpression line(
            QStringLiteral("thread (\\d) line (\\d{4}) of the test$"));
        for (const QByteArray& raw : text.split('\n')) {
            const auto match = line.match(QString::fromUtf8(raw));
            if (!match.hasMatch()) continue;
            const int t = match.captured(1).toInt();
            const int i = match.captured(2).toInt();
            EXPECT_GT(i, lastSeen[t]) << "each thread's lines keep their order";
            lastSeen[t] = i;
            ++linesKept;
        }
    }
    EXPECT_GT(linesKept, 100);
    EXPECT_TRUE(Read(Log()).trimmed().endsWith(QByteArray::number(kLines - 1) + " of the test"));
}

TEST_F(LoggingTest, TheFolderFollowsXdgStateHome)
{
    const QByteArray saved = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", dir_.path().toUtf8());
    EXPECT_EQ(logging::Folder(), dir_.path() + "/LumoCompress");
    qputenv("XDG_STATE_HOME", "relative/is/ignored");
    EXPECT_EQ(logging::Folder(), QDir::homePath() + "/.local/state/LumoCompress");
    qunsetenv("XDG_STATE_HOME");
    EXPECT_EQ(logging::Folder(), QDir::homePath() + "/.local/state/LumoCompress");
    if (!saved.isNull()) qputenv("XDG_STATE_HOME", saved);
}

// ------------------------------------------------------------------------------ the programs

// One of the real programs, started with this test's private HOME and its own state folder.
class ProgramLogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString LogFile(const QString& name) const
    {
        return dir_.path() + "/state/LumoCompress/" + name;
    }
    void Prepare(QProcess& process) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_STATE_HOME", dir_.path() + "/state");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
    }
    // Starts the window program, waits for its window, ends it with SIGTERM; its stderr.
    QByteArray RunWindowProgram(const QStringList& arguments)
    {
        const auto windowsShown = [&] {
            return Read(LogFile("lumocompress.log")).count("mainWindow shown");
        };
        const qsizetype before = windowsShown();
        QProcess program;
        Prepare(program);
        program.start(QStringLiteral(LUMO_TEST_PROGRAM), arguments);
        const bool shown = testenv::WaitUntil([&] { return windowsShown() > before; }, 20000);
        EXPECT_TRUE(shown) << program.readAllStandardError().toStdString();
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        EXPECT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitCode(), 0);
        EXPECT_EQ(program.readAllStandardOutput(), "") << "nothing on standard output";
        return program.readAllStandardError();
    }
    QTemporaryDir dir_;
};

TEST_F(ProgramLogTest, TheWindowProgramShowsOnlyWarningsAndErrorsUnlessVerbose)
{
    const QByteArray quiet = RunWindowProgram({});
    const QByteArray logAfterQuiet = Read(LogFile("lumocompress.log"));
    const QString quietLevels = Levels(quiet);
    EXPECT_FALSE(quietLevels.contains('D') || quietLevels.contains('I')) << quiet.toStdString();
    EXPECT_LE(quietLevels.size(), 5) << quiet.toStdString();
    EXPECT_TRUE(logAfterQuiet.contains(" D agent:"));
    EXPECT_GT(Levels(logAfterQuiet).size(), quietLevels.size() + 2);

    const QByteArray verbose = RunWindowProgram({"--verbose"});
    EXPECT_TRUE(verbose.contains(" D mainWindow shown")) << verbose.toStdString();
    EXPECT_TRUE(Levels(verbose).contains('I'));
    // The second session is appended to the same log.
    EXPECT_EQ(Read(LogFile("lumocompress.log")).count("mainWindow shown"), 2);
}

TEST_F(ProgramLogTest, TheCommandLineProgramLogsToItsOwnFile)
{
    QDir().mkpath(dir_.path() + "/in");
    QDir().mkpath(dir_.path() + "/out");
    ASSERT_TRUE(testenv::Convert({"rose:", dir_.path() + "/in/rose.png"}));
    const auto run = [&](const QStringList& extra) {
        QProcess cli;
        Prepare(cli);
        cli.start(QStringLiteral(LUMO_BINARY_DIR "/lumocompress-cli"),
                  QStringList{"--output", dir_.path() + "/out"} + extra +
                      QStringList{dir_.path() + "/in"});
        EXPECT_TRUE(cli.waitForFinished(60000));
        const QByteArray err = cli.readAllStandardError();
        EXPECT_EQ(cli.exitCode(), 0) << err.toStdString();
        // Its plain progress lines ("start ...") share stderr with the diagnostics.
        QByteArray diagnostics;
        for (const QByteArray& line : err.split('\n'))
            if (!line.isEmpty() && !line.startsWith("start ")) diagnostics += line + '\n';
        return std::pair{cli.readAllStandardOutput(), diagnostics};
    };

    const auto [quietOut, quietErr] = run({});
    EXPECT_FALSE(Levels(quietErr).contains('D')) << quietErr.toStdString();
    EXPECT_TRUE(quietOut.contains("rose.png")) << "the run's own report is unchanged";
    const QByteArray log = Read(LogFile("lumocompress-cli.log"));
    EXPECT_TRUE(log.contains(" D idleTaskImageList task_id")) << log.toStdString();

    const auto [verboseOut, verboseErr] = run({"--verbose"});
    EXPECT_TRUE(verboseErr.contains(" D idleTaskImageList task_id")) << verboseErr.toStdString();
    EXPECT_FALSE(verboseOut.contains(" D ")) << "log lines never mix with the report";
}

}  // namespace
