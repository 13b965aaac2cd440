// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/DesktopTrash.h"

#include "core/app/OutputPlace.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Enough for any real trash; a bound so that a folder that refuses every name cannot loop.
constexpr int kMaxNames = 10000;

QByteArray Native(const QString& path)
{
    return QFile::encodeName(path);
}

bool StatOf(const QString& path, struct stat& info, bool follow = false)
{
    const QByteArray native = Native(path);
    return (follow ? ::stat(native.constData(), &info) : ::lstat(native.constData(), &info)) == 0;
}

// A folder of ours for the trash: made when missing (0700), never through a link.
bool EnsurePrivateFolder(const QString& path)
{
    struct stat info;
    if (StatOf(path, info)) return S_ISDIR(info.st_mode);
    return ::mkdir(Native(path).constData(), 0700) == 0 ||
           (errno == EEXIST && StatOf(path, info) && S_ISDIR(info.st_mode));
}

bool EnsureTrash(const QString& trash)
{
    return EnsurePrivateFolder(trash) && EnsurePrivateFolder(trash + QStringLiteral("/files")) &&
           EnsurePrivateFolder(trash + QStringLiteral("/info"));
}

// The mount point of the file system the entry at path is on: its highest folder on the same
// device.
QString TopDirectory(const QString& path, dev_t device)
{
    QString top = QFileInfo(path).absolutePath();
    while (top != u'/') {
        const QString parent = QFileInfo(top).absolutePath();
        struct stat info;
        if (!StatOf(parent, info, true) || info.st_dev != device) break;
        top = parent;
    }
    return top;
}

// The trash on the file system of a file that is not on the home trash's: the administrator's
// $topdir/.Trash/$uid when $topdir/.Trash is a sticky folder and no link, else $topdir/.Trash-$uid.
QString TopDirectoryTrash(const QString& top)
{
    const QString uid = QString::number(::getuid());
    const QString base = top.endsWith(u'/') ? top : top + u'/';
    struct stat info;
    if (StatOf(base + QStringLiteral(".Trash"), info) && S_ISDIR(info.st_mode) &&
        (info.st_mode & S_ISVTX)) {
        const QString shared = base + QStringLiteral(".Trash/") + uid;
        if (EnsureTrash(shared)) return shared;
    }
    const QString own = base + QStringLiteral(".Trash-") + uid;
    return EnsureTrash(own) ? own : QString();
}

// "name", then "name.2", "name.3" ... before the extension ("photo.2.jpg").
QString NameInTrash(const QString& fileName, int n)
{
    if (n <= 1) return fileName;
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot <= 0) return fileName + u'.' + QString::number(n);
    return fileName.left(dot) + u'.' + QString::number(n) + fileName.mid(dot);
}

QString Reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

QString DesktopTrash::HomeTrash()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Trash");
}

DesktopTrash::Trashed DesktopTrash::Move(const QString& path)
{
    Trashed trashed;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    struct stat file;
    if (!StatOf(absolute, file) || !S_ISREG(file.st_mode)) {
        trashed.error = QStringLiteral("not a file: ") + absolute;
        return trashed;
    }

    // The home trash when the file is on the file system of the data folder that holds it, else
    // the one at the top of the file's file system; the record then names the file relative to
    // that top.
    QString trash = HomeTrash();
    QString recorded = absolute;
    const QString data = QFileInfo(trash).absolutePath();
    struct stat home;
    if (!QDir().mkpath(data) || !StatOf(data, home, true)) {
        trashed.error = QStringLiteral("the data folder %1 cannot be made").arg(data);
        return trashed;
    }
    if (home.st_dev == file.st_dev) {
        if (!EnsureTrash(trash)) {
            trashed.error = QStringLiteral("the trash folder %1 cannot be made").arg(trash);
            return trashed;
        }
    } else {
        const QString top = TopDirectory(absolute, file.st_dev);
        trash = TopDirectoryTrash(top);
        if (trash.isEmpty()) {
            trashed.error =
                QStringLiteral("no trash can be used on the file system of ") + absolute;
            return trashed;
        }
        recorded = QDir(top).relativeFilePath(absolute);
    }

    const QByteArray record =
        QByteArrayLiteral("[Trash Info]\nPath=") + QUrl::toPercentEncoding(recorded, "/") +
        QByteArrayLiteral("\nDeletionDate=") +
        QDateTime::currentDateTime().toString(Qt::ISODate).left(19).toUtf8() + '\n';
    const QString fileName = QFileInfo(absolute).fileName();
    for (int n = 1; n <= kMaxNames; ++n) {
        const QString name = NameInTrash(fileName, n);
        const QString info = trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo");
        const QString target = trash + QStringLiteral("/files/") + name;
        // The record is created exclusively: it is what claims the name in the trash.
        const int fd = ::open(Native(info).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            trashed.error =
                QStringLiteral("cannot write to the trash (%1): %2").arg(Reason(errno), info);
            return trashed;
        }
        const bool written = ::write(fd, record.constData(), record.size()) == record.size();
        const int writeError = errno;
        if (::close(fd) != 0 || !written) {
            ::unlink(Native(info).constData());
            trashed.error = QStringLiteral("cannot write to the trash (%1): %2")
                                .arg(Reason(written ? errno : writeError), info);
            return trashed;
        }
        if (RenameNoReplace(absolute, target)) {
            trashed.filePath = target;
            trashed.infoPath = info;
            return trashed;
        }
        const int moveError = errno;
        ::unlink(Native(info).constData());
        if (moveError == EEXIST) continue;  // a file without a record: another name
        trashed.error = QStringLiteral("cannot move the file to the trash (%1): %2")
                            .arg(Reason(moveError), trash);
        return trashed;
    }
    trashed.error = QStringLiteral("no free name in the trash ") + trash;
    return trashed;
}

bool DesktopTrash::Restore(const Trashed& trashed, const QString& originalPath)
{
    if (!RenameNoReplace(trashed.filePath, originalPath)) return false;
    ::unlink(Native(trashed.infoPath).constData());
    return true;
}
