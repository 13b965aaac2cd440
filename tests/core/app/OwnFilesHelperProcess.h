// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QStringList>

namespace testenv {

// Another run of the program as far as the own-files record can tell: a process that has
// registered the paths and goes on running until it is told to forget them or is killed.
class OwnFilesRun {
public:
    // Starts the helper and waits until it has registered every path; Ready() says whether it
    // did.
    explicit OwnFilesRun(const QStringList& paths);
    ~OwnFilesRun();
    OwnFilesRun(const OwnFilesRun&) = delete;
    OwnFilesRun& operator=(const OwnFilesRun&) = delete;

    bool Ready() const { return ready_; }
    // Ends the run as a crash does (SIGKILL): its records stay behind.
    void Kill();
    // Ends the run as a finished one: it forgets its records first.
    bool Finish();

private:
    QProcess process_;
    bool ready_ = false;
};

// Sets a file's (or a link's own) modification time this many seconds back.
bool SetModifiedAgo(const QString& path, qint64 seconds);

}  // namespace testenv
