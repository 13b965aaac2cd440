// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/net/InstallerLaunch.h"

#include <QFile>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <thread>
#include "core/app/Language.h"

extern char** environ;

namespace {

QString ReasonFor(int error)
{
    switch (error) {
        case EACCES:
        case EPERM:
            return Texts::tr("没有运行它的权限(所在的磁盘可能不允许运行程序)");
        case ENOENT:
            return Texts::tr("找不到安装程序或运行它所需的解释器");
        case ENOEXEC:
            return Texts::tr("它不是可以运行的程序");
        default:
            return QString::fromLocal8Bit(std::strerror(error));
    }
}

}  // namespace

InstallerLaunchResult LaunchInstaller(const QString& path)
{
    InstallerLaunchResult result;
    const QByteArray file = QFile::encodeName(path);
    if (::chmod(file.constData(), 0755) != 0) {
        result.reason = ReasonFor(errno);
        return result;
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null",
                                         fd == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    // Its own session: the installer is not ended with this program's terminal or group.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);

    char* const argv[] = {const_cast<char*>(file.constData()), nullptr};
    pid_t pid = 0;
    // glibc reports a failed exec (the missing interpreter included) as the call's result.
    const int error = ::posix_spawn(&pid, file.constData(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        result.reason = ReasonFor(error);
        return result;
    }
    // Normally this program ends first and the installer is handed to the system; otherwise
    // it is reaped here when it ends.
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    result.started = true;
    result.pid = pid;
    return result;
}
