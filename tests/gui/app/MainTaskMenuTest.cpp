// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>
#include <QScreen>
#include <QTest>

#include "gui/app/MainTaskMenu.h"
#include "gui/ui/WindowMessages.h"
#include "support/GuiTestEnv.h"

namespace {

// Stands in for the main window: records the custom messages posted to it.
class Owner : public QWidget {
public:
    QList<int> received;

protected:
    void customEvent(QEvent* event) override
    {
        if (event->type() == skin::MessageEvent::EventType())
            received.append(static_cast<skin::MessageEvent*>(event)->message().id);
    }
};

class MainTaskMenuTest : public ::testing::Test {
protected:
    void SetUp() override { owner.show(); }
    void TearDown() override { delete menu.data(); }

    QRect Area() const { return QGuiApplication::primaryScreen()->availableGeometry(); }
    bool Closed()
    {
        return testenv::WaitUntil([&] { return menu.isNull(); });
    }

    Owner owner;
    QPointer<CMainTaskMenu> menu;
};

TEST_F(MainTaskMenuTest, EachEntryPostsItsMessageToTheOwnerAndClosesTheMenu)
{
    const std::pair<const char*, int> entries[] = {
        {"main_menu_item_quit", UM_MENU_QUIT},         {"main_menu_item_home", UM_MENU_HOME},
        {"main_menu_item_help", UM_MENU_HELP},         {"main_menu_item_seting", UM_MENU_SETTINGS},
        {"main_menu_item_feedback", UM_MENU_FEEDBACK}, {"main_menu_item_upgrade", UM_MENU_UPGRADE},
    };
    for (const auto& [name, message] : entries) {
        SCOPED_TRACE(name);
        owner.received.clear();
        menu = CMainTaskMenu::Popup(&owner, Area().center());
        menu->FindControl<QAbstractButton>(name)->click();
        EXPECT_TRUE(Closed());
        EXPECT_TRUE(testenv::WaitUntil([&] { return !owner.received.isEmpty(); }));
        EXPECT_EQ(owner.received, QList<int>{message});
    }
}

TEST_F(MainTaskMenuTest, EscapeOrAClickOutsideClosesTheMenuWithoutAction)
{
    menu = CMainTaskMenu::Popup(&owner, Area().center());
    QTest::keyClick(menu, Qt::Key_Escape);
    EXPECT_TRUE(Closed());

    menu = CMainTaskMenu::Popup(&owner, Area().center());
    ASSERT_TRUE(testenv::WaitUntil([&] { return QApplication::activePopupWidget() == menu; }));
    QTest::mouseClick(menu, Qt::LeftButton, {}, QPoint(-20, -20));
    EXPECT_TRUE(Closed());
    QCoreApplication::processEvents();
    EXPECT_TRUE(owner.received.isEmpty());
}

TEST_F(MainTaskMenuTest, OpensAboveAndRightOfTheCursorAndASecondRequestMovesIt)
{
    const QPoint cursor = Area().center();
    menu = CMainTaskMenu::Popup(&owner, cursor);
    EXPECT_EQ(menu->pos(), QPoint(cursor.x() + 6, cursor.y() - menu->height() - 6));

    const QPoint next = cursor + QPoint(-100, 60);
    EXPECT_EQ(CMainTaskMenu::Popup(&owner, next), menu.data()) << "one menu at a time";
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->pos(), QPoint(next.x() + 6, next.y() - menu->height() - 6));
}

TEST_F(MainTaskMenuTest, AMenuNearAScreenEdgeStaysOnTheScreen)
{
    const QRect area = Area();
    for (const QPoint& cursor : {area.topRight(), area.topLeft() - QPoint(30, 30)}) {
        menu = CMainTaskMenu::Popup(&owner, cursor);
        EXPECT_TRUE(area.contains(menu->geometry())) << cursor.x() << "," << cursor.y();
    }
    // Only the coordinate that would leave the area moves (a panel along the top here).
    const QRect box(0, 30, 800, 570);
    EXPECT_EQ(CMainTaskMenu::PlaceAt({400, 10}, {100, 200}, box), QPoint(406, 30));
    EXPECT_EQ(CMainTaskMenu::PlaceAt({790, 500}, {100, 200}, box), QPoint(700, 294));
}

}  // namespace
