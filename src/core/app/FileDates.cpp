// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/FileDates.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>
#include <cstring>

namespace {

QString Reason(const char* what, const QString& path)
{
    return QStringLiteral("cannot %1 %2: %3")
        .arg(QLatin1String(what), path, QString::fromLocal8Bit(std::strerror(errno)));
}

}  // namespace

FileDates ReadFileDates(const QString& path)
{
    FileDates dates;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        dates.error = Reason("read the dates of", path);
        return dates;
    }
    dates.access = info.st_atim;
    dates.modification = info.st_mtim;
    return dates;
}

bool SetFileDates(const QString& target, const FileDates& dates, QString* error)
{
    QString reason = dates.error;
    if (reason.isEmpty()) {
        const struct timespec times[2] = {dates.access, dates.modification};
        if (::utimensat(AT_FDCWD, QFile::encodeName(target).constData(), times,
                        AT_SYMLINK_NOFOLLOW) == 0)
            return true;
        reason = Reason("set the dates of", target);
    }
    if (error) *error = reason;
    return false;
}

bool CopyFileDates(const QString& source, const QString& target, QString* error)
{
    return SetFileDates(target, ReadFileDates(source), error);
}
