// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/ui/TextBoxDialog.h"

// A question with a confirm and a cancel button. ShowModal returns 1 for "msgConfirm" and 0 for
// "msgCancel" (and for every other way of closing). The dialog deletes itself when closed.
class MessageBoxDialog : public TextBoxDialog {
    Q_OBJECT
public:
    MessageBoxDialog(QWidget* owner, const QString& text);

    // Creates, centres and runs the box over owner; the usual way to ask.
    static int Ask(QWidget* owner, const QString& text);

    QString GetWindowClassName() const override { return "MessageBoxDialog"; }
    QString GetSkinFile() const override { return "MessageBox.xml"; }
};
