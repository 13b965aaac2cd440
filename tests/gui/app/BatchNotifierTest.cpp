// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QVariantMap>
#include <ostream>

#include "core/app/AppConfig.h"
#include "core/app/Settings.h"
#include "core/app/UserAccount.h"
#include "gui/app/BatchNotifier.h"
#include "gui/app/MainWnd.h"
#include "gui/platform/DesktopNotification.h"
#include "gui/skinlib/SkinList.h"
#include "support/FakeShell.h"
#include "support/GuiTestEnv.h"

namespace {

// ---------------------------------------------------------------- the summary's words

struct TextCase {
    int done, failed;
    qint64 saved;
    const char* text;
};

void PrintTo(const TextCase& c, std::ostream* os)
{
    *os << c.done << " done, " << c.failed << " failed, " << c.saved << " bytes saved";
}

class BatchTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(BatchTextTest, SaysHowManyAndHowMuch)
{
    const TextCase& c = GetParam();
    EXPECT_EQ(BatchNotifier::Text(c.done, c.failed, c.saved), QString::fromUtf8(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, BatchTextTest,
    ::testing::Values(TextCase{5, 1, 126353408, "压缩完成：成功 5 个，失败 1 个，节省 120.5 MB"},
                      TextCase{1, 0, 0, "压缩完成：成功 1 个，失败 0 个，节省 0 B"},
                      TextCase{0, 3, 0, "压缩完成：成功 0 个，失败 3 个，节省 0 B"},
                      // Outputs larger than their sources: nothing saved, never a negative size.
                      TextCase{2, 0, -5000, "压缩完成：成功 2 个，失败 0 个，节省 0 B"},
                      TextCase{1, 0, 1023, "压缩完成：成功 1 个，失败 0 个，节省 1023 B"},
                      TextCase{1, 0, 1024, "压缩完成：成功 1 个，失败 0 个，节省 1.0 KB"},
                      // Just below 1 MB rounds up to the next unit, not to "1024.0 KB".
                      TextCase{1, 0, 1048575, "压缩完成：成功 1 个，失败 0 个，节省 1.0 MB"},
                      TextCase{1, 0, 2469606195LL, "压缩完成：成功 1 个，失败 0 个，节省 2.3 GB"}));

// ---------------------------------------------------------------- counting per batch

struct Recorder {
    bool idle = false;
    bool active = false;
    QStringList shown;
    BatchNotifier notifier{{[this] { return idle; }, [this] { return active; },
                            [this](const QString& text) { shown << text; }}};
};

TEST(BatchNotifierTest, OneSummaryWhenTheLastTaskEndsThenANewBatch)
{
    Recorder r;
    r.notifier.TaskDone(3000, 1000);  // more waiting
    r.notifier.TaskFailed();
    EXPECT_TRUE(r.shown.isEmpty());
    EXPECT_EQ(r.notifier.done(), 1);
    EXPECT_EQ(r.notifier.failed(), 1);

    r.idle = true;
    r.notifier.TaskDone(2048, 1024);
    ASSERT_EQ(r.shown.size(), 1);
    EXPECT_EQ(r.shown[0], "压缩完成：成功 2 个，失败 1 个，节省 3.0 KB");

    // The next batch counts from zero.
    r.notifier.TaskFailed();
    ASSERT_EQ(r.shown.size(), 2);
    EXPECT_EQ(r.shown[1], "压缩完成：成功 0 个，失败 1 个，节省 0 B");
}

TEST(BatchNotifierTest, AnActiveWindowGetsNoSummaryButTheBatchStillEnds)
{
    Recorder r;
    r.idle = true;
    r.active = true;
    r.notifier.TaskDone(100, 10);
    EXPECT_TRUE(r.shown.isEmpty());
    EXPECT_EQ(r.notifier.done(), 0) << "the batch ended while the user watched";

    r.active = false;
    r.notifier.TaskDone(100, 40);
    ASSERT_EQ(r.shown.size(), 1);
    EXPECT_EQ(r.shown[0], "压缩完成：成功 1 个，失败 0 个，节省 60 B");
}

TEST(BatchNotifierTest, ACancelThatEndsTheBatchLeavesNothingForTheNext)
{
    Recorder r;
    r.notifier.TaskDone(1000, 400);
    r.notifier.TaskCancelled();  // other rows still run: the batch goes on
    EXPECT_EQ(r.notifier.done(), 1);
    r.idle = true;
    r.notifier.TaskCancelled();  // the last rows were cancelled
    EXPECT_TRUE(r.shown.isEmpty()) << "a batch the user stopped gets no summary";
    EXPECT_EQ(r.notifier.done(), 0);

    r.notifier.TaskDone(100, 40);
    ASSERT_EQ(r.shown.size(), 1);
    EXPECT_EQ(r.shown[0], "压缩完成：成功 1 个，失败 0 个，节省 60 B");
}

TEST(BatchNotifierTest, AGrownFileCountsAgainstTheSavings)
{
    Recorder r;
    r.notifier.TaskDone(1000, 400);  // saves 600
    r.idle = true;
    r.notifier.TaskDone(100, 300);  // grows by 200
    ASSERT_EQ(r.shown.size(), 1);
    EXPECT_EQ(r.shown[0], "压缩完成：成功 2 个，失败 0 个，节省 400 B");
}

// ---------------------------------------------------------------- the desktop's service

// A private session bus: a dbus-daemon of the test's own, ended with the test.
class PrivateBus {
public:
    PrivateBus()
    {
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) return;
        daemon_.setProgram("dbus-daemon");
        daemon_.setArguments({"--session", "--nofork", "--nopidfile", "--print-address=1"});
        daemon_.start();
        if (!daemon_.waitForStarted(5000)) return;
        while (daemon_.state() == QProcess::Running && !daemon_.canReadLine())
            daemon_.waitForReadyRead(5000);
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        for (const QString& name : names_) QDBusConnection::disconnectFromBus(name);
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }
    const QString& address() const { return address_; }
    QDBusConnection Connect(const QString& name)
    {
        names_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

// The desktop's notification service as far as the program uses it: it records every call.
class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString appName, appIcon, summary, body;
        uint replacesId;
        QStringList actions;
        QVariantMap hints;
        int timeout;
    };
    QList<Call> calls;

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int timeout)
    {
        calls.append({appName, appIcon, summary, body, replacesId, actions, hints, timeout});
        return static_cast<uint>(calls.size());
    }
};

bool Serve(QDBusConnection& bus, NotificationServer& server)
{
    return bus.registerObject(desktopnotify::kPath, &server, QDBusConnection::ExportAllSlots) &&
           bus.registerService(desktopnotify::kService);
}

TEST(DesktopNotificationTest, GoesToTheServiceOnTheBusWithTitleAndText)
{
    PrivateBus bus;
    if (bus.address().isEmpty()) GTEST_SKIP() << "no dbus-daemon";
    NotificationServer server;
    QDBusConnection serverSide = bus.Connect("server");
    ASSERT_TRUE(Serve(serverSide, server));
    QDBusConnection programSide = bus.Connect("program");
    ASSERT_TRUE(programSide.isConnected());

    EXPECT_EQ(desktopnotify::Send(programSide, "LUMO视频压缩", "压缩完成：成功 1 个", nullptr),
              desktopnotify::Route::Bus);
    ASSERT_TRUE(testenv::WaitUntil([&] { return !server.calls.isEmpty(); }));
    const auto& call = server.calls.front();
    EXPECT_EQ(call.summary, "LUMO视频压缩");
    EXPECT_EQ(call.body, "压缩完成：成功 1 个");
    EXPECT_EQ(call.replacesId, 0u) << "each summary is a notification of its own";
    EXPECT_EQ(call.timeout, -1);
    EXPECT_EQ(call.hints.value("desktop-entry").toString(), desktopnotify::kDesktopEntry);
}

TEST(DesktopNotificationTest, NoServiceAndNoTrayShowNothing)
{
    PrivateBus bus;
    if (bus.address().isEmpty()) GTEST_SKIP() << "no dbus-daemon";
    QDBusConnection programSide = bus.Connect("program");
    ASSERT_TRUE(programSide.isConnected());
    EXPECT_EQ(desktopnotify::Send(programSide, "t", "b", nullptr), desktopnotify::Route::None);

    // No bus at all is the same.
    const QDBusConnection none =
        QDBusConnection::connectToBus(QString("unix:path=/nonexistent"), "none");
    EXPECT_EQ(desktopnotify::Send(none, "t", "b", nullptr), desktopnotify::Route::None);
    QDBusConnection::disconnectFromBus("none");
}

// ---------------------------------------------------------------- the real window and engines

// Videos and images through the real engines while the user is in another window: one
// summary on the session bus once both lists are finished, counting the broken file too.
TEST(BatchSummaryTest, TheRealEnginesEndABatchWithOneNotification)
{
    PrivateBus bus;
    if (bus.address().isEmpty()) GTEST_SKIP() << "no dbus-daemon";
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    NotificationServer server;
    QDBusConnection serverSide = bus.Connect("server");
    ASSERT_TRUE(Serve(serverSide, server));

    QTemporaryDir media, output;
    ASSERT_TRUE(UserAccount::Instance().SignInWithMobile("13800138000"));
    ASSERT_TRUE(WriteSetting(settings::kOutputDir, output.path()));
    const QString video = media.path() + "/clip.mp4";
    ASSERT_TRUE(testenv::MakeVideo(video, 1.0, "160x120"));
    const QString image = media.path() + "/photo.jpg";
    ASSERT_TRUE(testenv::Convert({"-size", "320x240", "plasma:fractal", "-quality", "95", image}));
    const QString broken = media.path() + "/broken.png";
    // A picture cut short: it looks like a PNG to the intake but cannot be decoded.
    ASSERT_TRUE(testenv::Convert({"-size", "320x240", "plasma:fractal", broken}));
    ASSERT_TRUE(QFile::resize(broken, 120));

    testenv::FakeShell shell;
    QPointer<CMainWnd> window = new CMainWnd;
    window->Create();
    window->show();
    QWidget elsewhere;
    elsewhere.show();
    QApplication::setActiveWindow(&elsewhere);
    ASSERT_TRUE(testenv::WaitUntil([&] { return !window->isActiveWindow(); }));

    auto click = [&](const char* name) { window->FindControl<QAbstractButton>(name)->click(); };
    shell.files = {video};
    click("add-video-file");
    // The video row comes once the video is read in the background; both lists start together.
    ASSERT_TRUE(testenv::WaitUntil(
        [&] { return window->FindControl<SkinList>("videoList")->Count() == 1; }, 15000));
    click("compress-image");
    shell.files = {image, broken};
    click("add-image-file");
    ASSERT_EQ(window->FindControl<SkinList>("image-list")->Count(), 2);
    click("all-image-compress");
    click("compress-video");
    click("all-compress");

    ASSERT_TRUE(testenv::WaitUntil([&] { return !server.calls.isEmpty(); }, 90000));
    testenv::WaitUntil([] { return false; }, 300);
    ASSERT_EQ(server.calls.size(), 1) << "one summary for the batch, not one per file";
    const QString body = server.calls.front().body;
    EXPECT_TRUE(body.startsWith("压缩完成：成功 2 个，失败 1 个，节省 ")) << body.toStdString();
    EXPECT_FALSE(body.endsWith("节省 0 B")) << "the video and the photo got smaller";
    EXPECT_EQ(window->batchNotifier().done(), 0) << "a new batch starts from zero";
    delete window.data();
}

}  // namespace

#include "BatchNotifierTest.moc"
