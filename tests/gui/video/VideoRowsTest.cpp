// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>

#include "core/app/FailureText.h"
#include "core/app/Settings.h"
#include "core/app/UserAccount.h"
#include "core/intake/MediaProbe.h"
#include "core/video/VideoEngine.h"
#include "gui/app/MainWnd.h"
#include "gui/intake/RowBuilder.h"
#include "gui/skinlib/Controls.h"
#include "gui/skinlib/SkinList.h"
#include "gui/ui/WindowMessages.h"
#include "gui/video/ParamDialog.h"
#include "support/GuiTestEnv.h"

namespace {

class VideoRowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(UserAccount::Instance().SignInWithMobile("13800138000"));
        ASSERT_TRUE(WriteSetting(settings::kOutputDir, output.path()));
        window = new CMainWnd;
        window->Create();
        window->show();
        list = window->FindControl<SkinList>("videoList");
    }
    void TearDown() override { delete window.data(); }

    // A real clip, probed as intake does, as a row of the list.
    int AddClip(const QString& name, double seconds = 1.0, const QString& size = "64x48")
    {
        VideoTask task;
        task.fileName = name;
        task.fileDir = media.path() + "/";
        task.filePath = media.path() + "/" + name;
        EXPECT_TRUE(testenv::MakeVideo(task.filePath, seconds, size));
        EXPECT_TRUE(ProbeVideo(task.filePath, task));
        return window->AddVideoRow(task);
    }
    QWidget* Row(int id) const { return list->FindRow(RowName(id)); }
    QString Text(int id, const char* name) const
    {
        QWidget* control = Row(id)->findChild<QWidget*>(name);
        if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
        return {};
    }
    bool Finished(int id) const { return Text(id, "compressBtn") == "压缩完成"; }
    bool Failed(int id) const { return Text(id, "compressBtn") == "压 缩"; }
    void Post(int message, int id)
    {
        skin::PostMessage(window.data(), message, id);
        QCoreApplication::processEvents();
    }

    QTemporaryDir media;
    QTemporaryDir output;
    QPointer<CMainWnd> window;
    SkinList* list = nullptr;
};

TEST_F(VideoRowsTest, StartAllCompressesTheRowsOneAtATimeAndShowsTheirResults)
{
    const int a = AddClip("a.mp4");
    const int b = AddClip("b.mp4");
    const int c = AddClip("c.mp4");
    window->FindControl<QAbstractButton>("all-compress")->click();

    int mostAtOnce = 0;
    ASSERT_TRUE(testenv::WaitUntil(
        [&] {
            int compressing = 0;
            for (int id : {a, b, c}) compressing += Text(id, "compressBtn") == "压缩中";
            mostAtOnce = std::max(mostAtOnce, compressing);
            return Finished(a) && Finished(b) && Finished(c);
        },
        60000));
    EXPECT_EQ(mostAtOnce, 1);
    for (int id : {a, b, c}) {
        QWidget* row = Row(id);
        EXPECT_EQ(row->findChild<QProgressBar*>("progress-slider")->value(), 100);
        EXPECT_EQ(Text(id, "progress-label"), "100%");
        EXPECT_FALSE(skin::IsMouseEnabled(row->findChild<QWidget*>("compressBtn")));
        EXPECT_FALSE(Text(id, "s1Label").isEmpty());
        EXPECT_TRUE(Text(id, "y1Label").endsWith('%'));
        const auto path = window->videoEngine().OutputPath(id);
        ASSERT_TRUE(path.has_value());
        VideoInfo info;
        EXPECT_TRUE(ProbeVideo(*path, info)) << qPrintable(*path) << " is playable media";
    }
    EXPECT_TRUE(window->videoEngine().BusyTasks().empty());
}

TEST_F(VideoRowsTest, AFailedRowShowsItsErrorAndTheNextRowStillRuns)
{
    VideoTask damaged;
    damaged.fileName = "damaged.mp4";
    damaged.filePath = media.path() + "/damaged.mp4";
    damaged.fileSize = 4096;
    damaged.width = 64;
    damaged.height = 48;
    testenv::WriteFile(damaged.filePath, QByteArray(4096, 'x'));
    const int bad = window->AddVideoRow(damaged);
    const int good = AddClip("good.mp4");
    window->FindControl<QAbstractButton>("all-compress")->click();

    ASSERT_TRUE(testenv::WaitUntil([&] { return Failed(bad) && Finished(good); }, 60000));
    QWidget* row = Row(bad);
    EXPECT_TRUE(row->findChild<QWidget*>("errorLabel")->isVisible());
    EXPECT_EQ(row->findChild<QWidget*>("errorLabel")->toolTip(),
              FailureSentence(FailureCause::Damaged))
        << "ffmpeg's words become the user's";
    EXPECT_FALSE(row->findChild<QWidget*>("progress-container")->isVisible());
    EXPECT_TRUE(skin::IsMouseEnabled(row->findChild<QWidget*>("compressBtn")));
    EXPECT_EQ(QDir(output.path()).entryList(QDir::Files).size(), 1) << "no failed output left";
}

TEST_F(VideoRowsTest, ARowThatWaitsOrRunsCannotBeDeletedAFinishedOneCan)
{
    window->videoEngine().SetPaused(true);
    const int first = AddClip("first.mp4");
    const int second = AddClip("second.mp4");
    window->FindControl<QAbstractButton>("all-compress")->click();

    testenv::AutoAnswer refusals("PromptBoxDialog", "msgConfirm");
    Post(UM_VIDEO_DELETE, second);
    EXPECT_EQ(refusals.texts(), QStringList{"文件正在压缩中,不能删除!"});
    EXPECT_NE(Row(second), nullptr);

    window->videoEngine().SetPaused(false);
    ASSERT_TRUE(testenv::WaitUntil([&] { return Finished(first) && Finished(second); }, 60000));
    CompressParams own;
    own.unique_id = second;
    window->videoEngine().SetParams(own);
    Post(UM_VIDEO_DELETE, second);
    EXPECT_EQ(refusals.texts().size(), 1);
    EXPECT_TRUE(testenv::WaitUntil([&] { return Row(second) == nullptr; }));
    EXPECT_FALSE(window->videoEngine().FindTask(second).has_value());
    EXPECT_FALSE(window->videoEngine().FindParams(second).has_value());
    EXPECT_TRUE(QFileInfo::exists(media.path() + "/second.mp4")) << "the source stays";
}

TEST_F(VideoRowsTest, RecompressingWritesANewFileBesideTheFirst)
{
    const int id = AddClip("again.mp4");
    Row(id)->findChild<QAbstractButton*>("compressBtn")->click();
    ASSERT_TRUE(testenv::WaitUntil([&] { return Finished(id); }, 60000));
    const QString first = *window->videoEngine().OutputPath(id);

    Post(UM_VIDEO_RECOMPRESS, id);
    EXPECT_TRUE(Text(id, "s1Label").isEmpty());
    ASSERT_TRUE(testenv::WaitUntil(
        [&] { return Finished(id) && window->videoEngine().OutputPath(id) != first; }, 60000));
    EXPECT_TRUE(window->videoEngine().OutputPath(id)->endsWith("again(2).mp4"));
    EXPECT_TRUE(QFileInfo::exists(first));
}

TEST_F(VideoRowsTest, QuittingDuringAnEncodeLeavesNoEncoderAndNoPartialFile)
{
    const int id = AddClip("long.mp4", 30.0, "640x480");
    Row(id)->findChild<QAbstractButton*>("compressBtn")->click();
    ASSERT_TRUE(testenv::WaitUntil([&] { return !window->videoEngine().FfmpegProcesses().empty(); },
                                   20000));
    const qint64 pid = window->videoEngine().FfmpegProcesses().front();
    ASSERT_EQ(::kill(static_cast<pid_t>(pid), 0), 0) << "the encoder runs";

    testenv::ClickWhenShown("MessageBoxDialog", "msgConfirm");
    skin::PostMessage(window.data(), UM_MENU_QUIT);
    ASSERT_TRUE(testenv::WaitUntil([&] { return window.isNull(); }, 20000));
    EXPECT_NE(::kill(static_cast<pid_t>(pid), 0), 0) << "the encoder is gone";
    EXPECT_TRUE(QDir(output.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST(SavingTest, TheSavingIsGreenWhenTheFileShrankAndRedWhenItGrew)
{
    QWidget row;
    auto* size = new QLabel(&row);
    size->setObjectName("s1Label");
    auto* saving = new QLabel(&row);
    saving->setObjectName("y1Label");

    ShowSaving(&row, 10485760, 2621440);
    EXPECT_EQ(size->text(), "2.50M");
    EXPECT_EQ(saving->text(), "75.00%");
    EXPECT_TRUE(saving->styleSheet().contains("#10C00B"));

    ShowSaving(&row, 200000, 220000);
    EXPECT_EQ(saving->text(), "-10.00%");
    EXPECT_TRUE(saving->styleSheet().contains("#FF0000"));

    ShowSaving(&row, 0, 100);
    EXPECT_EQ(saving->text(), "--") << "an empty source has no percentage";
}

}  // namespace

namespace {

TEST_F(VideoRowsTest, ARowsOwnParametersAreKeptOnceMarkedAndUsedForItsCompression)
{
    const int id = AddClip("own.mp4");
    QWidget* flag = Row(id)->findChild<QWidget*>("paramFlag");

    // The row's menu opens the dialog; saving twice keeps one record, the newer.
    Row(id)->findChild<QAbstractButton*>("videoMenuBtn")->click();
    QWidget* menu = testenv::FindShownWindow("PopMenu");
    ASSERT_NE(menu, nullptr);
    int saves = 0;
    testenv::AutoAnswer dialog("参数设置", "save", [&] {
        ++saves;
        auto* window = testenv::FindShownWindow("参数设置");
        // The second save chooses FLV as the container.
        if (saves == 2) window->findChild<QAbstractButton*>("radio_flv")->click();
        return QString();
    });
    menu->findChild<QAbstractButton*>("seting-param")->click();
    ASSERT_TRUE(testenv::WaitUntil([&] { return saves == 1; }));
    skin::PostMessage(window.data(), UM_VIDEO_PARAM, id);
    ASSERT_TRUE(testenv::WaitUntil([&] { return saves == 2; }));
    testenv::WaitUntil([] { return false; }, 100);
    ASSERT_EQ(window->videoEngine().ParamList().size(), 1u);
    EXPECT_EQ(window->videoEngine().ParamList().front().videoType, 2);
    EXPECT_FALSE(flag->isHidden());

    Row(id)->findChild<QAbstractButton*>("compressBtn")->click();
    ASSERT_TRUE(testenv::WaitUntil([&] { return Finished(id); }, 60000));
    EXPECT_TRUE(window->videoEngine().OutputPath(id)->endsWith("own.flv"));
}

TEST_F(VideoRowsTest, CancelThenCloseLeavesTheRowWithoutItsOwnParameters)
{
    const int id = AddClip("plain.mp4");
    CompressParams own = ParamDialog::DefaultParams(id);
    skin::PostMessage(window.data(), skin::MakeMessage(UM_VIDEO_PARAM_SAVE, own));
    QCoreApplication::processEvents();
    ASSERT_TRUE(window->videoEngine().FindParams(id).has_value());
    QWidget* flag = Row(id)->findChild<QWidget*>("paramFlag");
    EXPECT_FALSE(flag->isHidden());

    bool cancelled = false;
    testenv::AutoAnswer dialog("参数设置", "cancel", [&] {
        cancelled = true;
        QTimer::singleShot(100, [] {
            if (QWidget* open = testenv::FindShownWindow("参数设置"))
                open->findChild<QAbstractButton*>("closebtn")->click();
        });
        return QString();
    });
    skin::PostMessage(window.data(), UM_VIDEO_PARAM, id);
    ASSERT_TRUE(testenv::WaitUntil(
        [&] { return cancelled && testenv::FindShownWindow("参数设置") == nullptr; }));
    testenv::WaitUntil([] { return false; }, 100);
    EXPECT_FALSE(window->videoEngine().FindParams(id).has_value());
    EXPECT_TRUE(flag->isHidden());
}

}  // namespace
