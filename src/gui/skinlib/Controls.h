#pragma once

#include <QWidget>

class QAbstractButton;
class QKeyEvent;

// Small operations on controls that the layouts and the program share.
namespace skin {

// A control whose mouse input is off ignores clicks (and their keyboard equivalents) but keeps
// its look, unlike a disabled control.
void SetMouseEnabled(QWidget* control, bool enabled);
bool IsMouseEnabled(const QWidget* control);

// The tag: a pointer-sized integer a control carries, such as the task id of a row's buttons.
void SetTag(QObject* control, qintptr tag);
qintptr GetTag(const QObject* control);

// The button a dialog's Enter presses: it takes the keyboard focus (Tab reaches it too).
void MakeDefaultButton(QAbstractButton* button);
// For a dialog's keyPressEvent: Enter or Return clicks the focused button of window (a visible,
// enabled one); true when it did and the key is used up.
bool PressFocusedButtonOnEnter(QWidget* window, QKeyEvent* event);

}  // namespace skin
