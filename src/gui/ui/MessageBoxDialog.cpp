// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ui/MessageBoxDialog.h"

MessageBoxDialog::MessageBoxDialog(QWidget* owner, const QString& text)
    : TextBoxDialog(owner, text, {{"msgConfirm", 1}, {"msgCancel", 0}})
{
}

int MessageBoxDialog::Ask(QWidget* owner, const QString& text)
{
    auto* dialog = new MessageBoxDialog(owner, text);
    dialog->CreateCentred();
    return dialog->ShowModal();
}
