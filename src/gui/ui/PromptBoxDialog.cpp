#include "gui/ui/PromptBoxDialog.h"

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
    return dialog;
}
