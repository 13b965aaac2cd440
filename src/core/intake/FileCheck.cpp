#include "core/intake/FileCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <dirent.h>
#include <sys/stat.h>

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

QString UnnameableReason()
{
    return QStringLiteral("its name is not valid UTF-8; rename the file to compress it");
}

std::vector<NotTaken> EntriesNotTaken(const QString& folder, bool videos)
{
    std::vector<NotTaken> entries;
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    const QStringList names = QDir(folder).entryList(
        QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names) {
        const QString extension = EntryExtension(name);
        if (!(videos ? IsVideoExtension(extension) : IsImageExtension(extension))) continue;
        // A folder with a media name is scanned as it always was (its probe fails).
        if (QFileInfo(prefix + name).isDir()) continue;
        if (const QString reason = SpecialFileReason(prefix + name); !reason.isEmpty())
            entries.push_back({name, reason});
    }
    for (const QString& name : UnnameableEntries(folder, videos))
        entries.push_back({name, UnnameableReason()});
    return entries;
}

QString NotTakenNotice(const std::vector<NotTaken>& entries)
{
    QString text = QStringLiteral("These files were not added:");
    for (const NotTaken& entry : entries)
        text += u'\n' + entry.name + QStringLiteral(": ") + entry.reason;
    return text;
}
