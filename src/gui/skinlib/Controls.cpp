#include "gui/skinlib/Controls.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QVariant>

namespace skin {

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
