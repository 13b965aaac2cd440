#pragma once

#include "gui/skinlib/Notification.h"

class CMainWnd;
class QWidget;

// The main page's own controls: the compression options (each written to the settings the
// moment it is chosen), the slider's label, select-all for both lists, a row's start button and
// start-all, the account area. Intake and the window buttons are handled elsewhere.
class MainPage {
public:
    explicit MainPage(CMainWnd& window) : window_(window) {}

    // Handles the notification when it is one of the page's; false otherwise.
    bool Notify(const skin::Notification& msg);

    // With "image-define-param" checked, the width and then the height field must hold digits
    // (blanks around them allowed); otherwise the first problem is shown and false returned.
    bool CheckCustomImageSize();

    // True when a user is signed in; otherwise shows the sign-in window and returns false.
    bool RequireSignIn();

    // Shows the signed-in user in the account area, or the sign-in buttons.
    void UpdateAccountArea();

private:
    bool OnClick(const skin::Notification& msg);
    bool OnSelectChanged(const skin::Notification& msg);
    bool OnItemSelect(const skin::Notification& msg);
    void StartVideoRow(QWidget* button);
    void StartAllVideoRows();
    void SelectAll(QWidget* selectAll, const char* listName, const char* checkName);

    CMainWnd& window_;
};
