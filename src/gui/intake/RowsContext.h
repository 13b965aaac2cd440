// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include "gui/skinlib/SkinBuilder.h"

class WindowImplBase;

// What the row handlers of both lists get from the window that holds the lists, besides their
// own engine. The window owns the handlers, so the callbacks never outlive what they call.
struct RowsContext {
    // Holds "videoList" and "image-list"; the owner of the notices the handlers show.
    WindowImplBase& window;
    // True when a user is signed in; otherwise shows the sign-in window and returns false.
    std::function<bool()> requireSignIn;
    // A fresh task id: the ids number the rows of both lists and are never reused.
    std::function<int()> takeTaskId;
    // The window's own controls in the row templates.
    skin::ControlFactory controlFactory;
};
