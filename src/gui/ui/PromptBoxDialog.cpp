#include "gui/ui/PromptBoxDialog.h"

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
    FitText(label);
}

void PromptBoxDialog::FitText(QLabel* label)
{
    // A top-level window keeps the height of its layout file, whatever a wrapped text needs:
    // the notice grows until the text fits, up to two thirds of the screen; a text longer than
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
