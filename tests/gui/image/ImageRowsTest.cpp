// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "core/app/FailureText.h"
#include "core/app/Settings.h"
#include "core/app/TextUtil.h"
#include "core/app/UserAccount.h"
#include "core/image/ImageEngine.h"
#include "gui/app/MainWnd.h"
#include "gui/intake/RowBuilder.h"
#include "gui/platform/Shell.h"
#include "gui/skinlib/Controls.h"
#include "gui/skinlib/SkinList.h"
#include "gui/ui/WindowMessages.h"
#include "support/FakeShell.h"
#include "support/GuiTestEnv.h"

namespace {

int JpegQuality(const QString& path)
{
    QProcess identify;
    identify.start("identify", {"-format", "%Q", path});
    identify.waitForFinished(10000);
    return identify.readAll().trimmed().toInt();
}

class ImageRowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(UserAccount::Instance().SignInWithMobile("13800138000"));
        ASSERT_TRUE(WriteSetting(settings::kOutputDir, output.path()));
        window = new CMainWnd;
        window->Create();
        window->show();
        window->FindControl<QAbstractButton>("compress-image")->click();
        images = window->FindControl<SkinList>("image-list");
    }
    void TearDown() override { delete window.data(); }

    QString Jpeg(const QString& name, int quality = 92, const QString& size = "96x64")
    {
        const QString path = media.path() + "/" + name;
        EXPECT_TRUE(testenv::Convert(
            {"-size", size, "plasma:fractal", "-quality", QString::number(quality), path}));
        return path;
    }
    void AddFiles(const QStringList& files)
    {
        shell.files = files;
        window->FindControl<QAbstractButton>("add-image-file")->click();
    }
    QString Text(int id, const char* name) const
    {
        QWidget* control = images->FindRow(RowName(id))->findChild<QWidget*>(name);
        if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
        return {};
    }
    bool Done(int id) const { return Text(id, "imageCompressBtn") == "压缩完成"; }
    bool Failed(int id) const
    {
        QWidget* row = images->FindRow(RowName(id));
        return row->findChild<QWidget*>("errorLabel")->isVisible() &&
               Text(id, "imageCompressBtn") == "压缩";
    }

    QTemporaryDir media;
    QTemporaryDir output;
    testenv::FakeShell shell;
    QPointer<CMainWnd> window;
    SkinList* images = nullptr;
};

TEST_F(ImageRowsTest, AFolderGivesItsImagesSpeltAsAccepted)
{
    const QString folder = media.path() + "/photos";
    QDir().mkpath(folder);
    for (const char* name : {"photo.JPG", "photo.jpeg", "anim.Gif"})
        ASSERT_TRUE(testenv::Convert({"-size", "8x8", "xc:red", folder + "/" + name}));
    shell.folder = folder;
    window->FindControl<QAbstractButton>("add-image-dir")->click();
    // Every spelling of an accepted type, in any case, is taken.
    ASSERT_EQ(images->Count(), 3);
    QStringList names;
    for (int id = 0; id < 3; ++id) names << Text(id, "fileNameLabel");
    names.sort();
    EXPECT_EQ(names, QStringList({"anim.Gif", "photo.JPG", "photo.jpeg"}));
    for (int id = 0; id < 3; ++id)
        EXPECT_EQ(Text(id, "fileSizeLabel"),
                  FormatSize(QFileInfo(folder + "/" + Text(id, "fileNameLabel")).size()));
}

TEST_F(ImageRowsTest, VideoAndImageRowsShareOneRowOfIds)
{
    VideoTask video;
    video.fileName = "v.mp4";
    EXPECT_EQ(window->AddVideoRow(video), 0);
    AddFiles({Jpeg("a.jpg")});
    EXPECT_EQ(window->AddVideoRow(video), 2);
    AddFiles({Jpeg("b.jpg")});
    EXPECT_NE(images->FindRow("item-1"), nullptr);
    EXPECT_NE(images->FindRow("item-3"), nullptr);
}

TEST_F(ImageRowsTest, RowsRunSideBySideUpToTheCoresAndAFailureReleasesLikeASuccess)
{
    const QString broken = media.path() + "/x.jpg";
    testenv::WriteFile(broken, "this is text, not a picture");
    AddFiles({Jpeg("first.jpg"), broken, Jpeg("last.jpg")});
    window->FindControl<QAbstractButton>("all-image-compress")->click();

    int mostAtOnce = 0;
    ASSERT_TRUE(testenv::WaitUntil(
        [&] {
            int running = 0;
            for (int id : {0, 1, 2}) running += Text(id, "imageCompressBtn") == "压缩中";
            mostAtOnce = std::max(mostAtOnce, running);
            return Done(0) && Failed(1) && Done(2);
        },
        30000));
    EXPECT_GE(mostAtOnce, 1);
    EXPECT_LE(mostAtOnce, QThread::idealThreadCount()) << "one image per core at most";
    EXPECT_EQ(Text(0, "progress-label"), "完成");
    EXPECT_TRUE(Text(0, "y1Label").endsWith('%'));
    QWidget* failed = images->FindRow("item-1");
    EXPECT_TRUE(skin::IsMouseEnabled(failed->findChild<QWidget*>("imageCompressBtn")));
    EXPECT_EQ(failed->findChild<QWidget*>("errorLabel")->toolTip(),
              FailureSentence(FailureCause::Unsupported))
        << "the failure says why, in the user's words";
    EXPECT_EQ(QDir(output.path()).entryList(QDir::Files), (QStringList{"first.jpg", "last.jpg"}));
}

TEST_F(ImageRowsTest, AStrengthChosenWhileARowWaitsAppliesToIt)
{
    // One large picture per worker, then the one that has to wait for a worker.
    const int workers = QThread::idealThreadCount();
    QStringList files;
    for (int i = 0; i < workers; ++i) files << Jpeg(QString("big%1.jpg").arg(i), 92, "1200x900");
    files << Jpeg("small.jpg", 92);
    AddFiles(files);
    window->FindControl<QAbstractButton>("image-compress-type-general")->click();
    window->FindControl<QAbstractButton>("all-image-compress")->click();
    // The last row cannot start before a result is released, which this event loop does.
    window->FindControl<QAbstractButton>("image-compress-type-limit")->click();
    ASSERT_TRUE(testenv::WaitUntil(
        [&] {
            for (int id = 0; id <= workers; ++id)
                if (!Done(id)) return false;
            return true;
        },
        60000));
    EXPECT_EQ(JpegQuality(output.path() + "/small.jpg"), 50);
}

TEST_F(ImageRowsTest, AWaitingRowCannotBeDeletedAndTheCustomSizeGuardsRecompression)
{
    AddFiles({Jpeg("one.jpg", 92, "1600x1200"), Jpeg("two.jpg")});
    window->FindControl<QAbstractButton>("all-image-compress")->click();
    testenv::AutoAnswer prompts("PromptBoxDialog", "msgConfirm");
    skin::PostMessage(window.data(), UM_IMAGE_DELETE, 1);
    ASSERT_TRUE(testenv::WaitUntil([&] { return prompts.texts().size() == 1; }));
    EXPECT_EQ(prompts.texts().front(), "文件正在压缩中,不能删除!");
    ASSERT_TRUE(testenv::WaitUntil([&] { return Done(0) && Done(1); }, 30000));

    window->FindControl<QAbstractButton>("image-define-param")->click();
    skin::PostMessage(window.data(), UM_IMAGE_RECOMPRESS, 1);
    ASSERT_TRUE(testenv::WaitUntil([&] { return prompts.texts().size() == 2; }));
    EXPECT_EQ(prompts.texts().back(), "请输入图片的宽度!");
    EXPECT_TRUE(window->imageEngine().IdleTasks().empty());

    skin::PostMessage(window.data(), UM_IMAGE_DELETE, 1);
    ASSERT_TRUE(testenv::WaitUntil([&] { return images->Count() == 1; }));
    EXPECT_FALSE(window->imageEngine().FindTask(1).has_value());
}

}  // namespace

namespace {

// A large image keeps the pipeline busy for seconds in every step.
QString LargeNoisePng(const QString& folder)
{
    const QString path = folder + "/noise.png";
    EXPECT_TRUE(testenv::Convert({"-size", "3000x3000", "xc:gray", "+noise", "Random", path}));
    return path;
}

TEST_F(ImageRowsTest, CancelOrQuitEndsARunningImageWithinASecond)
{
    const QString noise = LargeNoisePng(media.path());
    AddFiles({noise, Jpeg("after.jpg")});
    window->FindControl<QAbstractButton>("all-image-compress")->click();
    EXPECT_EQ(Text(1, "imageCompressBtn"), "等待中");
    ASSERT_TRUE(testenv::WaitUntil([&] { return Text(0, "imageCompressBtn") == "压缩中"; }));
    testenv::WaitUntil([] { return false; }, 300);  // well inside the run

    QElapsedTimer sinceCancel;
    sinceCancel.start();
    images->FindRow(RowName(0))->findChild<QAbstractButton*>("imageCompressBtn")->click();
    ASSERT_TRUE(testenv::WaitUntil([&] { return Text(0, "imageCompressBtn") == "压缩"; }, 5000));
    EXPECT_LT(sinceCancel.elapsed(), 1200) << "from the click to the idle row";
    EXPECT_FALSE(images->FindRow(RowName(0))->findChild<QWidget*>("errorLabel")->isVisible());
    ASSERT_TRUE(testenv::WaitUntil([&] { return Done(1); }, 30000)) << "the queue goes on";
    EXPECT_EQ(QDir(output.path()).entryList(QDir::Files), QStringList{"after.jpg"});

    // Started again, then the program quits: the window goes without waiting for the image.
    images->FindRow(RowName(0))->findChild<QAbstractButton*>("imageCompressBtn")->click();
    ASSERT_TRUE(testenv::WaitUntil([&] { return Text(0, "imageCompressBtn") == "压缩中"; }));
    testenv::WaitUntil([] { return false; }, 300);
    QElapsedTimer quitting;
    quitting.start();
    window->Shutdown();
    ASSERT_TRUE(testenv::WaitUntil([&] { return window.isNull(); }, 5000));
    EXPECT_LT(quitting.elapsed(), 1200);
    EXPECT_EQ(QDir(output.path()).entryList(QDir::Files), QStringList{"after.jpg"});
}

}  // namespace
