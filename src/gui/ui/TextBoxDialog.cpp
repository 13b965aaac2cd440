// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ui/TextBoxDialog.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <algorithm>
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
    FitText(label);
}

void TextBoxDialog::FitText(QLabel* label)
{
    // A top-level window keeps the height of its layout file, whatever a wrapped text needs:
    // the box grows until the text fits, up to two thirds of the screen; a text longer than
    // that scrolls inside it.
    layout()->activate();
    const int needed = layout()->totalHeightForWidth(width());
    if (needed <= height()) return;
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const int limit = screen ? screen->availableGeometry().height() * 2 / 3 : needed;
    if (needed > limit) {
        auto* area = new QScrollArea;
        area->setObjectName("msgScroll");
        area->setFrameShape(QFrame::NoFrame);
        area->setWidgetResizable(true);
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        delete label->parentWidget()->layout()->replaceWidget(label, area);
        area->setWidget(label);
    }
    resize(width(), std::min(needed, limit));
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
