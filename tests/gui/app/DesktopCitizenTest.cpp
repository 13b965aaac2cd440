// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "core/app/AppConfig.h"
#include "core/app/Paths.h"
#include "core/app/ServiceAddress.h"
#include "core/app/Settings.h"
#include "core/app/UserAccount.h"
#include "core/intake/MediaScan.h"
#include "core/video/VideoEngine.h"
#include "gui/app/MainTaskMenu.h"
#include "gui/app/MainWnd.h"
#include "gui/app/QtTranslations.h"
#include "gui/app/TrayPresence.h"
#include "gui/skinlib/SkinList.h"
#include "gui/ui/WindowMessages.h"
#include "support/FakeShell.h"
#include "support/GuiTestEnv.h"

namespace {

constexpr char kNoTray[] = "当前桌面没有系统托盘";

class DesktopCitizenTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        delete window.data();
        tray::SetAvailableForTesting(std::nullopt);
    }

    void Open(const QByteArray& ini = QByteArray())
    {
        if (!ini.isEmpty()) {
            ASSERT_TRUE(testenv::WriteFile(AppConfig::Path(), ini));
        }
        window = new CMainWnd;
        window->Create();
        window->videoEngine().SetPaused(true);
        window->show();
        QApplication::setActiveWindow(window);
    }

    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(window.data(), static_cast<Qt::Key>(key), modifiers);
    }

    int AddVideo(const QString& name)
    {
        VideoTask task;
        task.fileName = name;
        task.filePath = testenv::Home() + "/" + name;
        task.fileDir = testenv::Home() + "/";
        return window->AddVideoRow(task);
    }

    SkinList* Videos() const { return window->FindControl<SkinList>("videoList"); }

    QPointer<CMainWnd> window;
};

// ---------------------------------------------------------------- closing and the tray

TEST(CloseDecisionTest, OnlyAStoredTrayChoiceWithATrayHidesTheWindow)
{
    using tray::CloseAction;
    // quit entry, stored "to the tray", a tray present
    EXPECT_EQ(tray::DecideClose(false, true, true), CloseAction::HideToTray);
    EXPECT_EQ(tray::DecideClose(false, true, false), CloseAction::Quit) << "nowhere to come back";
    EXPECT_EQ(tray::DecideClose(false, false, true), CloseAction::Quit);
    EXPECT_EQ(tray::DecideClose(true, true, true), CloseAction::Quit) << "the quit entry quits";
}

TEST_F(DesktopCitizenTest, WithoutATrayCloseEndsTheProgramEvenWhenTheTrayWasChosen)
{
    tray::SetAvailableForTesting(false);
    Open("[global]\nwindow-close=1\n");
    window->FindControl<QAbstractButton>("close-btn")->click();
    EXPECT_TRUE(testenv::WaitUntil([this] { return window.isNull(); }));
}

TEST_F(DesktopCitizenTest, WithATrayCloseHidesIntoItAndTheTrayIconBringsItBack)
{
    tray::SetAvailableForTesting(true);
    Open("[global]\nwindow-close=1\n");
    window->FindControl<QAbstractButton>("close-btn")->click();
    ASSERT_TRUE(testenv::WaitUntil([this] { return window && !window->isVisible(); }));
    ASSERT_FALSE(window.isNull());

    skin::PostMessage(window.data(), UM_TRAY_NOTIFY, kTrayIconId, kTrayLeftButtonDown);
    EXPECT_TRUE(testenv::WaitUntil([this] { return window->isVisible(); }));
    EXPECT_FALSE(window->isMinimized());
}

TEST_F(DesktopCitizenTest, TheSettingsOfferTheTrayOnlyWhenThereIsOne)
{
    for (const bool available : {false, true}) {
        SCOPED_TRACE(available ? "tray" : "no tray");
        tray::SetAvailableForTesting(available);
        Open("[global]\nwindow-close=1\n");
        QAbstractButton* trayChoice = nullptr;
        QAbstractButton* exitChoice = nullptr;
        QString tip;
        testenv::AutoAnswer settings("系统设置", "closebtn", [&] {
            auto* dialog = qobject_cast<WindowImplBase*>(testenv::FindShownWindow("系统设置"));
            trayChoice = dialog->FindControl<QAbstractButton>("window-close-tray");
            exitChoice = dialog->FindControl<QAbstractButton>("window-close-exit");
            tip = trayChoice->toolTip();
            return QString("%1 %2 %3")
                .arg(trayChoice->isEnabled())
                .arg(trayChoice->isChecked())
                .arg(exitChoice->isChecked());
        });
        window->FindControl<QAbstractButton>("seting")->click();
        ASSERT_EQ(settings.notes().size(), 1);
        EXPECT_EQ(settings.notes()[0], available ? "1 1 0" : "0 0 1");
        EXPECT_EQ(tip == kNoTray, !available);
        // Showing the choice as it works here writes nothing over the stored one.
        EXPECT_EQ(AppConfig::GetInt(settings::kSection, settings::kWindowClose.key, -1), 1);
        delete window.data();
    }
}

// ---------------------------------------------------------------- the title bar's menu

TEST(MenuPlacementTest, UnderTheButtonRightAlignedAboveWhenNoRoomBelow)
{
    const QRect area(0, 0, 1280, 800);
    const QSize menu(136, 211);
    const QRect button(1000, 10, 40, 32);
    EXPECT_EQ(CMainTaskMenu::PlaceUnder(button, menu, area), QPoint(1040 - 136, 42));
    // A button near the bottom: the menu opens above it.
    EXPECT_EQ(CMainTaskMenu::PlaceUnder(QRect(1000, 700, 40, 32), menu, area),
              QPoint(904, 700 - 211));
    // Near the left edge the menu stays on the screen.
    EXPECT_EQ(CMainTaskMenu::PlaceUnder(QRect(20, 10, 40, 32), menu, area), QPoint(0, 42));
}

TEST_F(DesktopCitizenTest, TheMenuButtonOpensTheTrayMenuUnderItAndItsQuitEnds)
{
    Open();
    auto* button = window->FindControl<QAbstractButton>("main-menu");
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->toolTip().isEmpty());
    button->click();
    QWidget* menu = testenv::FindShownWindow("CDuiMenu ");
    ASSERT_NE(menu, nullptr);
    const QRect anchor(button->mapToGlobal(QPoint(0, 0)), button->size());
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(menu->pos(), CMainTaskMenu::PlaceUnder(anchor, menu->size(), area));
    if (anchor.right() < area.right() && anchor.bottom() + menu->height() < area.bottom()) {
        EXPECT_EQ(menu->pos(), QPoint(anchor.x() + anchor.width() - menu->width(),
                                      anchor.y() + anchor.height()));
    }
    for (const char* entry :
         {"main_menu_item_upgrade", "main_menu_item_help", "main_menu_item_feedback",
          "main_menu_item_seting", "main_menu_item_quit"})
        EXPECT_NE(menu->findChild<QAbstractButton*>(entry), nullptr) << entry;

    menu->findChild<QAbstractButton*>("main_menu_item_quit")->click();
    EXPECT_TRUE(testenv::WaitUntil([this] { return window.isNull(); }));
}

// ---------------------------------------------------------------- the keyboard

TEST_F(DesktopCitizenTest, CtrlOAndCtrlShiftOAddToThePageShown)
{
    testenv::FakeShell shell;
    Open();
    Key(Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(shell.lastFilter, VideoDialogFilter());
    Key(Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(shell.lastTitle, "选择视频存放目录");

    window->FindControl<QAbstractButton>("compress-image")->click();
    Key(Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(shell.lastFilter, ImageDialogFilter());
    Key(Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(shell.lastTitle, "选择图片存放目录");
}

TEST_F(DesktopCitizenTest, CtrlReturnStartsEveryTickedRowOfThePage)
{
    Open();
    const int a = AddVideo("a.mp4");
    const int b = AddVideo("b.mp4");
    Videos()->RowAt(1)->findChild<QAbstractButton*>("videocheckBox")->setChecked(false);
    ASSERT_TRUE(UserAccount::Instance().SignInWithMobile("13800138000"));
    // The empty image page says it is empty.
    window->FindControl<QAbstractButton>("compress-image")->click();
    testenv::AutoAnswer empty("PromptBoxDialog", "msgConfirm");
    Key(Qt::Key_Return, Qt::ControlModifier);
    ASSERT_EQ(empty.texts().size(), 1);
    EXPECT_EQ(empty.texts()[0], "请先添加要压缩的文件!");
    window->FindControl<QAbstractButton>("compress-video")->click();
    // The offscreen platform leaves no window active when the notice goes; a desktop gives
    // the activation back to the main window.
    QApplication::setActiveWindow(window);
    Key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(window->videoEngine().IdleTasks(), std::vector<int>{a});
    EXPECT_FALSE(window->videoEngine().IsQueued(b));
}

TEST_F(DesktopCitizenTest, DeleteRemovesTheTickedRowsAndRefusesQueuedOnesOnce)
{
    Open();
    const int kept = AddVideo("kept.mp4");
    const int gone = AddVideo("gone.mp4");
    const int queuedA = AddVideo("queued-a.mp4");
    const int queuedB = AddVideo("queued-b.mp4");
    Videos()->RowAt(0)->findChild<QAbstractButton*>("videocheckBox")->setChecked(false);
    window->videoEngine().Enqueue(queuedA);
    window->videoEngine().Enqueue(queuedB);

    testenv::AutoAnswer refusal("PromptBoxDialog", "msgConfirm");
    Key(Qt::Key_Delete);
    EXPECT_EQ(refusal.texts(), QStringList{"文件正在压缩中,不能删除!"});
    EXPECT_EQ(Videos()->Count(), 3);
    EXPECT_TRUE(window->videoEngine().FindTask(kept).has_value());
    EXPECT_FALSE(window->videoEngine().FindTask(gone).has_value());
    EXPECT_TRUE(window->videoEngine().FindTask(queuedA).has_value());

    // Delete typed in an edit stays in the edit.
    auto* width = window->FindControl<QLineEdit>("image-width");
    window->FindControl<QAbstractButton>("compress-image")->click();
    window->FindControl<QAbstractButton>("image-define-param")->setChecked(true);
    width->setText("640");
    width->setFocus();
    width->setCursorPosition(0);
    QTest::keyClick(width, Qt::Key_Delete);
    EXPECT_EQ(width->text(), "40");
}

TEST_F(DesktopCitizenTest, CtrlQQuitsAsTheMenuDoesAskingWhileCompressing)
{
    Open();
    window->videoEngine().Enqueue(7);
    ASSERT_EQ(window->videoEngine().TakeNext(), 7);
    QString asked;
    testenv::ClickWhenShown("MessageBoxDialog", "msgConfirm", &asked);
    Key(Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(testenv::WaitUntil([this] { return window.isNull(); }));
    EXPECT_EQ(asked, "正在压缩中,确定要退出吗?");
}

TEST_F(DesktopCitizenTest, TheVideoOptionsExplainThemselves)
{
    Open();
    for (const char* name : {"video-compress-balanced-check", "video-compress-compatible-check",
                             "video-compress-check"}) {
        EXPECT_GT(window->FindControl(name)->toolTip().size(), 20) << name;
    }
    EXPECT_TRUE(window->FindControl("video-compress-balanced-check")->toolTip().contains("fast"));
    EXPECT_TRUE(
        window->FindControl("video-compress-compatible-check")->toolTip().contains("MPEG-4"));
}

// ---------------------------------------------------------------- what cannot be opened

TEST_F(DesktopCitizenTest, HelpAndTheOutputFolderSayWhenNothingOpensThem)
{
    testenv::FakeShell shell;
    shell.openSucceeds = false;
    Open();
    testenv::AutoAnswer notices("PromptBoxDialog", "msgConfirm");
    window->FindControl<QAbstractButton>("help")->click();
    skin::PostMessage(window.data(), UM_VIDEO_OPEN_DIR);
    ASSERT_TRUE(testenv::WaitUntil([&] { return notices.texts().size() == 2; }));
    EXPECT_EQ(notices.texts()[0], "无法打开网页：" + ServiceUrl("/help").toString());
    EXPECT_EQ(notices.texts()[1], "无法打开文件夹：" + GetOutputFolder());
    EXPECT_EQ(shell.opened.size(), 2) << "each was tried";

    // Opened fine: no notice.
    shell.openSucceeds = true;
    window->FindControl<QAbstractButton>("help")->click();
    testenv::WaitUntil([] { return false; }, 200);
    EXPECT_EQ(notices.texts().size(), 2);
}

// ---------------------------------------------------------------- Qt's own file dialogs

TEST(QtDialogsTest, TheCatalogueFollowsAChineseLocaleElseSimplifiedChinese)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    EXPECT_EQ(qttranslations::CatalogueFor(QLocale("en_US"), folder), folder + "/qtbase_zh_CN.qm");
    EXPECT_EQ(qttranslations::CatalogueFor(QLocale("de_DE"), folder), folder + "/qtbase_zh_CN.qm");
    if (QFile::exists(folder + "/qtbase_zh_TW.qm")) {
        EXPECT_EQ(qttranslations::CatalogueFor(QLocale("zh_TW"), folder),
                  folder + "/qtbase_zh_TW.qm");
    }
}

// Answers the next file dialog from the event loop: records the folder it opened in and its
// "Look in" label, then picks answer (or cancels when empty). The answer is typed into the file
// name field as the whole path: QFileDialog::selectFile leaves that field alone while it has the
// keyboard focus (it has once the dialog is active, which depends on what was active before),
// and accept() with an empty field does nothing, so the dialog stayed open for good. The watch
// belongs to scope, ends once its dialog has closed, and fails the test rather than leave a
// modal loop waiting: on an error box over the dialog, or when no dialog shows or it does not
// close in time.
void AnswerFileDialog(QObject* scope, QString* openedIn, QString* lookIn, const QString& answer)
{
    auto* timer = new QTimer(scope);
    auto deadline = std::make_shared<QDeadlineTimer>(10000);
    auto answered = std::make_shared<QPointer<QFileDialog>>();
    auto hasAnswered = std::make_shared<bool>(false);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QFileDialog* dialog = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(top); box && box->isVisible()) {
                ADD_FAILURE() << "the file dialog answered: " << box->text().toStdString();
                box->reject();
                return;
            }
            if (auto* shown = qobject_cast<QFileDialog*>(top); shown && shown->isVisible())
                dialog = shown;
        }
        if (*hasAnswered) {
            // Done once the dialog has closed (and, when it returned, gone).
            if (!*answered || !(*answered)->isVisible()) return timer->stop();
        } else if (dialog) {
            *hasAnswered = true;
            *answered = dialog;
            *openedIn = dialog->directory().absolutePath();
            if (auto* label = dialog->findChild<QLabel*>("lookInLabel")) *lookIn = label->text();
            if (answer.isEmpty()) {
                QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
            } else {
                if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit"))
                    name->setText(answer);
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            }
            return;
        }
        if (deadline->hasExpired()) {
            ADD_FAILURE() << (*hasAnswered ? "the file dialog did not close"
                                           : "no file dialog showed");
            if (dialog) dialog->reject();
            timer->stop();
        }
    });
    timer->start();
}

TEST(QtDialogsTest, ChoosersSpeakChineseAndOpenWhereTheLastAnswerWas)
{
    ASSERT_TRUE(qttranslations::Install(*QCoreApplication::instance(), QLocale("en_US")));
    QTemporaryDir media;
    ASSERT_TRUE(QDir().mkpath(media.path() + "/clips"));
    const QString clip = media.path() + "/clips/a.mp4";
    ASSERT_TRUE(testenv::WriteFile(clip, "x"));
    QWidget owner;
    owner.show();

    QString openedIn, lookIn;
    const QString filter = "视频 (*.mp4)";
    QObject answers;
    AnswerFileDialog(&answers, &openedIn, &lookIn, clip);
    EXPECT_EQ(Shell::Instance().ChooseFiles(&owner, "添加", filter), QStringList{clip});
    EXPECT_EQ(openedIn, QDir::homePath()) << "nothing chosen yet: the home folder";
    EXPECT_FALSE(lookIn.isEmpty());
    EXPECT_NE(lookIn, "Look in:") << "Qt's own words are translated";

    AnswerFileDialog(&answers, &openedIn, &lookIn, QString());
    EXPECT_TRUE(Shell::Instance().ChooseFiles(&owner, "添加", filter).isEmpty());
    EXPECT_EQ(openedIn, media.path() + "/clips");

    // Another kind keeps its own folder; a folder that went away gives the home folder again.
    AnswerFileDialog(&answers, &openedIn, &lookIn, QString());
    Shell::Instance().ChooseFiles(&owner, "添加", "图片 (*.jpg)");
    EXPECT_EQ(openedIn, QDir::homePath());
    ASSERT_TRUE(QDir(media.path() + "/clips").removeRecursively());
    AnswerFileDialog(&answers, &openedIn, &lookIn, QString());
    Shell::Instance().ChooseFiles(&owner, "添加", filter);
    EXPECT_EQ(openedIn, QDir::homePath());
}

}  // namespace
