// SPDX-License-Identifier: GPL-3.0-or-later
// Files named on the command line are taken by what they hold, not by how they are named; a
// folder's scan takes every spelling of the extensions it knows.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QTemporaryDir>

#include <map>

#include "cli/CliTestSupport.h"
#include "core/intake/MediaScan.h"
#include "support/TestEnv.h"

using namespace clitest;

namespace {

class FileTypeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root_.isValid());
        QDir().mkpath(In(""));
        MakeImage("rose:", In("photo.jpeg"));
        MakeImage("rose:", In("Photo.Jpg"));
        MakeImage("rose:", In("still.jpe"));
        MakeImage("rose:", In("picture.png"));
        ASSERT_TRUE(QFile::copy(In("picture.png"), In("picture.dat")));
        ASSERT_TRUE(testenv::WriteFile(In("notes.mp4"), "these are words, not frames\n"));
        ASSERT_TRUE(testenv::MakeVideo(In("clip.MKV"), 1.0));
    }
    QString In(const QString& name) const { return root_.path() + "/in/" + name; }
    QString Out(const QString& name) const { return root_.path() + "/out/" + name; }

    QTemporaryDir root_;
};

TEST_F(FileTypeTest, ContentDecidesWhatANamedFileIs)
{
    using Kind = SourceType::Kind;
    const std::map<QString, std::pair<Kind, QString>> expected = {
        {"photo.jpeg", {Kind::Image, "jpg"}}, {"Photo.Jpg", {Kind::Image, "jpg"}},
        {"still.jpe", {Kind::Image, "jpg"}},  {"picture.dat", {Kind::Image, "png"}},
        {"clip.MKV", {Kind::Video, ""}},      {"notes.mp4", {Kind::None, ""}},
    };
    for (const auto& [name, want] : expected) {
        const SourceType type = DetectSourceType(In(name));
        EXPECT_EQ(type.kind, want.first) << name.toStdString();
        EXPECT_EQ(type.imageExtension, want.second) << name.toStdString();
        EXPECT_EQ(type.reason.isEmpty(), want.first != Kind::None) << name.toStdString();
    }
    EXPECT_TRUE(DetectSourceType(In("notes.mp4")).reason.contains("text/plain"));
}

TEST_F(FileTypeTest, TheFolderScanTakesEverySpellingOfItsExtensions)
{
    EXPECT_EQ(ScanFolderForImages(In("")),
              QStringList({"photo.jpeg", "Photo.Jpg", "picture.png", "still.jpe"}));
    // By name: what a file named as a video holds is the prober's to judge.
    EXPECT_EQ(ScanFolderForVideos(In("")), QStringList({"clip.MKV", "notes.mp4", "picture.dat"}));
}

TEST_F(FileTypeTest, TheCommandLineCompressesByContentAndNamesWhatItRefuses)
{
    const CliResult run = RunCli({"--json", "--output", Out(""), In("photo.jpeg"), In("Photo.Jpg"),
                                  In("still.jpe"), In("picture.dat"), In("notes.mp4")},
                                 root_.path());
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    std::map<QString, QJsonObject> bySource;
    for (const QJsonObject& record : run.JsonLines())
        bySource[QFileInfo(record["source"].toString()).fileName()] = record;
    ASSERT_EQ(bySource.size(), 5u) << run.out.toStdString();
    for (const char* name : {"photo.jpeg", "Photo.Jpg", "still.jpe", "picture.dat"}) {
        EXPECT_EQ(bySource[name]["result"], "done") << name << run.out.toStdString();
        EXPECT_EQ(bySource[name]["kind"], "image") << name;
    }
    // The PNG named .dat is written as the PNG it is.
    EXPECT_EQ(QFileInfo(bySource["picture.dat"]["output"].toString()).fileName(), "picture.png");
    EXPECT_EQ(ImageSize(bySource["picture.dat"]["output"].toString()), "70x46");
    EXPECT_EQ(QFileInfo(bySource["still.jpe"]["output"].toString()).fileName(), "still.jpg");
    EXPECT_EQ(bySource["notes.mp4"]["result"], "failed");
    EXPECT_EQ(bySource["notes.mp4"]["code"], "unsupported");
    EXPECT_TRUE(bySource["notes.mp4"]["error"].toString().contains("text/plain"))
        << bySource["notes.mp4"]["error"].toString().toStdString();
}

}  // namespace
