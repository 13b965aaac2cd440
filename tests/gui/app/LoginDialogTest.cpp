// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "core/app/UserAccount.h"
#include "gui/app/LoginDialog.h"
#include "support/GuiTestEnv.h"

namespace {

TEST(LoginDialogTest, AValidNumberSignsInAndClosesTheWindow)
{
    QWidget owner;
    owner.show();
    QPointer<LoginDialog> dialog = new LoginDialog(&owner);
    dialog->Create();
    QTimer::singleShot(30, dialog.data(), [&] {
        auto* mobile = dialog->FindControl<QLineEdit>("mobile");
        mobile->setText("1380013");  // too short: refused with a message, the window stays
        dialog->FindControl<QPushButton>("loginBtn")->click();
        EXPECT_FALSE(dialog->FindControl<QLabel>("loginError")->text().isEmpty());
        EXPECT_TRUE(dialog->isVisible());
        mobile->setText("13800138000");
        dialog->FindControl<QPushButton>("loginBtn")->click();
    });
    EXPECT_EQ(dialog->ShowModal(), 1);
    EXPECT_TRUE(UserAccount::Instance().IsSignedIn());
    EXPECT_TRUE(testenv::WaitUntil([&] { return dialog.isNull(); }));
}

TEST(LoginDialogTest, ClosingWithoutANumberLeavesTheUserSignedOut)
{
    QWidget owner;
    owner.show();
    testenv::ClickWhenShown("LoginDialog", "closebtn");
    EXPECT_FALSE(LoginDialog::Run(&owner));
}

}  // namespace
