// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/skinlib/Notification.h"

class QWidget;
class WindowImplBase;

// The main page's own controls: the compression options (each written to the settings the
// moment it is chosen), the slider's label, select-all for both lists, the custom image size.
// The rows, intake, the account area and the window buttons are handled elsewhere.
class MainPage {
public:
    // window: the window that shows the page.
    explicit MainPage(WindowImplBase& window) : window_(window) {}

    // Handles the notification when it is one of the page's; false otherwise.
    bool Notify(const skin::Notification& msg);

    // With "image-define-param" checked, the width and then the height field must hold digits
    // (blanks around them allowed); otherwise the first problem is shown and false returned.
    bool CheckCustomImageSize();

    // Keeps each list's select-all box ("videoCheckBoxAll", "imageCheckBoxAll") ticked exactly
    // while the list has rows and all of them are ticked: after a row is ticked or unticked,
    // added or removed. Called once the page's controls exist.
    void FollowRows();

private:
    bool OnClick(const skin::Notification& msg);
    bool OnSelectChanged(const skin::Notification& msg);
    bool OnItemSelect(const skin::Notification& msg);
    void SelectAll(QWidget* selectAll, const char* listName, const char* checkName);
    void SyncSelectAll(const char* boxName, const char* listName, const char* checkName);

    WindowImplBase& window_;
};
