// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QString>

class QSystemTrayIcon;

// One desktop notification: through the desktop's notification service
// (org.freedesktop.Notifications) on the given bus when it has one, else as the tray icon's
// balloon, else not at all.
namespace desktopnotify {

enum class Route { Bus, Tray, None };

inline constexpr char kService[] = "org.freedesktop.Notifications";
inline constexpr char kPath[] = "/org/freedesktop/Notifications";
inline constexpr char kInterface[] = "org.freedesktop.Notifications";

// The notification's desktop entry and icon: the installed menu entry's name.
inline constexpr char kDesktopEntry[] = "io.lumocompress.LumoCompress";

// The user's session bus, connected afresh when an earlier try found none.
QDBusConnection SessionBus();

// Sends without waiting for the service's answer; returns the way it went.
Route Send(const QDBusConnection& bus, const QString& title, const QString& body,
           QSystemTrayIcon* tray);

}  // namespace desktopnotify
