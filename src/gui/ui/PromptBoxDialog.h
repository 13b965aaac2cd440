// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/ui/TextBoxDialog.h"

// A notice with one confirm button ("msgConfirm", result 1). The dialog deletes itself when
// closed.
class PromptBoxDialog : public TextBoxDialog {
    Q_OBJECT
public:
    PromptBoxDialog(QWidget* owner, const QString& text);

    // Creates, centres and shows the notice modally over owner.
    static void Show(QWidget* owner, const QString& text);
    // Creates, centres and shows the notice without waiting for it.
    static PromptBoxDialog* ShowModeless(QWidget* owner, const QString& text);

    QString GetWindowClassName() const override { return "PromptBoxDialog"; }
    QString GetSkinFile() const override { return "PromptBox.xml"; }
};
