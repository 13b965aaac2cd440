#include "gui/ui/PromptBoxDialog.h"

#include <QLabel>
#include <stdexcept>

PromptBoxDialog::PromptBoxDialog(QWidget* owner, const QString& text)
    : WindowImplBase(owner, Kind::Dialog), text_(text)
{
}

void PromptBoxDialog::Show(QWidget* owner, const QString& text)
{
    auto* dialog = new PromptBoxDialog(owner, text);
    dialog->Create();
    dialog->CenterWindow();
    dialog->ShowModal();
}

PromptBoxDialog* PromptBoxDialog::ShowModeless(QWidget* owner, const QString& text)
{
    auto* dialog = new PromptBoxDialog(owner, text);
    dialog->Create();
    dialog->CenterWindow();
    dialog->ShowWindow(true);
    return dialog;
}

void PromptBoxDialog::InitWindow()
{
    auto* label = FindControl<QLabel>("msgText");
    if (!label || !FindControl("msgConfirm")) throw std::runtime_error("PromptBoxDialog::Init");
    label->setText(text_);
}

void PromptBoxDialog::Notify(skin::Notification& msg)
{
    if (msg.type == QLatin1String(skin::kClick) && msg.senderName == QLatin1String("msgConfirm"))
        return Close(1);
    WindowImplBase::Notify(msg);
}
