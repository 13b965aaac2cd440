// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/platform/Shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>

namespace {

Shell*& Replacement()
{
    static Shell* shell = nullptr;
    return shell;
}

QHash<QString, QString>& RecentFolders()
{
    static QHash<QString, QString> folders;
    return folders;
}

QString FilesKind(const QString& filter)
{
    return QStringLiteral("files:") + filter;
}
QString FolderKind(const QString& title)
{
    return QStringLiteral("folder:") + title;
}

}  // namespace

Shell& Shell::Instance()
{
    static Shell desktop;
    return Replacement() ? *Replacement() : desktop;
}

void Shell::SetInstance(Shell* shell)
{
    Replacement() = shell;
}

bool Shell::Open(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

QStringList Shell::ChooseFiles(QWidget* owner, const QString& title, const QString& filter)
{
    const QString kind = FilesKind(filter);
    const QStringList files =
        QFileDialog::getOpenFileNames(owner, title, StartFolder(kind), filter);
    if (!files.isEmpty()) RememberFolder(kind, QFileInfo(files.first()).absolutePath());
    return files;
}

QString Shell::ChooseFolder(QWidget* owner, const QString& title)
{
    const QString kind = FolderKind(title);
    const QString folder = QFileDialog::getExistingDirectory(owner, title, StartFolder(kind),
                                                             QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty()) RememberFolder(kind, folder);
    return folder;
}

QString Shell::StartFolder(const QString& kind)
{
    const QString folder = RecentFolders().value(kind);
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
    return QDir::homePath();
}

void Shell::RememberFolder(const QString& kind, const QString& folder)
{
    RecentFolders().insert(kind, folder);
}
