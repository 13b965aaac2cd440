// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/skinlib/Controls.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>
#include <QProgressBar>
#include <QVariant>

namespace skin {
namespace {

constexpr char kRestText[] = "restText";
constexpr char kHoverText[] = "hoverText";

// Swaps a button's text for its hover text while the mouse is over it.
class HoverText : public QObject {
public:
    explicit HoverText(QAbstractButton* button) : QObject(button) {}

    static void Apply(QAbstractButton* button)
    {
        const QString hover = button->property(kHoverText).toString();
        const bool over = button->underMouse() && !hover.isEmpty();
        button->setText(over ? hover : button->property(kRestText).toString());
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
            auto* button = static_cast<QAbstractButton*>(watched);
            const QString hover = button->property(kHoverText).toString();
            button->setText(event->type() == QEvent::Enter && !hover.isEmpty()
                                ? hover
                                : button->property(kRestText).toString());
        }
        return false;
    }
};

}  // namespace

void SetMouseEnabled(QWidget* control, bool enabled)
{
    if (control) control->setAttribute(Qt::WA_TransparentForMouseEvents, !enabled);
}

bool IsMouseEnabled(const QWidget* control)
{
    return control && !control->testAttribute(Qt::WA_TransparentForMouseEvents);
}

void SetTag(QObject* control, qintptr tag)
{
    if (control) control->setProperty("tag", QVariant::fromValue<qlonglong>(tag));
}

qintptr GetTag(const QObject* control)
{
    return control ? static_cast<qintptr>(control->property("tag").toLongLong()) : 0;
}

void SetProgressValue(QProgressBar* bar, int value)
{
    if (!bar) return;
    bar->setValue(value);
    bar->update();
}

void SetButtonTexts(QAbstractButton* button, const QString& text, const QString& hoverText)
{
    if (!button) return;
    if (!button->findChild<HoverText*>(QString(), Qt::FindDirectChildrenOnly))
        button->installEventFilter(new HoverText(button));
    button->setProperty(kRestText, text);
    button->setProperty(kHoverText, hoverText);
    HoverText::Apply(button);
}

void MakeDefaultButton(QAbstractButton* button)
{
    if (!button) return;
    button->setFocusPolicy(Qt::StrongFocus);
    button->setFocus(Qt::OtherFocusReason);
}

bool PressFocusedButtonOnEnter(QWidget* window, QKeyEvent* event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) return false;
    if (event->modifiers() & ~Qt::KeypadModifier) return false;
    auto* button = qobject_cast<QAbstractButton*>(window->focusWidget());
    if (!button || !button->isVisible() || !button->isEnabled() || button->window() != window)
        return false;
    button->click();
    return true;
}

}  // namespace skin
