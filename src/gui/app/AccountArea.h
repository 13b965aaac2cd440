// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class WindowImplBase;

// The account area of the main page ("login", "separator", "register", "username") and the
// sign-in that compressing asks for.
class AccountArea {
public:
    // window: the window that shows the area and owns the sign-in window.
    explicit AccountArea(WindowImplBase& window) : window_(window) {}

    // A click on "login", "register" or "username": the sign-in window unless a user is
    // signed in, then the area as it now stands.
    void OnClick();

    // True when a user is signed in; otherwise shows the sign-in window and returns false.
    bool RequireSignIn();

    // Shows the signed-in user (the number with its middle hidden), or the sign-in buttons.
    void Update();

private:
    WindowImplBase& window_;
};
