// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QPointer>
#include <functional>

#include "gui/skinlib/WindowImplBase.h"

// The pop-up menu of the tray icon and of the title bar's menu button. Each entry posts one of
// UM_MENU_QUIT ... UM_MENU_UPGRADE to the owner (the main window), whose dispatch carries the
// action out; the menu itself does nothing else. It closes when an entry is chosen, on Escape, and
// when it loses the focus (a click anywhere else), and deletes itself once closed.
class CMainTaskMenu : public WindowImplBase {
    Q_OBJECT
public:
    // The gap between the cursor and the menu's bottom-left corner.
    static constexpr int kCursorGap = 6;

    CMainTaskMenu(QWidget* owner, const QString& skinFile);
    ~CMainTaskMenu() override;

    // Opens the menu for owner at the cursor (screen coordinates): its bottom-left corner
    // 6 pixels right of and 6 pixels above the cursor, moved back inside the screen's available
    // area where that would leave it. A menu of owner that is still open moves there instead.
    static CMainTaskMenu* Popup(QWidget* owner, const QPoint& cursor);

    // Where a menu of size opens for the cursor within area (the screen's available area;
    // an invalid area keeps no bounds).
    static QPoint PlaceAt(const QPoint& cursor, const QSize& size, const QRect& area);

    // Opens the menu of owner under button (the title bar's menu button), as Popup does.
    static CMainTaskMenu* PopupUnder(QWidget* owner, QWidget* button);
    // Where a menu of size opens under anchor (screen coordinates): its top edge on the anchor's
    // bottom edge and its right edge on the anchor's, since the button sits at the window's
    // right; above the anchor when there is no room below; inside area.
    static QPoint PlaceUnder(const QRect& anchor, const QSize& size, const QRect& area);

    QString GetWindowClassName() const override { return QStringLiteral("CDuiMenu "); }
    QString GetSkinFile() const override { return skinFile_; }

protected:
    void Notify(skin::Notification& msg) override;

private:
    // Opens (or moves) the menu of owner; place gives its top-left corner from its size and the
    // available area of the screen at point.
    static CMainTaskMenu* Open(QWidget* owner, const QPoint& point,
                               const std::function<QPoint(const QSize&, const QRect&)>& place);

    // The menu that is open, so that a second right click does not open another.
    static QPointer<CMainTaskMenu>& Current();

    QString skinFile_;
    QPointer<QWidget> owner_;
};
