#include "gui/ui/MessageBoxDialog.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLabel>
#include <stdexcept>

#include "gui/skinlib/Controls.h"

MessageBoxDialog::MessageBoxDialog(QWidget* owner, const QString& text)
    : WindowImplBase(owner, Kind::Dialog), text_(text)
{
}

int MessageBoxDialog::Ask(QWidget* owner, const QString& text)
{
    auto* dialog = new MessageBoxDialog(owner, text);
    dialog->Create();
    dialog->CenterWindow();
    return dialog->ShowModal();
}

void MessageBoxDialog::InitWindow()
{
    auto* label = FindControl<QLabel>("msgText");
    if (!label || !FindControl("msgConfirm") || !FindControl("msgCancel"))
        throw std::runtime_error("MessageBoxDialog::Init");
    label->setText(text_);
    skin::MakeDefaultButton(FindControl<QAbstractButton>("msgConfirm"));
}

void MessageBoxDialog::Notify(skin::Notification& msg)
{
    if (msg.type == QLatin1String(skin::kClick)) {
        if (msg.senderName == QLatin1String("msgConfirm")) return Close(1);
        if (msg.senderName == QLatin1String("msgCancel")) return Close(0);
    }
    WindowImplBase::Notify(msg);
}

void MessageBoxDialog::keyPressEvent(QKeyEvent* event)
{
    if (skin::PressFocusedButtonOnEnter(this, event)) return;
    WindowImplBase::keyPressEvent(event);
}
