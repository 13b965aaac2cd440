// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "gui/skinlib/WindowImplBase.h"

class QLabel;

// A small dialog that shows one text ("msgText") and closes with the result of the button
// pressed: the common part of the question box and the notice box. The first button is the
// default one, so Enter and Return confirm when the dialog opens. The box grows to show a long
// text whole; one taller than two thirds of the screen scrolls ("msgScroll"). The dialog deletes
// itself when closed.
class TextBoxDialog : public WindowImplBase {
    Q_OBJECT
protected:
    struct Button {
        const char* name;
        int result;
    };
    TextBoxDialog(QWidget* owner, const QString& text, std::vector<Button> buttons);

    // Creates the dialog from its skin and centres it over its owner.
    void CreateCentred();

    void InitWindow() override;
    void Notify(skin::Notification& msg) override;
    // Enter and Return press the focused button.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FitText(QLabel* label);

    QString text_;
    std::vector<Button> buttons_;
};
