// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/skinlib/WindowImplBase.h"

// The sign-in window: takes an 11-digit mobile number and keeps it for later starts.
// ShowModal returns 1 when the user signed in, 0 otherwise.
class LoginDialog : public WindowImplBase {
    Q_OBJECT
public:
    explicit LoginDialog(QWidget* owner);

    // Shows the window modally over owner; true when the user is signed in afterwards.
    static bool Run(QWidget* owner);

    QString GetWindowClassName() const override { return "LoginDialog"; }
    QString GetSkinFile() const override { return "Login.xml"; }

protected:
    void InitWindow() override;
    void Notify(skin::Notification& msg) override;

private:
    void SignIn();
};
