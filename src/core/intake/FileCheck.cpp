// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/intake/FileCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStringDecoder>

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/intake/MediaScan.h"

QString NotRegularFileReason(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (S_ISREG(info.st_mode)) return {};
    if (S_ISFIFO(info.st_mode)) return QStringLiteral("a named pipe (FIFO), not a regular file");
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return QStringLiteral("a device, not a regular file");
    if (S_ISSOCK(info.st_mode)) return QStringLiteral("a socket, not a regular file");
    if (S_ISDIR(info.st_mode)) return QStringLiteral("a folder, not a regular file");
    return QStringLiteral("not a regular file");
}

QString SpecialFileReason(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return {};
    return NotRegularFileReason(path);
}

bool NameRoundTrips(const QByteArray& nativeName)
{
    return QFile::encodeName(QFile::decodeName(nativeName)) == nativeName;
}

QString ShownName(const QByteArray& nativeName)
{
    QString shown;
    qsizetype pos = 0;
    while (pos < nativeName.size()) {
        // The longest valid UTF-8 piece from here, one byte at a time beyond it.
        qsizetype end = nativeName.size();
        while (end > pos) {
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString piece = decoder.decode(nativeName.mid(pos, end - pos));
            if (!decoder.hasError()) {
                shown += piece;
                break;
            }
            --end;
        }
        if (end > pos) {
            pos = end;
        } else {
            shown += QStringLiteral("\\x%1").arg(static_cast<unsigned char>(nativeName[pos]), 2, 16,
                                                 QLatin1Char('0'));
            ++pos;
        }
    }
    return shown;
}

QStringList UnnameableEntries(const QString& folder, bool videos)
{
    std::vector<QByteArray> names;
    if (DIR* dir = ::opendir(QFile::encodeName(folder).constData())) {
        while (const struct dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == ".." || NameRoundTrips(name)) continue;
            const qsizetype dot = name.lastIndexOf('.');
            const QString extension =
                EntryExtension(QString::fromLatin1(dot < 0 ? QByteArray() : name.mid(dot)));
            if (videos ? IsVideoExtension(extension) : IsImageExtension(extension))
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    QStringList shown;
    for (const QByteArray& name : names) shown << ShownName(name);
    return shown;
}

QString FolderLinkReason()
{
    return QStringLiteral("a link to a folder, not a file");
}

QString UnnameableReason()
{
    return QStringLiteral("its name is not valid UTF-8; rename the file to compress it");
}

std::vector<NotTaken> EntriesNotTaken(const QString& folder, bool videos)
{
    std::vector<NotTaken> entries;
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    const QStringList names =
        QDir(folder).entryList(QDir::System | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                               QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names) {
        const QString extension = EntryExtension(name);
        if (!(videos ? IsVideoExtension(extension) : IsImageExtension(extension))) continue;
        // A folder with a media name is scanned as it always was (its probe fails); a link to
        // a folder is not followed.
        if (const QFileInfo entry(prefix + name); entry.isDir()) {
            if (entry.isSymLink()) entries.push_back({name, FolderLinkReason()});
            continue;
        }
        if (const QString reason = SpecialFileReason(prefix + name); !reason.isEmpty())
            entries.push_back({name, reason});
    }
    for (const QString& name : UnnameableEntries(folder, videos))
        entries.push_back({name, UnnameableReason()});
    return entries;
}

namespace {

// Paths later starts handed over, as their bytes.
QMutex g_handedMutex;
QList<QByteArray> g_handed;

}  // namespace

QByteArray NativeArgument(const QString& text)
{
    QList<QByteArray> arguments;
    QFile file(QStringLiteral("/proc/self/cmdline"));
    if (file.open(QIODevice::ReadOnly)) arguments = file.readAll().split('\0');
    {
        const QMutexLocker lock(&g_handedMutex);
        arguments += g_handed;
    }
    for (const QByteArray& argument : arguments) {
        if (argument.isEmpty()) continue;
        const QString decoded = QFile::decodeName(argument);
        if (decoded == text || QFileInfo(decoded).absoluteFilePath() == text) return argument;
    }
    return {};
}

QByteArray NativePath(const QString& path)
{
    if (path.contains(QChar::ReplacementCharacter)) {
        const QByteArray argument = NativeArgument(path);
        if (argument.startsWith('/')) return argument;
        if (!argument.isEmpty()) return QFile::encodeName(QDir::currentPath()) + '/' + argument;
    }
    return QFile::encodeName(path);
}

QString HandedPath(const QByteArray& native)
{
    const QString path = QFile::decodeName(native);
    if (!NameRoundTrips(native)) {
        const QMutexLocker lock(&g_handedMutex);
        if (!g_handed.contains(native)) g_handed << native;
    }
    return path;
}

bool EntryExistsByParts(const QByteArray& path)
{
    int fd = ::open(path.startsWith('/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    QList<QByteArray> parts = path.split('/');
    parts.removeAll(QByteArray());
    for (qsizetype i = 0; fd >= 0 && i + 1 < parts.size(); ++i) {
        const int next = ::openat(fd, parts[i].constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    if (fd < 0) return false;
    struct stat info {};
    const bool found =
        parts.isEmpty() || ::fstatat(fd, parts.back().constData(), &info, AT_SYMLINK_NOFOLLOW) == 0;
    ::close(fd);
    return found;
}

NotTaken UnusablePath(const QString& path)
{
    QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (path.contains(QChar::ReplacementCharacter) && ::lstat(native.constData(), &info) != 0) {
        if (const QByteArray argument = NativeArgument(path); !argument.isEmpty())
            native = argument;
        if (!NameRoundTrips(native) && EntryExistsByParts(native))
            return {ShownName(native), UnnameableReason()};
    }
    if (native.size() >= PATH_MAX && EntryExistsByParts(native))
        return {ShownName(native),
                QStringLiteral("the path is too long (%1 bytes; the system takes at most %2)")
                    .arg(native.size())
                    .arg(PATH_MAX - 1)};
    return {};
}

QString NotTakenNotice(const std::vector<NotTaken>& entries)
{
    QString text = QStringLiteral("These files were not added:");
    for (const NotTaken& entry : entries)
        text += u'\n' + entry.name + QStringLiteral(": ") + entry.reason;
    return text;
}
