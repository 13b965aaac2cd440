// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "gui/ui/MessageBoxDialog.h"
#include "gui/ui/PromptBoxDialog.h"
#include "support/GuiTestEnv.h"

namespace {

class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override { owner.show(); }
    QWidget owner;
};

TEST_F(DialogsTest, TheMessageBoxReturnsOneForConfirmAndZeroForCancel)
{
    QString shown;
    testenv::ClickWhenShown("MessageBoxDialog", "msgConfirm", &shown);
    EXPECT_EQ(MessageBoxDialog::Ask(&owner, "确定吗?"), 1);
    EXPECT_EQ(shown, "确定吗?");

    testenv::ClickWhenShown("MessageBoxDialog", "msgCancel");
    EXPECT_EQ(MessageBoxDialog::Ask(&owner, "再问一次"), 0);

    testenv::ClickWhenShown("MessageBoxDialog", "closebtn");
    EXPECT_EQ(MessageBoxDialog::Ask(&owner, "关闭"), 0) << "closing otherwise never confirms";
}

TEST_F(DialogsTest, DialogsAreGoneAfterTheyClose)
{
    QPointer<MessageBoxDialog> box = new MessageBoxDialog(&owner, "x");
    box->Create();
    testenv::ClickWhenShown("MessageBoxDialog", "msgConfirm");
    EXPECT_EQ(box->ShowModal(), 1);
    EXPECT_TRUE(testenv::WaitUntil([&] { return box.isNull(); }));

    QPointer<PromptBoxDialog> prompt = PromptBoxDialog::ShowModeless(&owner, "通知");
    ASSERT_FALSE(prompt.isNull());
    EXPECT_EQ(prompt->FindControl<QLabel>("msgText")->text(), "通知");
    EXPECT_FALSE(prompt->IsInModalLoop());
    testenv::ClickWhenShown("PromptBoxDialog", "msgConfirm");
    EXPECT_TRUE(testenv::WaitUntil([&] { return prompt.isNull(); }));
}

TEST_F(DialogsTest, APromptShownModallyWaitsForItsButton)
{
    QString shown;
    testenv::ClickWhenShown("PromptBoxDialog", "msgConfirm", &shown);
    PromptBoxDialog::Show(&owner, "请先添加要压缩的文件!");
    EXPECT_EQ(shown, "请先添加要压缩的文件!");
    EXPECT_EQ(testenv::FindShownWindow("PromptBoxDialog"), nullptr);
}

// Presses keys in the next shown window of className from the event loop: first focuses its
// button focusName (when given), then sends Enter.
void PressEnterWhenShown(const QString& className, const char* focusName = nullptr)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget* window = testenv::FindShownWindow(className);
        if (!window) return;
        timer->deleteLater();
        if (focusName) window->findChild<QWidget*>(focusName)->setFocus();
        QTest::keyClick(window, Qt::Key_Return);
    });
    timer->start();
}

TEST_F(DialogsTest, EnterConfirmsANoticeOrPressesTheButtonThatHasTheFocus)
{
    QPointer<PromptBoxDialog> prompt = PromptBoxDialog::ShowModeless(&owner, "完成");
    ASSERT_TRUE(prompt);
    EXPECT_EQ(prompt->focusWidget(), prompt->findChild<QWidget*>("msgConfirm"));
    QTest::keyClick(prompt.data(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(testenv::WaitUntil([&] { return prompt.isNull(); }));

    PressEnterWhenShown("MessageBoxDialog");
    EXPECT_EQ(MessageBoxDialog::Ask(&owner, "确定吗?"), 1);
    PressEnterWhenShown("MessageBoxDialog", "msgCancel");
    EXPECT_EQ(MessageBoxDialog::Ask(&owner, "确定吗?"), 0);
}

TEST_F(DialogsTest, EnterWithAModifierOrOtherKeysLeaveANoticeOpen)
{
    QPointer<PromptBoxDialog> prompt = PromptBoxDialog::ShowModeless(&owner, "完成");
    QTest::keyClick(prompt.data(), Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(prompt.data(), Qt::Key_A);
    QCoreApplication::processEvents();
    EXPECT_FALSE(prompt.isNull());
    delete prompt.data();
}

// A notice of many lines (the damaged files of a folder, say) shows all of them: it grows with
// its text, and a text taller than most of the screen scrolls inside it.
TEST_F(DialogsTest, ANoticeShowsAllOfALongTextGrowingOrScrolling)
{
    QStringList lines{"文件可能已经损坏!"};
    for (int i = 0; i < 6; ++i) lines << QStringLiteral("网盘同步 %1.mp4").arg(i);
    QPointer<PromptBoxDialog> grown = PromptBoxDialog::ShowModeless(&owner, lines.join('\n'));
    auto* label = grown->FindControl<QLabel>("msgText");
    ASSERT_TRUE(testenv::WaitUntil([&] { return label->isVisible(); }));
    EXPECT_GE(label->height(), label->heightForWidth(label->width())) << "no line cut off";
    EXPECT_GT(grown->height(), 200);
    EXPECT_EQ(grown->findChild<QWidget*>("msgScroll"), nullptr);
    delete grown.data();

    for (int i = 6; i < 400; ++i) lines << QStringLiteral("网盘同步 %1.mp4").arg(i);
    QPointer<PromptBoxDialog> scrolled = PromptBoxDialog::ShowModeless(&owner, lines.join('\n'));
    const QRect screen = scrolled->screen()->availableGeometry();
    EXPECT_LE(scrolled->height(), screen.height() * 2 / 3);
    auto* area = scrolled->findChild<QWidget*>("msgScroll");
    ASSERT_NE(area, nullptr);
    EXPECT_TRUE(area->isAncestorOf(scrolled->FindControl<QLabel>("msgText")));
    EXPECT_EQ(scrolled->FindControl<QLabel>("msgText")->text(), lines.join('\n'));
    ASSERT_NE(scrolled->FindControl("msgConfirm"), nullptr);
    EXPECT_TRUE(scrolled->FindControl("msgConfirm")->isVisible()) << "the button stays in reach";
    delete scrolled.data();
}

}  // namespace
