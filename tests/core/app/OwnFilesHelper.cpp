// SPDX-License-Identifier: GPL-3.0-or-later
// A second program for the tests of the own-files record: registers the paths it is given (as
// the engines register their temporary files), says "ready", and then waits. A line "forget" on
// its input makes it forget them and end as a run that finished; killed, it leaves them behind
// as a run that died.
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <cstring>

#include "core/app/OwnFiles.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList paths = app.arguments().mid(1);
    for (const QString& path : paths) {
        if (!OwnFiles::Register(path)) {
            std::printf("cannot register %s\n", qPrintable(path));
            return 1;
        }
    }
    std::printf("ready\n");
    std::fflush(stdout);
    char line[64] = {};
    while (std::fgets(line, sizeof line, stdin)) {
        if (std::strncmp(line, "forget", 6) == 0) {
            for (const QString& path : paths) OwnFiles::Forget(path);
            return 0;
        }
    }
    return 0;
}
