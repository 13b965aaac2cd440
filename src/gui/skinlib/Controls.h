#pragma once

#include <QWidget>

// Small operations on controls that the layouts and the program share.
namespace skin {

// A control whose mouse input is off ignores clicks (and their keyboard equivalents) but keeps
// its look, unlike a disabled control.
void SetMouseEnabled(QWidget* control, bool enabled);
bool IsMouseEnabled(const QWidget* control);

// The tag: a pointer-sized integer a control carries, such as the task id of a row's buttons.
void SetTag(QObject* control, qintptr tag);
qintptr GetTag(const QObject* control);

}  // namespace skin
