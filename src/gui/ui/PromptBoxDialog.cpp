#include "gui/ui/PromptBoxDialog.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLabel>
#include <stdexcept>

#include "gui/skinlib/Controls.h"

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
    skin::MakeDefaultButton(FindControl<QAbstractButton>("msgConfirm"));
}

void PromptBoxDialog::Notify(skin::Notification& msg)
{
    if (msg.type == QLatin1String(skin::kClick) && msg.senderName == QLatin1String("msgConfirm"))
        return Close(1);
    WindowImplBase::Notify(msg);
}

void PromptBoxDialog::keyPressEvent(QKeyEvent* event)
{
    if (skin::PressFocusedButtonOnEnter(this, event)) return;
    WindowImplBase::keyPressEvent(event);
}
