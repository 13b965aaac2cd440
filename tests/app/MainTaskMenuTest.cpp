#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include "app/MainTaskMenu.h"
#include "app/Messages.h"
#include "support/TestEnv.h"

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
    void SetUp() override
    {
        owner.setGeometry(50, 50, 200, 100);
        owner.show();
    }
    void TearDown() override { delete menu.data(); }

    QRect Area() const { return QGuiApplication::primaryScreen()->availableGeometry(); }
    QPoint Middle() const { return Area().center(); }

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
        menu = CMainTaskMenu::Popup(&owner, Middle());
        ASSERT_TRUE(menu->isVisible());
        auto* item = menu->FindControl<QAbstractButton>(name);
        ASSERT_NE(item, nullptr);
        item->click();
        EXPECT_TRUE(testenv::WaitUntil([&] { return menu.isNull(); })) << "the menu closes";
        EXPECT_TRUE(testenv::WaitUntil([&] { return !owner.received.isEmpty(); }));
        EXPECT_EQ(owner.received, QList<int>{message});
    }
}

TEST_F(MainTaskMenuTest, EscapeClosesTheMenuWithoutAction)
{
    menu = CMainTaskMenu::Popup(&owner, Middle());
    QTest::keyClick(menu, Qt::Key_Escape);
    EXPECT_TRUE(testenv::WaitUntil([&] { return menu.isNull(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(owner.received.isEmpty());
}

TEST_F(MainTaskMenuTest, AClickOutsideClosesTheMenuWithoutAction)
{
    menu = CMainTaskMenu::Popup(&owner, Middle());
    ASSERT_TRUE(testenv::WaitUntil([&] { return QApplication::activePopupWidget() == menu; }));
    QTest::mouseClick(menu, Qt::LeftButton, {}, QPoint(-20, -20));
    EXPECT_TRUE(testenv::WaitUntil([&] { return menu.isNull(); }));
    EXPECT_TRUE(owner.received.isEmpty());
}

TEST_F(MainTaskMenuTest, OpensUpAndToTheRightOfTheCursor)
{
    const QPoint cursor = Middle();
    menu = CMainTaskMenu::Popup(&owner, cursor);
    const QRect frame = menu->geometry();
    EXPECT_EQ(frame.left(), cursor.x() + 6);
    EXPECT_EQ(frame.top(), cursor.y() - frame.height() - 6);
    EXPECT_GT(frame.height(), 6 * 24) << "six entries";
}

TEST_F(MainTaskMenuTest, ASecondRequestShowsOneMenuAtTheNewPoint)
{
    menu = CMainTaskMenu::Popup(&owner, Middle());
    const QPoint second = Middle() + QPoint(-100, 60);
    CMainTaskMenu::Popup(&owner, second);
    QCoreApplication::processEvents();

    int shown = 0;
    for (QWidget* window : QApplication::topLevelWidgets())
        shown += qobject_cast<CMainTaskMenu*>(window) && window->isVisible();
    EXPECT_EQ(shown, 1);
    ASSERT_FALSE(menu.isNull());
    EXPECT_EQ(menu->pos(), QPoint(second.x() + 6, second.y() - menu->height() - 6));

    menu->FindControl<QAbstractButton>("main_menu_item_home")->click();
    EXPECT_TRUE(testenv::WaitUntil([&] { return owner.received.size() == 1; }));
    EXPECT_TRUE(testenv::WaitUntil([&] { return menu.isNull(); }));
    CMainTaskMenu::Popup(&owner, Middle())
        ->FindControl<QAbstractButton>("main_menu_item_help")
        ->click();
    EXPECT_TRUE(testenv::WaitUntil([&] { return owner.received.size() == 2; }))
        << "a new menu opens once the old one is gone";
}

TEST_F(MainTaskMenuTest, AMenuNearAScreenEdgeStaysOnTheScreen)
{
    const QRect area = Area();
    const QPoint corners[] = {area.topRight(), area.topLeft(), area.bottomRight(),
                              area.topLeft() - QPoint(30, 30)};
    for (const QPoint& cursor : corners) {
        SCOPED_TRACE(testing::Message() << cursor.x() << "," << cursor.y());
        menu = CMainTaskMenu::Popup(&owner, cursor);
        EXPECT_TRUE(area.contains(menu->geometry())) << "inside the available area";
    }

    // Only the coordinate that would leave the area moves.
    const QSize size(100, 200);
    const QRect box(0, 30, 800, 570);  // a panel along the top
    EXPECT_EQ(CMainTaskMenu::PlaceAt({400, 500}, size, box), QPoint(406, 294));
    EXPECT_EQ(CMainTaskMenu::PlaceAt({400, 10}, size, box), QPoint(406, 30));
    EXPECT_EQ(CMainTaskMenu::PlaceAt({790, 500}, size, box), QPoint(700, 294));
    EXPECT_EQ(CMainTaskMenu::PlaceAt({790, 10}, size, QRect()), QPoint(796, -196));
}

}  // namespace
