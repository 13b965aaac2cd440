// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QtGlobal>

// Whether the desktop shows a notification area, and what the main window's close button does
// with it. Without one, nothing may hide the window: it could not be brought back.
namespace tray {

// QSystemTrayIcon::isSystemTrayAvailable(), unless a test has put its own answer in place.
bool Available();
// Replaces the desktop's answer (std::nullopt: ask the desktop again).
void SetAvailableForTesting(std::optional<bool> available);

enum class CloseAction {
    Quit,        // the window goes (after the question while videos compress)
    HideToTray,  // the window hides; the tray icon brings it back
};

// quitEntry: the close comes from a quit entry (menu, Ctrl+Q), which always ends the program.
// toTraySetting: the stored "window-close" choice. A stored "to the tray" without a tray counts
// as ending the program, as the settings dialog then shows it.
CloseAction DecideClose(bool quitEntry, bool toTraySetting, bool trayAvailable);

}  // namespace tray
