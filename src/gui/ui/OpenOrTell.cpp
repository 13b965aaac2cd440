// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ui/OpenOrTell.h"

#include "core/app/Language.h"
#include "gui/platform/Shell.h"
#include "gui/ui/PromptBoxDialog.h"

bool OpenOrTell(QWidget* owner, const QUrl& url)
{
    if (Shell::Instance().Open(url)) return true;
    PromptBoxDialog::Show(owner, CannotOpenText(url));
    return false;
}

QString CannotOpenText(const QUrl& url)
{
    if (url.isLocalFile()) return Texts::tr("无法打开文件夹：") + url.toLocalFile();
    return Texts::tr("无法打开网页：") + url.toString();
}
