// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// How starting a downloaded installer went.
struct InstallerLaunchResult {
    bool started = false;
    qint64 pid = 0;  // the installer's process id when started
    QString reason;  // why it did not start, in the user's words
};

// Makes the installer at path executable (rwxr-xr-x) and starts it as a detached program of its
// own: no shell, no arguments, a new session, standard streams on the null device and no other
// descriptor of ours. It outlives this program; a thread of ours reaps it should it end first.
// Fails (with a reason) when the file cannot be made executable or executed: a folder mounted
// "noexec", a script whose interpreter is missing, a file that is no program.
InstallerLaunchResult LaunchInstaller(const QString& path);
