// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSlider>

#include "core/app/AppConfig.h"
#include "core/app/Settings.h"
#include "core/app/UserAccount.h"
#include "core/video/VideoEngine.h"
#include "gui/app/MainWnd.h"
#include "gui/intake/MainPage.h"
#include "gui/skinlib/Controls.h"
#include "gui/skinlib/SkinList.h"
#include "gui/ui/WindowMessages.h"
#include "support/GuiTestEnv.h"

namespace {

class MainPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = new CMainWnd;
        window->Create();
        // Queued ids stay waiting, so the tests can see the queue the page built.
        window->videoEngine().SetPaused(true);
        window->show();
        videos = window->FindControl<SkinList>("videoList");
    }
    void TearDown() override { delete window.data(); }

    void SignIn() { ASSERT_TRUE(UserAccount::Instance().SignInWithMobile("13800138000")); }

    // Rows as intake makes them (the page does not look at the files themselves).
    void AddRows(int count)
    {
        for (int i = 0; i < count; ++i) {
            VideoTask task;
            task.fileName = QStringLiteral("clip%1.mp4").arg(i);
            task.filePath = "/nonexistent/" + task.fileName;
            window->AddVideoRow(task);
        }
    }
    QAbstractButton* RowControl(int row, const char* name) const
    {
        return videos->RowAt(row)->findChild<QAbstractButton*>(name);
    }
    QAbstractButton* Button(const char* name) const
    {
        return window->FindControl<QAbstractButton>(name);
    }
    QByteArray Ini() const { return testenv::ReadFile(AppConfig::Path()); }

    QPointer<CMainWnd> window;
    SkinList* videos = nullptr;
};

TEST_F(MainPageTest, StartAllQueuesTheCheckedRowsInListOrderOnce)
{
    SignIn();
    AddRows(3);
    RowControl(1, "videocheckBox")->click();
    Button("all-compress")->click();
    EXPECT_EQ(window->videoEngine().IdleTasks(), (std::vector<int>{0, 2}));

    Button("all-compress")->click();
    EXPECT_EQ(window->videoEngine().IdleTasks(), (std::vector<int>{0, 2}));
    EXPECT_TRUE(skin::IsMouseEnabled(RowControl(0, "compressBtn"))) << "start-all leaves buttons";
}

TEST_F(MainPageTest, AStartedRowWaitsOnceAndItsButtonThenCancelsIt)
{
    SignIn();
    AddRows(2);
    QAbstractButton* start = RowControl(1, "compressBtn");
    start->click();
    EXPECT_EQ(start->text(), "等待中");
    EXPECT_TRUE(skin::IsMouseEnabled(start)) << "a second click cancels";
    Button("all-compress")->click();
    EXPECT_EQ(window->videoEngine().IdleTasks(), (std::vector<int>{1, 0})) << "queued once";
    start->click();
    EXPECT_EQ(start->text(), "压缩");
    EXPECT_EQ(window->videoEngine().IdleTasks(), (std::vector<int>{0}));
}

TEST_F(MainPageTest, WithoutASignedInUserAStartShowsTheSignInWindowAndQueuesNothing)
{
    AddRows(1);
    testenv::ClickWhenShown("LoginDialog", "closebtn");
    RowControl(0, "compressBtn")->click();
    testenv::ClickWhenShown("LoginDialog", "closebtn");
    Button("all-compress")->click();
    EXPECT_TRUE(window->videoEngine().IdleTasks().empty());
    EXPECT_TRUE(skin::IsMouseEnabled(RowControl(0, "compressBtn")));
}

TEST_F(MainPageTest, StartAllOnAnEmptyListSaysSo)
{
    QString shown;
    testenv::ClickWhenShown("PromptBoxDialog", "msgConfirm", &shown);
    Button("all-compress")->click();
    EXPECT_EQ(shown, "请先添加要压缩的文件!");
}

TEST_F(MainPageTest, SelectAllChecksAndUnchecksEveryRow)
{
    AddRows(3);
    RowControl(1, "videocheckBox")->click();
    Button("videoCheckBoxAll")->click();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(RowControl(i, "videocheckBox")->isChecked()) << i;
    Button("videoCheckBoxAll")->click();
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(RowControl(i, "videocheckBox")->isChecked()) << i;
}

TEST_F(MainPageTest, OptionsAreWrittenTheMomentTheyAreChosen)
{
    Button("radio-mp4")->click();
    Button("compress-type-limit")->click();
    Button("image-format-jpg")->click();
    Button("image-define-param")->click();
    EXPECT_EQ(ReadSetting(settings::kVideoType), 1);
    EXPECT_EQ(ReadSetting(settings::kCompressType), 2);
    EXPECT_EQ(ReadSetting(settings::kImageType), 1);
    EXPECT_EQ(ReadSetting(settings::kImageDefineParam), 1);
    Button("image-define-param")->click();
    EXPECT_EQ(ReadSetting(settings::kImageDefineParam), 0);
    Button("radio-ori")->click();
    EXPECT_EQ(ReadSetting(settings::kVideoType), 0);

    EXPECT_EQ(ReadSetting(settings::kVideoCodec), 0) << "H.264 until another is chosen";
    Button("video-codec-av1")->click();
    EXPECT_EQ(ReadSetting(settings::kVideoCodec), 2);
    Button("video-codec-h265")->click();
    EXPECT_EQ(ReadSetting(settings::kVideoCodec), 1);
    Button("image-format-avif")->click();
    EXPECT_EQ(ReadSetting(settings::kImageType), 3);
    Button("image-format-webp")->click();
    EXPECT_EQ(ReadSetting(settings::kImageType), 2);
    // The codec and the container are groups of their own: one choice leaves the other.
    EXPECT_TRUE(Button("radio-ori")->isChecked());
}

TEST_F(MainPageTest, AResolutionRowWritesItsIndexThenWidthThenHeight)
{
    auto* combo = window->FindControl<QComboBox>("video-ratio");
    combo->setCurrentIndex(10);
    emit combo->activated(10);
    const QByteArray ini = Ini();
    const qsizetype index = ini.indexOf("video-ratio-index=10");
    const qsizetype width = ini.indexOf("video-ratio-width=480");
    const qsizetype height = ini.indexOf("video-ratio-height=272");
    ASSERT_GE(index, 0);
    EXPECT_LT(index, width);
    EXPECT_LT(width, height);

    auto* gif = window->FindControl<QComboBox>("gif-drop-frame");
    emit gif->activated(3);
    EXPECT_EQ(ReadSetting(settings::kGifDropFrameIndex), 3);
    emit gif->activated(-1);  // no selection writes nothing
    EXPECT_EQ(ReadSetting(settings::kGifDropFrameIndex), 3);
}

TEST_F(MainPageTest, TheSliderShowsItsValueAndWritesNothing)
{
    window->FindControl<QSlider>("video-compress-slider")->setValue(35);
    EXPECT_EQ(window->FindControl<QLabel>("video-compress-label")->text(), "35%");
    EXPECT_TRUE(Ini().isEmpty());
}

TEST_F(MainPageTest, TheCustomImageSizeIsCheckedWidthFirst)
{
    auto* width = window->FindControl<QLineEdit>("image-width");
    auto* height = window->FindControl<QLineEdit>("image-height");
    width->setText("640px");
    EXPECT_TRUE(window->mainPage().CheckCustomImageSize()) << "ignored while the box is off";

    Button("image-define-param")->click();
    struct Case {
        const char* width;
        const char* height;
        const char* prompt;  // empty: passes
    };
    const Case cases[] = {
        {" 640 ", "480", ""},
        {"640px", "480", "图片宽度必须为数字!"},
        {"", "", "请输入图片的宽度!"},
        {"   ", "480", "请输入图片的宽度!"},
        {"640", "", "请输入图片的高度!"},
        {"640", "4８0", "图片高度必须为数字!"},
        {"-640", "480", "图片宽度必须为数字!"},
    };
    for (const Case& c : cases) {
        width->setText(QString::fromUtf8(c.width));
        height->setText(QString::fromUtf8(c.height));
        QString shown;
        const bool expectPass = *c.prompt == '\0';
        if (!expectPass) testenv::ClickWhenShown("PromptBoxDialog", "msgConfirm", &shown);
        EXPECT_EQ(window->mainPage().CheckCustomImageSize(), expectPass) << c.width << c.height;
        EXPECT_EQ(shown, QString::fromUtf8(c.prompt)) << c.width << "x" << c.height;
    }
}

TEST_F(MainPageTest, SelectAllFollowsTheRowsTicks)
{
    QAbstractButton* all = Button("videoCheckBoxAll");
    EXPECT_FALSE(all->isChecked()) << "an empty list";
    AddRows(3);
    EXPECT_TRUE(all->isChecked()) << "rows come ticked";
    RowControl(1, "videocheckBox")->click();
    EXPECT_FALSE(all->isChecked());
    RowControl(1, "videocheckBox")->click();
    EXPECT_TRUE(all->isChecked());

    // The box's own click ticks or unticks every row, and stays as clicked.
    all->click();
    EXPECT_FALSE(all->isChecked());
    for (int row = 0; row < 3; ++row) EXPECT_FALSE(RowControl(row, "videocheckBox")->isChecked());
    all->click();
    EXPECT_TRUE(all->isChecked());
    for (int row = 0; row < 3; ++row) EXPECT_TRUE(RowControl(row, "videocheckBox")->isChecked());

    // Deleting the one unticked row leaves every row ticked; deleting all leaves the box empty.
    RowControl(2, "videocheckBox")->click();
    EXPECT_FALSE(all->isChecked());
    skin::PostMessage(window.data(), UM_VIDEO_DELETE, 2);
    QCoreApplication::processEvents();
    EXPECT_TRUE(all->isChecked());
    skin::PostMessage(window.data(), UM_VIDEO_DELETE, 0);
    skin::PostMessage(window.data(), UM_VIDEO_DELETE, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(videos->Count(), 0);
    EXPECT_FALSE(all->isChecked());
}

TEST_F(MainPageTest, StartAllSaysWhyItStartsNothing)
{
    SignIn();
    AddRows(2);
    Button("videoCheckBoxAll")->click();  // nothing ticked
    QString notice;
    testenv::ClickWhenShown("PromptBoxDialog", "msgConfirm", &notice);
    Button("all-compress")->click();
    EXPECT_EQ(notice, "请先勾选要压缩的文件!");
    EXPECT_TRUE(window->videoEngine().IdleTasks().empty());
}

}  // namespace
