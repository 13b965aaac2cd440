// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QPointer>

#include "core/app/UserAccount.h"
#include "core/video/VideoEngine.h"
#include "gui/app/AccountArea.h"
#include "gui/app/MainWnd.h"
#include "gui/skinlib/Controls.h"
#include "gui/skinlib/SkinList.h"
#include "support/GuiTestEnv.h"

namespace {

class AccountAreaTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UserAccount::Instance().SignOut();
        Open();
    }
    void TearDown() override { delete window.data(); }

    void Open()
    {
        window = new CMainWnd;
        window->Create();
        // Queued ids stay waiting, so the tests can see what a start queued.
        window->videoEngine().SetPaused(true);
        window->show();
    }

    QAbstractButton* Button(const char* name) const
    {
        return window->FindControl<QAbstractButton>(name);
    }
    // Answers the sign-in window with this number while it lives.
    testenv::AutoAnswer SignInWith(const QString& mobile)
    {
        return testenv::AutoAnswer("LoginDialog", "loginBtn", [mobile] {
            testenv::FindShownWindow("LoginDialog")
                ->findChild<QLineEdit*>("mobile")
                ->setText(mobile);
            return QString();
        });
    }

    QPointer<CMainWnd> window;
};

TEST_F(AccountAreaTest, ShowsTheSignedInUserWithTheMiddleOfTheNumberHidden)
{
    window->accountArea().Update();
    EXPECT_TRUE(Button("login")->isVisible());
    EXPECT_TRUE(Button("register")->isVisible());
    EXPECT_FALSE(Button("username")->isVisible());
    ASSERT_TRUE(UserAccount::Instance().SignInWithMobile("13800138000"));
    window->accountArea().Update();
    EXPECT_FALSE(Button("login")->isVisible());
    EXPECT_FALSE(Button("register")->isVisible());
    EXPECT_TRUE(Button("username")->isVisible());
    EXPECT_EQ(Button("username")->text(), "138****8000");
}

TEST_F(AccountAreaTest, TheWindowOpensWithTheAreaOfTheUserSignedInBefore)
{
    delete window.data();
    ASSERT_TRUE(UserAccount::Instance().SignInWithMobile("13912345678"));
    Open();
    EXPECT_FALSE(Button("login")->isVisible());
    EXPECT_EQ(Button("username")->text(), "139****5678");
}

TEST_F(AccountAreaTest, SigningInFromTheLoginButtonShowsTheUser)
{
    {
        const auto answer = SignInWith("13800138000");
        Button("login")->click();
    }
    EXPECT_TRUE(UserAccount::Instance().IsSignedIn());
    EXPECT_TRUE(Button("username")->isVisible());
    EXPECT_EQ(Button("username")->text(), "138****8000");

    // Signed in, the user name opens no sign-in window.
    Button("username")->click();
    EXPECT_EQ(testenv::FindShownWindow("LoginDialog"), nullptr);
}

TEST_F(AccountAreaTest, AStartWithoutAUserAsksForOneAndQueuesNothingUntilTheNextClick)
{
    VideoTask task;
    task.fileName = "clip.mp4";
    task.filePath = "/nonexistent/clip.mp4";
    const int id = window->AddVideoRow(task);
    QAbstractButton* start = window->FindControl<SkinList>("videoList")
                                 ->RowAt(0)
                                 ->findChild<QAbstractButton*>("compressBtn");
    {
        const auto answer = SignInWith("13800138000");
        start->click();
    }
    EXPECT_TRUE(window->videoEngine().IdleTasks().empty()) << "the start waits for a new click";
    EXPECT_TRUE(skin::IsMouseEnabled(start));
    EXPECT_EQ(Button("username")->text(), "138****8000") << "the area follows the sign-in";

    start->click();
    EXPECT_EQ(window->videoEngine().IdleTasks(), std::vector<int>{id});
}

}  // namespace
