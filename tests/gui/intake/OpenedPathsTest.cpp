// SPDX-License-Identifier: GPL-3.0-or-later
// Paths dropped on the window or opened with it are sorted by what the files hold.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "gui/intake/OpenPaths.h"
#include "support/TestEnv.h"

namespace {

TEST(OpenedPathsTest, FilesAreTakenByContentAndWhatIsRefusedSaysWhy)
{
    QTemporaryDir dir;
    const QString in = dir.path() + "/";
    ASSERT_TRUE(testenv::Convert({"rose:", in + "photo.jpeg"}));
    ASSERT_TRUE(QFile::copy(in + "photo.jpeg", in + "Photo.Jpg"));
    ASSERT_TRUE(testenv::Convert({"rose:", in + "picture.png"}));
    ASSERT_TRUE(QFile::copy(in + "picture.png", in + "picture.dat"));
    ASSERT_TRUE(testenv::WriteFile(in + "notes.mp4", "words, not frames\n"));
    ASSERT_TRUE(testenv::MakeVideo(in + "clip.Mkv", 0.5));
    ASSERT_TRUE(QDir().mkpath(in + "folder.mp4"));

    using Kind = OpenedPath::Kind;
    const std::pair<const char*, Kind> cases[] = {
        {"photo.jpeg", Kind::Image},  {"Photo.Jpg", Kind::Image},   {"picture.dat", Kind::Image},
        {"clip.Mkv", Kind::Video},    {"folder.mp4", Kind::Folder}, {"notes.mp4", Kind::NotTaken},
        {"gone.png", Kind::NotTaken},
    };
    for (const auto& [name, kind] : cases) {
        const OpenedPath opened = ClassifyOpenedPath(in + name);
        EXPECT_EQ(opened.kind, kind) << name;
        EXPECT_EQ(opened.path, in + name);
        EXPECT_EQ(opened.refused.reason.isEmpty(), kind != Kind::NotTaken) << name;
    }
    EXPECT_TRUE(ClassifyOpenedPath(in + "notes.mp4").refused.reason.contains("text/plain"));
    EXPECT_EQ(ClassifyOpenedPath(in + "gone.png").refused.reason, "no such file or folder");
    EXPECT_EQ(ClassifyOpenedPath(in + "gone.png").refused.name, in + "gone.png");
}

}  // namespace
