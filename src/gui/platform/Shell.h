// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

class QWidget;

// What the program asks of the desktop: opening an address or a folder with the user's
// programs, and the file and folder choosers. Tests replace the instance to answer the choosers
// with real files and to see what was opened.
class Shell {
public:
    virtual ~Shell() = default;

    static Shell& Instance();
    // Replaces the instance (not owned); null restores the desktop's.
    static void SetInstance(Shell* shell);

    // Opens a web address in the browser or a local folder in the file manager.
    virtual bool Open(const QUrl& url);
    // Several files; empty when the user cancels.
    virtual QStringList ChooseFiles(QWidget* owner, const QString& title, const QString& filter);
    // One folder; empty when the user cancels.
    virtual QString ChooseFolder(QWidget* owner, const QString& title);

    // Where a chooser of this kind opens: the folder of its last answer in this run while that
    // folder exists, else the home folder. A file chooser's kind is its filter (videos and
    // images differ), a folder chooser's its title.
    static QString StartFolder(const QString& kind);
    static void RememberFolder(const QString& kind, const QString& folder);
};
