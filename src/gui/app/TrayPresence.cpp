// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/app/TrayPresence.h"

#include <QSystemTrayIcon>

namespace tray {

namespace {

std::optional<bool>& Override()
{
    static std::optional<bool> available;
    return available;
}

}  // namespace

bool Available()
{
    if (Override()) return *Override();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SetAvailableForTesting(std::optional<bool> available)
{
    Override() = available;
}

CloseAction DecideClose(bool quitEntry, bool toTraySetting, bool trayAvailable)
{
    if (quitEntry || !toTraySetting || !trayAvailable) return CloseAction::Quit;
    return CloseAction::HideToTray;
}

}  // namespace tray
