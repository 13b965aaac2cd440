#pragma once

#include "gui/skinlib/WindowImplBase.h"

class QLabel;

// A question with a confirm and a cancel button. ShowModal returns 1 for "msgConfirm" and 0 for
// "msgCancel" (and for every other way of closing). The dialog deletes itself when closed.
class MessageBoxDialog : public WindowImplBase {
    Q_OBJECT
public:
    MessageBoxDialog(QWidget* owner, const QString& text);

    // Creates, centres and runs the box over owner; the usual way to ask.
    static int Ask(QWidget* owner, const QString& text);

    QString GetWindowClassName() const override { return "MessageBoxDialog"; }
    QString GetSkinFile() const override { return "MessageBox.xml"; }

protected:
    void InitWindow() override;
    void Notify(skin::Notification& msg) override;
    // Enter and Return press the focused button, which is "msgConfirm" when the notice opens.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString text_;
};
