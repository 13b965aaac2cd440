// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QAbstractButton;
class QKeyEvent;
class QProgressBar;

// Small operations on controls that the layouts and the program share.
namespace skin {

// A control whose mouse input is off ignores clicks (and their keyboard equivalents) but keeps
// its look, unlike a disabled control.
void SetMouseEnabled(QWidget* control, bool enabled);
bool IsMouseEnabled(const QWidget* control);

// The tag: a pointer-sized integer a control carries, such as the task id of a row's buttons.
void SetTag(QObject* control, qintptr tag);
qintptr GetTag(const QObject* control);

// Sets a progress bar's value and repaints it at once. QProgressBar repaints by itself only when
// it judges the change visible, and under a style sheet it judges by a chunk of 9 px: a bar of
// 60 px would wait for steps of 15 % and otherwise keep its old pixels.
void SetProgressValue(QProgressBar* bar, int value);

// The text a button shows, and the one it shows while the mouse is over it (none: the same). A
// row's "压缩中" reads "取消" under the mouse, saying what a click does.
void SetButtonTexts(QAbstractButton* button, const QString& text, const QString& hoverText = {});

// The button a dialog's Enter presses: it takes the keyboard focus (Tab reaches it too).
void MakeDefaultButton(QAbstractButton* button);
// For a dialog's keyPressEvent: Enter or Return clicks the focused button of window (a visible,
// enabled one); true when it did and the key is used up.
bool PressFocusedButtonOnEnter(QWidget* window, QKeyEvent* event);

}  // namespace skin
