// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ui/PromptBoxDialog.h"

#include <QTimer>

PromptBoxDialog::PromptBoxDialog(QWidget* owner, const QString& text)
    : TextBoxDialog(owner, text, {{"msgConfirm", 1}})
{
}

void PromptBoxDialog::Show(QWidget* owner, const QString& text)
{
    auto* dialog = new PromptBoxDialog(owner, text);
    dialog->CreateCentred();
    dialog->ShowModal();
}

PromptBoxDialog* PromptBoxDialog::ShowModeless(QWidget* owner, const QString& text)
{
    auto* dialog = new PromptBoxDialog(owner, text);
    dialog->CreateCentred();
    dialog->ShowWindow(true);
    // A notice that comes while the program is busy (a file dialog just closed, rows being
    // added) may see the keyboard go back to the window it came from: it asks again once the
    // events of the moment are handled, so Enter answers it.
    QTimer::singleShot(0, dialog, [dialog] {
        if (!dialog->isVisible()) return;
        dialog->raise();
        dialog->activateWindow();
        if (QWidget* confirm = dialog->FindControl("msgConfirm")) confirm->setFocus();
    });
    return dialog;
}
