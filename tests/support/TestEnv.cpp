// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>

namespace testenv {

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

bool MakeVideo(const QString& path, double seconds, const QString& size, bool audio,
               const QStringList& extraOutputArgs)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QStringList args = {
        "-v",
        "error",
        "-y",
        "-f",
        "lavfi",
        "-i",
        QStringLiteral("testsrc=size=%1:rate=25:duration=%2").arg(size).arg(seconds, 0, 'f', 3)};
    if (audio) {
        args << "-f"
             << "lavfi"
             << "-i" << QStringLiteral("sine=frequency=440:duration=%1").arg(seconds, 0, 'f', 3);
    }
    args << "-c:v"
         << "mpeg4"
         << "-pix_fmt"
         << "yuv420p";
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

const char* OddFileName(OddFile kind)
{
    switch (kind) {
        case OddFile::Fifo:
            return "a named pipe";
        case OddFile::DevZeroLink:
            return "a link to /dev/zero";
        case OddFile::HugeFile:
            return "a 4 GiB file";
        case OddFile::Folder:
            return "a folder";
    }
    return "";
}

bool MakeOddFile(OddFile kind, const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray native = QFile::encodeName(path);
    switch (kind) {
        case OddFile::Fifo:
            return ::mkfifo(native.constData(), 0600) == 0;
        case OddFile::DevZeroLink:
            return ::symlink("/dev/zero", native.constData()) == 0;
        case OddFile::HugeFile: {
            // Real settings first, so a reader that took the file would show it.
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write(kHugeFileStart) > 0 &&
                   file.resize(4LL << 30);
        }
        case OddFile::Folder:
            return QDir().mkpath(path);
    }
    return false;
}

}  // namespace testenv
