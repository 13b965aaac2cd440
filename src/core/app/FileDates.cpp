// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/FileDates.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>
#include <cstring>

bool CopyFileDates(const QString& source, const QString& target, QString* error)
{
    const auto fail = [error](const char* what, const QString& path) {
        if (error)
            *error =
                QStringLiteral("cannot %1 %2: %3")
                    .arg(QLatin1String(what), path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    };
    struct stat from {};
    if (::stat(QFile::encodeName(source).constData(), &from) != 0)
        return fail("read the dates of", source);
    const struct timespec times[2] = {from.st_atim, from.st_mtim};
    if (::utimensat(AT_FDCWD, QFile::encodeName(target).constData(), times, AT_SYMLINK_NOFOLLOW) !=
        0)
        return fail("set the dates of", target);
    return true;
}
