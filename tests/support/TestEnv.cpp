#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace testenv {
namespace {

QTemporaryDir& Root()
{
    static QTemporaryDir dir(QDir::tempPath() + "/lumo-test-XXXXXX");
    return dir;
}

}  // namespace

QString Home() { return Root().path() + "/home"; }
QString ConfigHome() { return Home() + "/.config"; }
QString RuntimeDir() { return Root().path() + "/run"; }

bool WriteFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return file.write(content) == content.size();
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

void SetUserDirs(const QString& documents, const QString& desktop)
{
    const QByteArray text = "XDG_DOCUMENTS_DIR=\"" + documents.toUtf8() + "\"\n" +
                            "XDG_DESKTOP_DIR=\"" + desktop.toUtf8() + "\"\n";
    WriteFile(ConfigHome() + "/user-dirs.dirs", text);
}

void SetUp()
{
    QDir().mkpath(ConfigHome());
    QDir().mkpath(RuntimeDir());
    QFile::setPermissions(RuntimeDir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ExeOwner);
    qputenv("HOME", Home().toUtf8());
    qputenv("XDG_CONFIG_HOME", ConfigHome().toUtf8());
    qputenv("XDG_DATA_HOME", (Home() + "/.local/share").toUtf8());
    qputenv("XDG_CACHE_HOME", (Home() + "/.cache").toUtf8());
    qputenv("XDG_RUNTIME_DIR", RuntimeDir().toUtf8());
    // No test reaches the user's session bus (desktop notifications); a test that needs a bus
    // starts its own.
    qputenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + RuntimeDir() + "/no-bus").toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

}  // namespace testenv

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include "gui/skinlib/WindowImplBase.h"

namespace testenv {

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(5);
    }
    return true;
}

QWidget* FindShownWindow(const QString& className)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* window = qobject_cast<WindowImplBase*>(widget);
        if (window && window->isVisible() && window->GetWindowClassName() == className)
            return window;
    }
    return nullptr;
}

void ClickWhenShown(const QString& className, const QString& buttonName, QString* seenText,
                    int timeoutMs)
{
    auto* timer = new QTimer(qApp);
    auto deadline = std::make_shared<QDeadlineTimer>(timeoutMs);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        if (deadline->hasExpired()) return timer->deleteLater();
        QWidget* window = FindShownWindow(className);
        if (!window) return;
        auto* button = window->findChild<QAbstractButton*>(buttonName);
        if (!button) return;
        if (seenText) {
            if (auto* label = window->findChild<QLabel*>("msgText")) *seenText = label->text();
        }
        timer->stop();
        timer->deleteLater();
        button->click();
    });
    timer->start(20);
}

}  // namespace testenv

#include <QProcess>

namespace testenv {

AutoAnswer::AutoAnswer(const QString& className, const QString& buttonName,
                       std::function<QString()> onShown)
{
    auto* timer = new QTimer;
    timer_ = timer;
    QObject::connect(timer, &QTimer::timeout, [=, this] {
        QWidget* window = FindShownWindow(className);
        if (!window) return;
        auto* button = window->findChild<QAbstractButton*>(buttonName);
        if (!button) return;
        auto* label = window->findChild<QLabel*>("msgText");
        texts_ << (label ? label->text() : QString());
        if (onShown) notes_ << onShown();
        button->click();
    });
    timer->start(20);
}

AutoAnswer::~AutoAnswer() { delete timer_; }

bool MakeVideo(const QString& path, double seconds, const QString& size, bool audio,
               const QStringList& extraOutputArgs)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QStringList args = {"-v", "error", "-y", "-f", "lavfi", "-i",
                        QStringLiteral("testsrc=size=%1:rate=25:duration=%2")
                            .arg(size)
                            .arg(seconds, 0, 'f', 3)};
    if (audio) {
        args << "-f" << "lavfi" << "-i"
             << QStringLiteral("sine=frequency=440:duration=%1").arg(seconds, 0, 'f', 3);
    }
    args << "-c:v" << "mpeg4" << "-pix_fmt" << "yuv420p";
    args << extraOutputArgs << path;
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ffmpeg.start("ffmpeg", args);
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitStatus() == QProcess::NormalExit &&
           ffmpeg.exitCode() == 0;
}

bool Convert(const QStringList& arguments)
{
    QProcess convert;
    convert.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    convert.start("convert", arguments);
    return convert.waitForFinished(60000) && convert.exitStatus() == QProcess::NormalExit &&
           convert.exitCode() == 0;
}

}  // namespace testenv

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>

namespace testenv {

bool RunUnderFilePermissions(const QString& probeDir, const std::function<void()>& fn)
{
    bool enforced = false;
    std::thread([&] {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct caps[2]{};
        syscall(SYS_capget, &header, caps);
        for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            caps[cap / 32].effective &= ~(1u << (cap % 32));
        syscall(SYS_capset, &header, caps);
        QFile probe(probeDir + "/probe");
        enforced = !probe.open(QIODevice::WriteOnly);
        if (enforced)
            fn();
        else
            probe.remove();
    }).join();
    return enforced;
}

}  // namespace testenv
