// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/skinlib/CustomMessage.h"

// The custom messages of the main window, in one table so that no two share an id. Background
// threads, row menus, dialogs and the tray post them; the main window's dispatch handles them on
// the UI thread. They live below every window folder, so a poster needs no header of the main
// window's own folder. The ids keep their historic values.
enum : int {
    UM_VIDEO_PARAM = skin::WM_USER + 200,
    UM_VIDEO_OPEN_DIR = skin::WM_USER + 201,
    UM_VIDEO_RECOMPRESS = skin::WM_USER + 202,
    UM_VIDEO_DELETE = skin::WM_USER + 203,
    UM_IMAGE_OPEN_DIR = skin::WM_USER + 204,
    UM_IMAGE_RECOMPRESS = skin::WM_USER + 205,
    UM_IMAGE_DELETE = skin::WM_USER + 206,
    UM_MENU_QUIT = skin::WM_USER + 210,
    UM_MENU_HOME = skin::WM_USER + 211,
    UM_MENU_HELP = skin::WM_USER + 212,
    UM_MENU_SETTINGS = skin::WM_USER + 213,
    UM_MENU_FEEDBACK = skin::WM_USER + 214,
    UM_MENU_UPGRADE = skin::WM_USER + 215,
    UM_TRAY_NOTIFY = skin::WM_USER + 230,
    // The row's own record (a CompressParams) and, as lParam, its own size limit in bytes.
    UM_VIDEO_PARAM_SAVE = skin::WM_USER + 240,
    UM_VIDEO_PARAM_RESET = skin::WM_USER + 241,
    UM_TASK_PROGRESS = skin::WM_USER + 260,
    UM_VIDEO_DONE = skin::WM_USER + 261,
    UM_VIDEO_STATUS = skin::WM_USER + 262,
    UM_VIDEO_STARTED = skin::WM_USER + 263,  // the worker took a task: show it as compressing
    UM_VIDEO_NOTES = skin::WM_USER + 264,    // the engine's notes on a task (a QStringList)
    UM_IMAGE_DONE = skin::WM_USER + 265,
    // The stretch of a task's bar its time left goes by: a std::pair of from and to percents.
    UM_TASK_TIMED_SPAN = skin::WM_USER + 268,
    UM_IMAGE_STATUS = skin::WM_USER + 266,
    UM_IMAGE_STARTED = skin::WM_USER + 267,  // the worker took a task: show it as compressing
    UM_VIDEO_CANCEL = skin::WM_USER + 270,   // the row menu's cancel
    UM_IMAGE_CANCEL = skin::WM_USER + 271,
    UM_VIDEO_CANCELLED = skin::WM_USER + 272,  // the engine stopped a cancelled task
    UM_IMAGE_CANCELLED = skin::WM_USER + 273,
    UM_USER_INFO = skin::WM_USER + 301,
    UM_NETWORK_ERROR = skin::WM_USER + 400,
    UM_UPGRADE_FAILED = skin::WM_USER + 410,
    UM_SHOW_PERSON_CENTER = skin::WM_USER + 710,
};

// The wParam of a close that comes from the menu's quit entry: the close behaviour setting is
// skipped (the question while videos are compressing is not).
inline constexpr int kQuitCloseParam = 1234;

// The mouse messages the tray handler distinguishes.
inline constexpr int kTrayLeftButtonDown = 513;
inline constexpr int kTrayRightButtonDown = 516;
inline constexpr int kTrayIconId = 128;
