// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>

#include "core/platform/SingleInstance.h"
#include "gui/app/MainWnd.h"
#include "support/GuiTestEnv.h"

namespace {

// Starts the real program (offscreen, this test's private HOME) and waits for its window. With
// --verbose its diagnostics reach the terminal as well as its log file.
class Program {
public:
    explicit Program(const QStringList& args = {}, const QString& folder = QString())
    {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        if (!folder.isEmpty()) process_.setWorkingDirectory(folder);
        process_.start(testenv::ProgramPath(), args);
    }
    ~Program()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
    bool WaitForOutput(const QByteArray& text, int timeoutMs = 10000)
    {
        return testenv::WaitUntil(
            [&] {
                output_ += process_.readAll();
                return output_.contains(text);
            },
            timeoutMs);
    }
    QProcess& process() { return process_; }
    QByteArray output() { return output_ += process_.readAll(); }

private:
    QProcess process_;
    QByteArray output_;
};

// A folder with a video, a folder of images (and a video) and a text file, all tiny.
class MediaFolder {
public:
    MediaFolder()
    {
        ok = testenv::MakeVideo(Path("clip one.mp4"), 0.2) && QDir(dir.path()).mkpath("photos") &&
             testenv::Convert({"-size", "8x8", "xc:red", Path("photos/red.png")}) &&
             testenv::MakeVideo(Path("photos/inside.mp4"), 0.2) &&
             testenv::WriteFile(Path("notes.txt"), "text");
    }
    QString Path(const QString& name) const { return dir.path() + "/" + name; }
    QTemporaryDir dir;
    bool ok = false;
};

TEST(StartUpTest, ASecondStartHandsOverItsFilesAndExitsWithoutAWindow)
{
    MediaFolder media;
    ASSERT_TRUE(media.ok);
    Program first({"--verbose"});
    ASSERT_TRUE(first.WaitForOutput("mainWindow shown")) << first.output().constData();

    // Relative names, as a file manager or a shell in that folder gives them; options ignored.
    QElapsedTimer timer;
    timer.start();
    Program second({"--verbose", "--ignored-argument", "clip one.mp4", "notes.txt", "photos"},
                   media.dir.path());
    ASSERT_TRUE(second.process().waitForFinished(2000));
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process().exitCode(), 0);
    EXPECT_FALSE(second.output().contains("mainWindow shown"));

    EXPECT_TRUE(first.WaitForOutput("instance: brought forward (minimised: 0)"));
    ASSERT_TRUE(first.WaitForOutput("image row: " + media.Path("photos/red.png").toUtf8()));
    ASSERT_TRUE(first.WaitForOutput("video row: " + media.Path("photos/inside.mp4").toUtf8()));
    const QByteArray output = first.output();
    EXPECT_TRUE(output.contains("video row: " + media.Path("clip one.mp4").toUtf8()));
    EXPECT_LT(output.indexOf("video row: " + media.Path("clip one.mp4").toUtf8()),
              output.indexOf("video row: " + media.Path("photos/inside.mp4").toUtf8()))
        << "the arguments' order";
    EXPECT_FALSE(output.contains("notes.txt"));
    EXPECT_FALSE(output.contains("ignored-argument"));
    EXPECT_EQ(first.process().state(), QProcess::Running);
}

TEST(StartUpTest, TheFirstStartAddsTheFilesOfItsCommandLine)
{
    MediaFolder media;
    ASSERT_TRUE(media.ok);
    Program first({"--verbose", "-x", media.Path("photos/red.png"), media.Path("clip one.mp4")});
    ASSERT_TRUE(first.WaitForOutput("mainWindow shown")) << first.output().constData();
    EXPECT_TRUE(first.WaitForOutput("image row: " + media.Path("photos/red.png").toUtf8()));
    EXPECT_TRUE(first.WaitForOutput("video row: " + media.Path("clip one.mp4").toUtf8()));
}

TEST(StartUpTest, ASecondStartRestoresAMinimisedFirstWindow)
{
    // This process is the first instance; the second is the real program.
    SingleInstance instance;
    ASSERT_TRUE(instance.Acquire());
    QPointer<CMainWnd> window = new CMainWnd;
    window->Create();
    window->show();
    QObject::connect(&instance, &SingleInstance::activationRequested, window.data(),
                     &CMainWnd::BringToFront);
    window->showMinimized();
    ASSERT_TRUE(window->isMinimized());

    QProcess second;
    second.start(testenv::ProgramPath());
    ASSERT_TRUE(testenv::WaitUntil([&] { return second.state() == QProcess::NotRunning; }, 2000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(window->isVisible());
    delete window.data();
}

// The real program as a second start, given a name of Latin-1 bytes relative to its folder:
// the running instance is handed the file's absolute path as those bytes.
TEST(StartUpTest, ASecondStartHandsOverANameThatIsNotUtf8AsItsBytes)
{
    SingleInstance instance;
    ASSERT_TRUE(instance.Acquire());
    QList<QByteArray> handed;
    QObject::connect(&instance, &SingleInstance::filesHanded,
                     [&](const QList<QByteArray>& paths) { handed = paths; });
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());

    // QProcess passes its arguments as text; the shell passes the bytes printf makes.
    QProcess second;
    second.setWorkingDirectory(folder.path());
    second.start("/bin/sh",
                 {"-c", R"sh(exec "$0" "$(printf 'caf\351 1.jpg')")sh", testenv::ProgramPath()});
    ASSERT_TRUE(testenv::WaitUntil([&] { return second.state() == QProcess::NotRunning; }, 4000));
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_TRUE(testenv::WaitUntil([&] { return !handed.isEmpty(); }, 1000));
    EXPECT_EQ(handed, QList<QByteArray>{QFile::encodeName(QDir(folder.path()).canonicalPath()) +
                                        "/caf\xe9 1.jpg"});
}

TEST(StartUpTest, TerminationSignalsEndTheProgramCleanly)
{
    for (int signal : {SIGTERM, SIGINT}) {
        Program program({"--verbose"});
        ASSERT_TRUE(program.WaitForOutput("mainWindow shown"));
        ::kill(static_cast<pid_t>(program.process().processId()), signal);
        ASSERT_TRUE(program.process().waitForFinished(5000)) << "signal " << signal;
        EXPECT_EQ(program.process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.process().exitCode(), 0);
        EXPECT_TRUE(program.output().contains("agent:")) << "the diagnostics were written";
    }
}

}  // namespace
