// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>

#include "gui/platform/Shell.h"

namespace testenv {

// Stands in for the desktop while it lives: answers the file and folder choosers as a user
// would, with real paths, and records what the program asked to open.
class FakeShell : public Shell {
public:
    FakeShell() { Shell::SetInstance(this); }
    ~FakeShell() override { Shell::SetInstance(nullptr); }

    bool Open(const QUrl& url) override
    {
        opened.append(url);
        return openSucceeds;
    }
    QStringList ChooseFiles(QWidget*, const QString&, const QString& filter) override
    {
        lastFilter = filter;
        return files;
    }
    QString ChooseFolder(QWidget*, const QString& title) override
    {
        lastTitle = title;
        return folder;
    }

    QStringList files;  // the file chooser's answer (empty: cancelled)
    QString folder;     // the folder chooser's answer (empty: cancelled)
    bool openSucceeds = true;
    QList<QUrl> opened;
    QString lastFilter;
    QString lastTitle;
};

}  // namespace testenv
