// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>

#include "core/app/Settings.h"
#include "core/app/UserAccount.h"
#include "gui/app/MainWnd.h"
#include "gui/intake/RowBuilder.h"
#include "gui/platform/Shell.h"
#include "gui/skinlib/SkinList.h"
#include "support/FakeShell.h"
#include "support/GuiTestEnv.h"

namespace {

// A user's whole errand through the real window: add videos and images, start all on both
// pages, and find every row finished and every file written.
TEST(JourneyTest, AddBothKindsStartAllAndFindEveryFileWritten)
{
    QTemporaryDir media;
    QTemporaryDir output;
    ASSERT_TRUE(UserAccount::Instance().SignInWithMobile("13800138000"));
    ASSERT_TRUE(WriteSetting(settings::kOutputDir, output.path()));
    testenv::FakeShell shell;
    QPointer<CMainWnd> window = new CMainWnd;
    window->Create();
    window->resize(1100, 720);
    window->show();

    const QString videoA = media.path() + "/旅行 vlog.mp4";
    const QString videoB = media.path() + "/meeting 2024.mov";
    ASSERT_TRUE(testenv::MakeVideo(videoA, 2.0, "320x240"));
    ASSERT_TRUE(testenv::MakeVideo(videoB, 1.0, "320x240"));
    const QString imageA = media.path() + "/photo.jpg";
    const QString imageB = media.path() + "/diagram.png";
    for (const QString& image : {imageA, imageB}) {
        ASSERT_TRUE(
            testenv::Convert({"-size", "480x320", "plasma:fractal", "-quality", "92", image}));
    }

    auto click = [&](const char* name) { window->FindControl<QAbstractButton>(name)->click(); };
    auto* videos = window->FindControl<SkinList>("videoList");
    auto* images = window->FindControl<SkinList>("image-list");
    shell.files = {videoA, videoB};
    click("add-video-file");
    click("compress-image");
    shell.files = {imageA, imageB};
    click("add-image-file");
    ASSERT_EQ(images->Count(), 2);
    click("all-image-compress");
    click("compress-video");
    // Video rows come once the videos are read in the background, as the user sees them come.
    ASSERT_TRUE(testenv::WaitUntil([&] { return videos->Count() == 2; }, 15000));
    click("all-compress");
    auto text = [](QWidget* row, const char* name) {
        QWidget* control = row->findChild<QWidget*>(name);
        if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
        return qobject_cast<QAbstractButton*>(control)->text();
    };
    ASSERT_TRUE(testenv::WaitUntil(
        [&] {
            for (int i = 0; i < 2; ++i) {
                if (text(videos->RowAt(i), "compressBtn") != "压缩完成") return false;
                if (text(images->RowAt(i), "imageCompressBtn") != "压缩完成") return false;
            }
            return true;
        },
        90000));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(text(videos->RowAt(i), "progress-label"), "100%");
        EXPECT_EQ(text(images->RowAt(i), "progress-label"), "完成");
        for (SkinList* list : {videos, images}) {
            EXPECT_FALSE(text(list->RowAt(i), "s1Label").isEmpty());
            EXPECT_TRUE(text(list->RowAt(i), "y1Label").endsWith('%'));
        }
    }
    QStringList written = QDir(output.path()).entryList(QDir::Files);
    written.sort();
    EXPECT_EQ(written,
              (QStringList{"diagram.png", "meeting 2024.mov", "photo.jpg", "旅行 vlog.mp4"}));

    // With LUMO_SCREENSHOT_DIR set, keep pictures of both pages for people to look at.
    if (const QString shots = qEnvironmentVariable("LUMO_SCREENSHOT_DIR"); !shots.isEmpty()) {
        testenv::WaitUntil([] { return false; }, 300);
        window->grab().save(shots + "/main-videos.png");
        click("compress-image");
        testenv::WaitUntil([] { return false; }, 300);
        window->grab().save(shots + "/main-images.png");
    }
    delete window.data();
}

}  // namespace
