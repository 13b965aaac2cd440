// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/app/MainTaskMenu.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <iterator>
#include <memory>

#include "gui/ui/WindowMessages.h"

namespace {

constexpr char kMenuSkin[] = "MainTaskMenu.xml";

struct MenuEntry {
    const char* name;
    int message;
};

constexpr MenuEntry kEntries[] = {
    {"main_menu_item_quit", UM_MENU_QUIT},         {"main_menu_item_home", UM_MENU_HOME},
    {"main_menu_item_help", UM_MENU_HELP},         {"main_menu_item_seting", UM_MENU_SETTINGS},
    {"main_menu_item_feedback", UM_MENU_FEEDBACK}, {"main_menu_item_upgrade", UM_MENU_UPGRADE},
};

}  // namespace

CMainTaskMenu::CMainTaskMenu(QWidget* owner, const QString& skinFile)
    : WindowImplBase(owner, Kind::Popup), skinFile_(skinFile), owner_(owner)
{
    setObjectName(QStringLiteral("MenuWnd"));
}

CMainTaskMenu::~CMainTaskMenu() = default;

QPointer<CMainTaskMenu>& CMainTaskMenu::Current()
{
    static QPointer<CMainTaskMenu> menu;
    return menu;
}

CMainTaskMenu* CMainTaskMenu::Popup(QWidget* owner, const QPoint& cursor)
{
    return Open(owner, cursor,
                [&](const QSize& size, const QRect& area) { return PlaceAt(cursor, size, area); });
}

CMainTaskMenu* CMainTaskMenu::PopupUnder(QWidget* owner, QWidget* button)
{
    const QRect anchor(button->mapToGlobal(QPoint(0, 0)), button->size());
    return Open(owner, anchor.center(), [&](const QSize& size, const QRect& area) {
        return PlaceUnder(anchor, size, area);
    });
}

CMainTaskMenu* CMainTaskMenu::Open(QWidget* owner, const QPoint& point,
                                   const std::function<QPoint(const QSize&, const QRect&)>& place)
{
    // A menu that is still open moves to the new point. Closing it and opening another would
    // let the application's deactivation, when the old pop-up goes, close the new one too.
    CMainTaskMenu* menu = Current();
    if (menu && menu->owner_ != owner) {
        menu->Close(1);
        menu = nullptr;
    }
    if (!menu) {
        std::unique_ptr<CMainTaskMenu> created(
            new CMainTaskMenu(owner, QString::fromLatin1(kMenuSkin)));
        created->Create();
        menu = created.release();
        Current() = menu;
    }
    const QScreen* screen = QGuiApplication::screenAt(point);
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    menu->move(place(menu->size(), area));
    menu->ShowWindow(true);
    return menu;
}

QPoint CMainTaskMenu::PlaceUnder(const QRect& anchor, const QSize& size, const QRect& area)
{
    int left = anchor.x() + anchor.width() - size.width();
    int top = anchor.y() + anchor.height();
    if (!area.isValid()) return {left, top};
    if (top + size.height() > area.y() + area.height()) top = anchor.y() - size.height();
    left = std::max(std::min(left, area.x() + area.width() - size.width()), area.x());
    top = std::max(std::min(top, area.y() + area.height() - size.height()), area.y());
    return {left, top};
}

QPoint CMainTaskMenu::PlaceAt(const QPoint& cursor, const QSize& size, const QRect& area)
{
    int left = cursor.x() + kCursorGap;
    int top = cursor.y() - size.height() - kCursorGap;
    if (!area.isValid()) return {left, top};
    // Right and bottom edges first, so that a menu larger than the area keeps its top-left
    // corner visible.
    left = std::max(std::min(left, area.x() + area.width() - size.width()), area.x());
    top = std::max(std::min(top, area.y() + area.height() - size.height()), area.y());
    return {left, top};
}

void CMainTaskMenu::Notify(skin::Notification& msg)
{
    if (msg.type == QLatin1String(skin::kItemSelect)) {
        Close(1);
    } else if (msg.type == QLatin1String(skin::kItemClick)) {
        const auto entry = std::find_if(
            std::begin(kEntries), std::end(kEntries),
            [&](const MenuEntry& e) { return msg.senderName == QLatin1String(e.name); });
        if (entry != std::end(kEntries) && owner_)
            skin::PostMessage(owner_, entry->message, msg.wParam, msg.lParam);
    }
    WindowImplBase::Notify(msg);
}
