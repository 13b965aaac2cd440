// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QStackedWidget>
#include <QTimer>

#include "core/app/AppConfig.h"
#include "core/app/Paths.h"
#include "core/video/VideoEngine.h"
#include "gui/app/MainWnd.h"
#include "gui/app/TrayPresence.h"
#include "gui/platform/Shell.h"
#include "gui/ui/WindowMessages.h"
#include "support/FakeShell.h"
#include "support/GuiTestEnv.h"

namespace {

constexpr char kQuitQuestion[] = "正在压缩中,确定要退出吗?";

class MainWndTest : public ::testing::Test {
protected:
    void TearDown() override { delete window.data(); }

    // Writes configure.ini as a user's earlier run would have left it, then opens the window.
    void Open(const QByteArray& ini = QByteArray())
    {
        if (!ini.isEmpty()) {
            ASSERT_TRUE(testenv::WriteFile(AppConfig::Path(), ini));
        }
        window = new CMainWnd;
        window->Create();
        // The worker would take queued tasks at once; these tests put them in place themselves.
        window->videoEngine().SetPaused(true);
        window->show();
    }

    bool Checked(const char* name) const
    {
        auto* button = window->FindControl<QAbstractButton>(name);
        return button && button->isChecked();
    }
    int Row(const char* name) const { return window->FindControl<QComboBox>(name)->currentIndex(); }

    // Puts one video task in the running list, as the worker does when it starts a task.
    void StartVideoTask(int id)
    {
        window->videoEngine().Enqueue(id);
        ASSERT_EQ(window->videoEngine().TakeNext(), id);
    }

    void Post(int id, qintptr wParam = 0, qintptr lParam = 0)
    {
        skin::Message msg;
        msg.id = id;
        msg.wParam = wParam;
        msg.lParam = lParam;
        bool handled = true;
        window->Dispatch(msg, handled);
        EXPECT_FALSE(handled) << "the dispatch's own handlers leave the message unhandled";
    }

    QPointer<CMainWnd> window;
};

TEST_F(MainWndTest, AFreshStartShowsTheDefaultsAndCreatesTheFolders)
{
    testing::internal::CaptureStdout();
    Open();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("agent:\n"), std::string::npos) << "an installation without a channel";

    EXPECT_TRUE(Checked("compress-type-general"));
    EXPECT_TRUE(Checked("radio-ori"));
    EXPECT_EQ(Row("video-ratio"), 0);
    EXPECT_TRUE(Checked("image-compress-type-general"));
    EXPECT_TRUE(Checked("image-format-original"));
    EXPECT_FALSE(Checked("image-define-param"));
    EXPECT_FALSE(Checked("gif-define-param"));
    EXPECT_EQ(Row("gif-drop-frame"), 0);
    EXPECT_EQ(window->FindControl<QStackedWidget>("main-tab")->currentIndex(), 0);

    EXPECT_TRUE(QDir(GetOutputFolder()).exists());
    EXPECT_TRUE(QDir(window->tempFolder()).exists());
    EXPECT_TRUE(window->tempFolder().endsWith("LumoCompress/Temp"));
    EXPECT_FALSE(QFile::exists(AppConfig::Path())) << "opening the window writes no setting";
}

TEST_F(MainWndTest, TheMainPageIsRestoredFromTheSettingsWithoutWritingThem)
{
    const QByteArray ini =
        "[global]\r\n"
        "compress-type=2\r\nvideo-type=3\r\nvideo-ratio-index=10\r\n"
        "image-compress-type=1\r\nimage-type=1\r\nimage-ratio-index=5\r\n"
        "image-define-param=1\r\ngif-define-param=7\r\ngif-drop-frame-index=4\r\n";
    Open(ini);
    EXPECT_TRUE(Checked("compress-type-limit"));
    EXPECT_FALSE(Checked("compress-type-general"));
    EXPECT_TRUE(Checked("radio-mov"));
    EXPECT_EQ(Row("video-ratio"), 10);
    EXPECT_TRUE(Checked("image-compress-type-deep"));
    EXPECT_TRUE(Checked("image-format-jpg"));
    EXPECT_EQ(Row("image-ratio"), 5);
    EXPECT_TRUE(Checked("image-define-param"));
    EXPECT_TRUE(Checked("gif-define-param")) << "any value but 0 checks the box";
    EXPECT_EQ(Row("gif-drop-frame"), 4);
    EXPECT_EQ(testenv::ReadFile(AppConfig::Path()), ini);
}

TEST_F(MainWndTest, ValuesOutOfRangeSelectNothing)
{
    Open(
        "[global]\n"
        "compress-type=3\nvideo-type=-1\nvideo-ratio-index=13\n"
        "image-compress-type=9\nimage-type=2\nimage-ratio-index=6\n"
        "gif-drop-frame-index=99\n"
        "image-define-param=abc\n");
    for (const char* name :
         {"compress-type-general", "compress-type-deep", "compress-type-limit", "radio-ori",
          "radio-mp4", "radio-flv", "radio-mov", "radio-mkv", "image-compress-type-general",
          "image-compress-type-deep", "image-compress-type-limit", "image-format-original",
          "image-format-jpg"}) {
        EXPECT_FALSE(Checked(name)) << name;
    }
    EXPECT_EQ(Row("video-ratio"), -1);
    EXPECT_EQ(Row("image-ratio"), -1);
    EXPECT_EQ(Row("gif-drop-frame"), -1);
    EXPECT_FALSE(Checked("image-define-param")) << "letters read as 0";
}

TEST_F(MainWndTest, CloseHidesIntoTheTrayWhenSoSetButTheQuitEntryStillCloses)
{
    tray::SetAvailableForTesting(true);
    Open("[global]\nwindow-close=1\n");
    window->Close(0);
    QCoreApplication::processEvents();
    ASSERT_FALSE(window.isNull());
    EXPECT_FALSE(window->isVisible());

    Post(UM_MENU_QUIT);
    EXPECT_TRUE(testenv::WaitUntil([this] { return window.isNull(); }));
    tray::SetAvailableForTesting(std::nullopt);
}

TEST_F(MainWndTest, ClosingWhileAVideoIsCompressingAsksAndCancellingKeepsEverything)
{
    Open();
    StartVideoTask(5);
    window->videoEngine().Enqueue(6);

    QString asked;
    testenv::ClickWhenShown("MessageBoxDialog", "msgCancel", &asked);
    window->Close(0);
    EXPECT_EQ(asked, kQuitQuestion);
    QCoreApplication::processEvents();
    ASSERT_FALSE(window.isNull());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->videoEngine().BusyTasks(), std::vector<int>{5});
    EXPECT_EQ(window->videoEngine().IdleTasks(), std::vector<int>{6});

    // The quit entry asks the same question; confirming ends the window.
    asked.clear();
    testenv::ClickWhenShown("MessageBoxDialog", "msgConfirm", &asked);
    Post(UM_MENU_QUIT);
    EXPECT_TRUE(testenv::WaitUntil([this] { return window.isNull(); }));
    EXPECT_EQ(asked, kQuitQuestion);
}

TEST_F(MainWndTest, ClosingWithNothingRunningAsksNothing)
{
    Open();
    window->videoEngine().Enqueue(1);  // waiting, not compressing
    window->Close(0);
    EXPECT_TRUE(testenv::WaitUntil([this] { return window.isNull(); }));
}

TEST_F(MainWndTest, UnknownMessagesFallThroughWithoutEffect)
{
    Open();
    const int topLevels = QApplication::topLevelWidgets().size();
    for (int id : {skin::WM_USER + 199, skin::WM_USER + 216, skin::WM_USER + 411,
                   skin::WM_USER + 711, skin::WM_USER + 5000}) {
        Post(id, 1, 2);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::topLevelWidgets().size(), topLevels);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWndTest, TheNetworkNoticesShowTheirTextsWithoutBlocking)
{
    Open();
    const std::pair<int, QString> notices[] = {{UM_NETWORK_ERROR, "网络异常,请稍后重试!"},
                                               {UM_UPGRADE_FAILED, "升级失败,程序可能损坏!"}};
    for (const auto& [id, text] : notices) {
        skin::PostMessage(window.data(), id);
        ASSERT_TRUE(testenv::WaitUntil(
            [] { return testenv::FindShownWindow("PromptBoxDialog") != nullptr; }));
        auto* prompt = qobject_cast<WindowImplBase*>(testenv::FindShownWindow("PromptBoxDialog"));
        EXPECT_EQ(prompt->FindControl<QLabel>("msgText")->text(), text);
        EXPECT_FALSE(prompt->IsInModalLoop());
        EXPECT_EQ(prompt->parentWidget(), window.data());
        prompt->Close(1);
        ASSERT_TRUE(testenv::WaitUntil(
            [] { return testenv::FindShownWindow("PromptBoxDialog") == nullptr; }));
    }
}

TEST_F(MainWndTest, HomeAndTheTraysLeftClickBringAMinimisedWindowBack)
{
    Open();
    window->showMinimized();
    Post(UM_MENU_HOME);
    EXPECT_FALSE(window->isMinimized());

    window->showMinimized();
    Post(UM_TRAY_NOTIFY, kTrayIconId, kTrayLeftButtonDown);
    EXPECT_FALSE(window->isMinimized());
}

TEST_F(MainWndTest, HelpOpensTheServicesHelpPage)
{
    testenv::FakeShell shell;
    Open();
    Post(UM_MENU_HELP);
    window->FindControl<QAbstractButton>("help")->click();
    ASSERT_EQ(shell.opened.size(), 2);
    EXPECT_EQ(shell.opened[0].toString(), testenv::UnreachableServiceAddress() + "/help");
    EXPECT_EQ(shell.opened[1], shell.opened[0]);
}

TEST_F(MainWndTest, PageTabsAndWindowButtons)
{
    Open();
    auto* tab = window->FindControl<QStackedWidget>("main-tab");
    window->FindControl<QAbstractButton>("compress-image")->click();
    EXPECT_EQ(tab->currentIndex(), 1);
    window->FindControl<QAbstractButton>("compress-video")->click();
    EXPECT_EQ(tab->currentIndex(), 0);

    window->FindControl<QAbstractButton>("max-btn")->click();
    EXPECT_TRUE(window->isMaximized());
    EXPECT_TRUE(window->FindControl("restore-btn")->isVisible());
    EXPECT_FALSE(window->FindControl("max-btn")->isVisible());
    window->FindControl<QAbstractButton>("restore-btn")->click();
    EXPECT_FALSE(window->isMaximized());
    EXPECT_TRUE(window->FindControl("max-btn")->isVisible());

    window->FindControl<QAbstractButton>("min-btn")->click();
    EXPECT_TRUE(window->isMinimized());

    window->FindControl<QAbstractButton>("close-btn")->click();
    EXPECT_TRUE(testenv::WaitUntil([this] { return window.isNull(); }));
}

}  // namespace

namespace {

TEST_F(MainWndTest, TheSettingsOpenFromTheMenuAndTheButton)
{
    Open();
    testenv::AutoAnswer settings("系统设置", "closebtn");
    Post(UM_MENU_SETTINGS);
    EXPECT_EQ(settings.texts().size(), 1);
    window->FindControl<QAbstractButton>("seting")->click();
    EXPECT_EQ(settings.texts().size(), 2);
}

TEST_F(MainWndTest, TheTraysRightButtonOpensTheMenuWhoseQuitStillAsks)
{
    Open();
    StartVideoTask(3);
    Post(UM_TRAY_NOTIFY, kTrayIconId, kTrayRightButtonDown);
    QWidget* menu = testenv::FindShownWindow("CDuiMenu ");
    ASSERT_NE(menu, nullptr);

    QString asked;
    testenv::ClickWhenShown("MessageBoxDialog", "msgCancel", &asked);
    menu->findChild<QAbstractButton*>("main_menu_item_quit")->click();
    EXPECT_TRUE(testenv::WaitUntil([&] { return !asked.isEmpty(); }));
    EXPECT_EQ(asked, kQuitQuestion);
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.isNull());
}

}  // namespace
