// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWheelEvent>

#include "gui/intake/RowMenu.h"
#include "gui/skinlib/Controls.h"
#include "gui/support/RecordingOwner.h"
#include "support/GuiTestEnv.h"

namespace {

enum class Kind { Video, Image };

RowMenu* Popup(Kind kind, QWidget* owner, QWidget* sender, const QPoint& click)
{
    if (kind == Kind::Video) return PopMenu::Popup(owner, sender, click);
    return ImagePopMenu::Popup(owner, sender, click);
}

class RowMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        owner.show();
        row7.setParent(&owner);
        skin::SetTag(&row7, 7);
        row9.setParent(&owner);
        skin::SetTag(&row9, 9);
    }
    void TearDown() override
    {
        delete menu.data();
        delete other.data();
    }

    static QRect Area() { return QGuiApplication::primaryScreen()->availableGeometry(); }
    bool Closed(QPointer<RowMenu>& which)
    {
        return testenv::WaitUntil([&] { return which.isNull(); });
    }

    RecordingOwner owner;
    QPushButton row7;  // the menu buttons of two rows, tagged with their task ids
    QPushButton row9;
    QPointer<RowMenu> menu;
    QPointer<RowMenu> other;
};

TEST_F(RowMenuTest, EachItemPostsItsMessageWithTheRowsTaskIdAndClosesTheMenu)
{
    // The message ids as the main window's dispatch knows them: WM_USER + 200 ... + 206.
    const struct {
        Kind kind;
        const char* item;
        int message;
    } items[] = {
        {Kind::Video, "seting-param", 0x400 + 200},
        {Kind::Video, "open-dir", 0x400 + 201},
        {Kind::Video, "repeat-compress", 0x400 + 202},
        {Kind::Video, "file-delete", 0x400 + 203},
        {Kind::Image, "open-image-dir", 0x400 + 204},
        {Kind::Image, "repeat-image-compress", 0x400 + 205},
        {Kind::Image, "file-image-delete", 0x400 + 206},
    };
    for (const auto& [kind, item, message] : items) {
        SCOPED_TRACE(item);
        owner.received.clear();
        menu = Popup(kind, &owner, &row7, Area().center());
        ASSERT_TRUE(menu);
        EXPECT_EQ(menu->TaskId(), 7);
        menu->FindControl<QAbstractButton>(item)->click();
        EXPECT_TRUE(Closed(menu));
        EXPECT_TRUE(testenv::WaitUntil([&] { return !owner.received.isEmpty(); }));
        QCoreApplication::processEvents();
        ASSERT_EQ(owner.received.size(), 1);
        EXPECT_EQ(owner.received[0].id, message);
        EXPECT_EQ(owner.received[0].wParam, 7);
        EXPECT_EQ(owner.received[0].lParam, 0);
    }
}

TEST_F(RowMenuTest, TheWheelEscapeAndAClickOutsidePostNothing)
{
    menu = PopMenu::Popup(&owner, &row7, Area().center());
    // The wheel over the menu ends there: the menu takes it and stays as it is.
    const QPoint inside = menu->rect().center();
    QWheelEvent wheel(inside, menu->mapToGlobal(inside), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(menu, &wheel);
    EXPECT_TRUE(wheel.isAccepted());
    EXPECT_TRUE(menu->isVisible());

    QTest::keyClick(menu, Qt::Key_Escape);
    EXPECT_TRUE(Closed(menu));

    menu = ImagePopMenu::Popup(&owner, &row7, Area().center());
    ASSERT_TRUE(testenv::WaitUntil([&] { return QApplication::activePopupWidget() == menu; }));
    QTest::mouseClick(menu, Qt::LeftButton, {}, QPoint(-20, -20));
    EXPECT_TRUE(Closed(menu));

    QCoreApplication::processEvents();
    EXPECT_TRUE(owner.received.isEmpty());
}

TEST_F(RowMenuTest, OpensWithItsTopRightCornerAtTheClickAndFollowsTheNextRow)
{
    const QPoint click = Area().center();
    menu = PopMenu::Popup(&owner, &row7, click);
    EXPECT_EQ(menu->x() + menu->width(), click.x());
    EXPECT_EQ(menu->y(), click.y());

    // Another row's button while the menu is open: the same menu, moved, for that row.
    const QPoint next = click + QPoint(-40, 30);
    EXPECT_EQ(PopMenu::Popup(&owner, &row9, next), menu.data());
    EXPECT_EQ(menu->x() + menu->width(), next.x());
    EXPECT_EQ(menu->y(), next.y());
    menu->FindControl<QAbstractButton>("file-delete")->click();
    EXPECT_TRUE(testenv::WaitUntil([&] { return owner.received.size() == 1; }));
    EXPECT_EQ(owner.received.value(0).wParam, 9);
    EXPECT_TRUE(Closed(menu));

    // The other kind of menu replaces an open one; a click without a button opens nothing.
    other = PopMenu::Popup(&owner, &row7, click);
    menu = ImagePopMenu::Popup(&owner, &row9, click);
    EXPECT_TRUE(Closed(other));
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(PopMenu::Popup(&owner, nullptr, click), nullptr);
}

TEST_F(RowMenuTest, NearTheScreensEdgesTheMenuStaysOnTheScreen)
{
    const QRect area = Area();
    for (const QPoint& click : {area.topLeft() + QPoint(10, 10), area.bottomRight()}) {
        menu = ImagePopMenu::Popup(&owner, &row7, click);
        EXPECT_TRUE(area.contains(menu->geometry())) << click.x() << "," << click.y();
        delete menu.data();
    }

    const QRect box(0, 30, 800, 570);  // a panel along the top
    const QSize size(100, 150);
    EXPECT_EQ(RowMenu::PlaceAt({400, 100}, size, box), QPoint(300, 100));
    // Too close to the left edge: moved right, the top stays at the click.
    EXPECT_EQ(RowMenu::PlaceAt({40, 100}, size, box), QPoint(0, 100));
    // No room below: opens upwards, its bottom-right corner at the click.
    EXPECT_EQ(RowMenu::PlaceAt({400, 560}, size, box), QPoint(300, 410));
    // No room either way: pushed up against the bottom edge, the top kept on screen.
    EXPECT_EQ(RowMenu::PlaceAt({400, 100}, {100, 560}, box), QPoint(300, 40));
    EXPECT_EQ(RowMenu::PlaceAt({400, 100}, {100, 700}, box), QPoint(300, 30));
}

}  // namespace
