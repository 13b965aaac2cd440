#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <csignal>

#include "core/platform/SingleInstance.h"
#include "gui/app/MainWnd.h"
#include "support/GuiTestEnv.h"

namespace {

// Starts the real program (offscreen, this test's private HOME) and waits for its window. With
// --verbose its diagnostics reach the terminal as well as its log file.
class Program {
public:
    explicit Program(const QStringList& args = {})
    {
        process_.setProcessChannelMode(QProcess::MergedChannels);
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

TEST(StartUpTest, ASecondStartHandsOverAndExitsWithoutAWindow)
{
    Program first({"--verbose"});
    ASSERT_TRUE(first.WaitForOutput("mainWindow shown")) << first.output().constData();

    QElapsedTimer timer;
    timer.start();
    Program second({"--verbose", "--ignored-argument", "/some/file.mp4"});
    ASSERT_TRUE(second.process().waitForFinished(2000));
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process().exitCode(), 0);
    EXPECT_FALSE(second.output().contains("mainWindow shown"));

    EXPECT_TRUE(first.WaitForOutput("instance: brought forward (minimised: 0)"));
    EXPECT_EQ(first.process().state(), QProcess::Running);
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
