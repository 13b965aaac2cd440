#pragma once

#include "gui/skinlib/WindowImplBase.h"

class QLabel;

// A notice with one confirm button ("msgConfirm", result 1). The dialog deletes itself when
// closed. It grows to show a long text whole; one taller than two thirds of the screen scrolls
// ("msgScroll").
class PromptBoxDialog : public WindowImplBase {
    Q_OBJECT
public:
    PromptBoxDialog(QWidget* owner, const QString& text);

    // Creates, centres and shows the notice modally over owner.
    static void Show(QWidget* owner, const QString& text);
    // Creates, centres and shows the notice without waiting for it.
    static PromptBoxDialog* ShowModeless(QWidget* owner, const QString& text);

    QString GetWindowClassName() const override { return "PromptBoxDialog"; }
    QString GetSkinFile() const override { return "PromptBox.xml"; }

protected:
    void InitWindow() override;
    void Notify(skin::Notification& msg) override;
    // Enter and Return press the focused button, which is "msgConfirm" when the notice opens.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FitText(QLabel* label);

    QString text_;
};
