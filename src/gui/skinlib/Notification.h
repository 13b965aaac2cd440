// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QString>

class QWidget;

namespace skin {

// The notification types a window receives from its controls.
inline constexpr char kClick[] = "click";
inline constexpr char kSelectChanged[] = "selectchanged";
inline constexpr char kItemSelect[] = "itemselect";
inline constexpr char kItemClick[] = "itemclick";
inline constexpr char kValueChanged[] = "valuechanged";

struct Notification {
    QString type;
    QWidget* sender = nullptr;
    QString senderName;  // the sender's object name, the key most handlers switch on
    qintptr wParam = 0;  // selectchanged: the new state; itemselect: the row
    qintptr lParam = 0;
    QPoint mouse;  // global cursor position when the notification was made
};

}  // namespace skin
