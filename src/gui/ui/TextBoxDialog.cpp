#include "gui/ui/TextBoxDialog.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLabel>
#include <stdexcept>

#include "gui/skinlib/Controls.h"

TextBoxDialog::TextBoxDialog(QWidget* owner, const QString& text, std::vector<Button> buttons)
    : WindowImplBase(owner, Kind::Dialog), text_(text), buttons_(std::move(buttons))
{
}

void TextBoxDialog::CreateCentred()
{
    Create();
    CenterWindow();
}

void TextBoxDialog::InitWindow()
{
    auto* label = FindControl<QLabel>("msgText");
    bool complete = label != nullptr && !buttons_.empty();
    for (const Button& button : buttons_) complete = complete && FindControl(button.name);
    if (!complete) throw std::runtime_error(GetWindowClassName().toStdString() + "::Init");
    label->setText(text_);
    skin::MakeDefaultButton(FindControl<QAbstractButton>(buttons_.front().name));
}

void TextBoxDialog::Notify(skin::Notification& msg)
{
    if (msg.type == QLatin1String(skin::kClick)) {
        for (const Button& button : buttons_) {
            if (msg.senderName == QLatin1String(button.name)) return Close(button.result);
        }
    }
    WindowImplBase::Notify(msg);
}

void TextBoxDialog::keyPressEvent(QKeyEvent* event)
{
    if (skin::PressFocusedButtonOnEnter(this, event)) return;
    WindowImplBase::keyPressEvent(event);
}
