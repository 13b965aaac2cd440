// SPDX-License-Identifier: GPL-3.0-or-later
// The image engine's outputs in each place on real pictures: the tree and the suffix beside the
// source, and in place of the source, where the original goes to the trash of the test's home
// only once the smaller output is written and read back.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/image/ImagePipeline.h"
#include "core/image/ImageTestSupport.h"
#include "support/TestEnv.h"

#include <fcntl.h>
#include <sys/stat.h>

using namespace imagetest;

namespace {

class ImagePlaceTest : public ImageFolderTest {
protected:
    ImageParams Placed(const QString& name, int where, const QString& root = {}) const
    {
        ImageParams params = Params(name);
        params.place = {where, "_small"};
        params.addedRoot = root;
        return params;
    }
    static QString Trash(const QString& name)
    {
        return qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/" + name;
    }
};

struct stat StatOf(const QString& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info;
}

}  // namespace

TEST_F(ImagePlaceTest, TreeAndBesideNameTheirOutputsWithoutOverwriting)
{
    ASSERT_TRUE(QDir().mkpath(Src("photos/2023")));
    Save(MakeImage("logo:"), "JPEG", Src("photos/2023/a.jpg"), 95);

    const ImageRunResult tree =
        ImagePipeline::Run(Placed("photos/2023/a.jpg", place::kTree, root_.path() + "/src/photos"));
    ASSERT_TRUE(tree.done) << tree.failure;
    EXPECT_EQ(tree.done->outputPath, Out("photos/2023/a.jpg"));

    // Beside: the suffix, and (2) once that name is taken; the source is never touched.
    const QByteArray source = ReadBytes(Src("photos/2023/a.jpg"));
    for (const char* expected : {"a_small.jpg", "a_small(2).jpg"}) {
        const ImageRunResult beside =
            ImagePipeline::Run(Placed("photos/2023/a.jpg", place::kBeside));
        ASSERT_TRUE(beside.done) << beside.failure;
        EXPECT_EQ(beside.done->outputPath, Src("photos/2023/") + expected);
        EXPECT_FALSE(beside.done->replacedSource);
    }
    EXPECT_EQ(ReadBytes(Src("photos/2023/a.jpg")), source);
    EXPECT_EQ(Entries(Src("photos/2023")), (QStringList{"a.jpg", "a_small(2).jpg", "a_small.jpg"}));

    // A suffix that would make a hidden or parent name is refused before anything is written.
    ImageParams dots = Placed("photos/2023/a.jpg", place::kBeside);
    dots.place.suffix = "..";
    EXPECT_FALSE(ImagePipeline::Run(dots).done);
    EXPECT_EQ(Entries(Src("photos/2023")).size(), 3);
}

TEST_F(ImagePlaceTest, InPlaceTheOutputTakesTheNameAndTheOriginalGoesToTheTrash)
{
    Save(MakeImage("logo:"), "JPEG", Src("Holiday.JPG"), 100);
    const QByteArray original = ReadBytes(Src("Holiday.JPG"));
    const struct timespec past[2] = {{1262304000, 111111111}, {1230768000, 222222222}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(Src("Holiday.JPG")).constData(), past, 0), 0);

    // The dates stay whatever the choice says.
    ImageParams params = Placed("Holiday.JPG", place::kInPlace);
    params.keepDates = false;
    const ImageRunResult run = ImagePipeline::Run(params);
    ASSERT_TRUE(run.done) << run.failure;
    EXPECT_TRUE(run.done->replacedSource);
    EXPECT_EQ(run.done->outputPath, Src("Holiday.JPG"));
    const qint64 written = QFileInfo(Src("Holiday.JPG")).size();
    EXPECT_EQ(run.done->outputSize, written);
    EXPECT_EQ(run.done->freedBytes, original.size() - written);
    EXPECT_GT(run.done->freedBytes, 0);
    EXPECT_EQ(Identify(Src("Holiday.JPG"), "%m %wx%h"), "JPEG 640x480");
    EXPECT_EQ(Entries(Src("")), QStringList{"Holiday.JPG"});
    EXPECT_EQ(StatOf(Src("Holiday.JPG")).st_mtim.tv_sec, past[1].tv_sec);
    EXPECT_EQ(StatOf(Src("Holiday.JPG")).st_mtim.tv_nsec, past[1].tv_nsec);

    // The original, byte for byte, in the trash with its record.
    EXPECT_EQ(ReadBytes(Trash("files/Holiday.JPG")), original);
    EXPECT_TRUE(ReadBytes(Trash("info/Holiday.JPG.trashinfo")).contains("Path=")) << "no record";
}

TEST_F(ImagePlaceTest, InPlaceANewFormatKeepsItsExtensionAndTakesNoTakenName)
{
    Save(MakeImage("logo:"), "PNG", Src("chart.png"));
    WriteBytes(Src("chart.webp"), "a file of the user's");
    const QByteArray original = ReadBytes(Src("chart.png"));
    ImageParams params = Placed("chart.png", place::kInPlace);
    params.imageType = 2;  // WebP
    const ImageRunResult run = ImagePipeline::Run(params);
    ASSERT_TRUE(run.done) << run.failure;
    EXPECT_EQ(run.done->outputPath, Src("chart(2).webp"));
    EXPECT_EQ(ReadBytes(Src("chart.webp")), "a file of the user's");
    EXPECT_EQ(Entries(Src("")), (QStringList{"chart(2).webp", "chart.webp"}));
    EXPECT_EQ(ReadBytes(Trash("files/chart.png")), original);
    EXPECT_EQ(run.done->freedBytes, original.size() - QFileInfo(Src("chart(2).webp")).size());
}

TEST_F(ImagePlaceTest, InPlaceAnOutputNotSmallerLeavesTheSourceAlone)
{
    // A tiny JPEG already at a low quality: the recompressed one is no smaller.
    Save(MakeImage("white", 8, 8), "JPEG", Src("dot.jpg"), 20);
    const QByteArray original = ReadBytes(Src("dot.jpg"));
    const struct stat before = StatOf(Src("dot.jpg"));
    const ImageRunResult run = ImagePipeline::Run(Placed("dot.jpg", place::kInPlace));
    ASSERT_TRUE(run.done) << run.failure;
    EXPECT_TRUE(run.done->sourceKept);
    EXPECT_FALSE(run.done->replacedSource);
    EXPECT_EQ(run.done->freedBytes, 0);
    EXPECT_EQ(ReadBytes(Src("dot.jpg")), original);
    EXPECT_EQ(StatOf(Src("dot.jpg")).st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(Entries(Src("")), QStringList{"dot.jpg"});
    EXPECT_FALSE(QFileInfo::exists(Trash("files")) && !Entries(Trash("files")).isEmpty());
}

TEST_F(ImagePlaceTest, InPlaceATrashThatRefusesFailsTheTaskAndKeepsTheOriginal)
{
    Save(MakeImage("logo:"), "JPEG", Src("a.jpg"), 100);
    const QByteArray original = ReadBytes(Src("a.jpg"));
    ASSERT_TRUE(testenv::WriteFile(qEnvironmentVariable("XDG_DATA_HOME") + "/Trash",
                                   "a file where the trash folder would be"));
    const ImageRunResult run = ImagePipeline::Run(Placed("a.jpg", place::kInPlace));
    EXPECT_FALSE(run.done);
    EXPECT_NE(run.failure.find("trash"), std::string::npos) << run.failure;
    EXPECT_EQ(ReadBytes(Src("a.jpg")), original);
    // No hidden output is left beside it.
    EXPECT_EQ(Entries(Src("")), QStringList{"a.jpg"});
}
