// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/OwnFilesHelperProcess.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

namespace testenv {

OwnFilesRun::OwnFilesRun(const QStringList& paths)
{
    process_.start(QStringLiteral(LUMO_OWN_FILES_HELPER), paths);
    if (!process_.waitForStarted(10000)) return;
    while (!process_.canReadLine() && process_.waitForReadyRead(10000)) {
    }
    ready_ = process_.readLine().trimmed() == "ready";
}

OwnFilesRun::~OwnFilesRun()
{
    if (process_.state() != QProcess::NotRunning) Kill();
}

void OwnFilesRun::Kill()
{
    process_.kill();
    process_.waitForFinished(10000);
}

bool OwnFilesRun::Finish()
{
    process_.write("forget\n");
    return process_.waitForFinished(10000) && process_.exitStatus() == QProcess::NormalExit &&
           process_.exitCode() == 0;
}

bool SetModifiedAgo(const QString& path, qint64 seconds)
{
    const struct timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - seconds, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) ==
           0;
}

}  // namespace testenv
