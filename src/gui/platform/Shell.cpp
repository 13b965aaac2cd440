#include "gui/platform/Shell.h"

#include <QDesktopServices>
#include <QFileDialog>

namespace {

Shell*& Replacement()
{
    static Shell* shell = nullptr;
    return shell;
}

}  // namespace

Shell& Shell::Instance()
{
    static Shell desktop;
    return Replacement() ? *Replacement() : desktop;
}

void Shell::SetInstance(Shell* shell) { Replacement() = shell; }

bool Shell::Open(const QUrl& url) { return QDesktopServices::openUrl(url); }

QStringList Shell::ChooseFiles(QWidget* owner, const QString& title, const QString& filter)
{
    return QFileDialog::getOpenFileNames(owner, title, QString(), filter);
}

QString Shell::ChooseFolder(QWidget* owner, const QString& title)
{
    return QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
}
