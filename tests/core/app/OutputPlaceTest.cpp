// SPDX-License-Identifier: GPL-3.0-or-later
// Where outputs go: the folder and name each place gives, suffixes that cannot be used, and the
// swap of an output for its source through the real desktop trash (under the test's home), with
// each step made to fail.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include "core/app/OutputPlace.h"
#include "support/TestEnv.h"

#include <cerrno>

namespace {

QString TrashFolder()
{
    return qEnvironmentVariable("XDG_DATA_HOME") + "/Trash";
}

QStringList Names(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

PlaceChoice Choice(int place, const QString& suffix = "_small")
{
    return {place, suffix};
}

}  // namespace

TEST(OutputPlaceTest, EachPlaceGivesItsFolderAndName)
{
    struct Case {
        int place;
        const char* source;
        const char* root;
        const char* extension;
        const char* folder;
        const char* base;
        const char* outputExtension;
    };
    const Case cases[] = {
        // Flat: the output folder exactly as given, the source's base.
        {place::kFlat, "/in/photos/2023/a.jpg", "/in/photos", "jpg", "/out", "a", "jpg"},
        // Tree: the added folder's own name and the folders below it.
        {place::kTree, "/in/photos/2023/may/a.jpg", "/in/photos", "jpg", "/out/photos/2023/may",
         "a", "jpg"},
        {place::kTree, "/in/photos/a.jpg", "/in/photos/", "jpg", "/out/photos", "a", "jpg"},
        // A file added by itself, or one that is not below the folder, goes flat.
        {place::kTree, "/in/photos/a.jpg", "", "jpg", "/out", "a", "jpg"},
        {place::kTree, "/in/photosets/a.jpg", "/in/photos", "jpg", "/out", "a", "jpg"},
        // Beside: the source's folder, the suffix before the extension.
        {place::kBeside, "/in/photos/a.b.png", "", "webp", "/in/photos", "a.b_small", "webp"},
        // In place: the source's folder and name; the same format keeps its spelling.
        {place::kInPlace, "/in/A.JPG", "", "jpg", "/in", "A", "JPG"},
        {place::kInPlace, "/in/a.jpeg", "", "jpg", "/in", "a", "jpeg"},
        {place::kInPlace, "/in/a.tif", "", "tiff", "/in", "a", "tif"},
        {place::kInPlace, "/in/a.png", "", "webp", "/in", "a", "webp"},
        {place::kInPlace, "/in/clip.avi", "", "mp4", "/in", "clip", "mp4"},
        {place::kInPlace, "/in/noext", "", "jpg", "/in", "noext", "jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " place " + std::to_string(c.place));
        const OutputTarget target =
            PlanOutputTarget(Choice(c.place), "/out", c.source, c.root, c.extension);
        EXPECT_EQ(target.folder, c.folder);
        EXPECT_EQ(target.baseName, c.base);
        EXPECT_EQ(target.extension, c.outputExtension);
        EXPECT_EQ(target.replacesSource, c.place == place::kInPlace);
        EXPECT_TRUE(target.error.isEmpty());
    }
    // Flat keeps today's folder text, a trailing "/" included, so names stay byte for byte.
    EXPECT_EQ(PlanOutputTarget(Choice(place::kFlat), "/out/", "/in/a.jpg", "", "jpg").folder,
              "/out/");
}

TEST(OutputPlaceTest, SuffixesThatCannotNameAnOutputAreRefused)
{
    for (const QString& bad : {QString(), QString("."), QString(".."), QString("..."),
                               QString("a/b"), QString("/"), QString("x") + QChar(0)}) {
        SCOPED_TRACE(bad.toStdString());
        EXPECT_FALSE(PlaceSuffixProblem(bad).isEmpty());
        const OutputTarget target =
            PlanOutputTarget(Choice(place::kBeside, bad), "/out", "/in/a.jpg", "", "jpg");
        EXPECT_FALSE(target.error.isEmpty());
    }
    for (const char* good : {"_small", ".min", "-1", " copy", "小"})
        EXPECT_TRUE(PlaceSuffixProblem(QString::fromUtf8(good)).isEmpty()) << good;
}

TEST(OutputPlaceTest, TreeFoldersAreMadeAndAFileInTheWayIsReported)
{
    QTemporaryDir work;
    QString error;
    EXPECT_TRUE(MakeTargetFolder(work.filePath("out/photos/2023"), &error));
    EXPECT_TRUE(QFileInfo(work.filePath("out/photos/2023")).isDir());
    ASSERT_TRUE(testenv::WriteFile(work.filePath("out/file"), "x"));
    EXPECT_FALSE(MakeTargetFolder(work.filePath("out/file/2023"), &error));
    EXPECT_TRUE(error.contains("out/file/2023")) << error.toStdString();
}

class ReplaceSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(work_.isValid());
        source_ = work_.filePath("photo.png");
        hidden_ = work_.filePath(".lumo-0123456789abcdef.part");
        ASSERT_TRUE(testenv::WriteFile(source_, original_));
        ASSERT_TRUE(testenv::WriteFile(hidden_, compressed_));
    }
    OutputTarget Target(const QString& extension) const
    {
        return PlanOutputTarget(Choice(place::kInPlace), "/unused", source_, "", extension);
    }

    QTemporaryDir work_;
    QString source_;
    QString hidden_;
    const QByteArray original_ = QByteArray("the original picture, ") + QByteArray(4000, 'o');
    const QByteArray compressed_ = "the smaller one";
};

TEST_F(ReplaceSourceTest, OriginalGoesToTheTrashAndTheOutputTakesItsName)
{
    const ReplaceOutcome outcome = ReplaceSource(source_, hidden_, Target("png"));
    ASSERT_TRUE(outcome.error.isEmpty()) << outcome.error.toStdString();
    EXPECT_EQ(outcome.outputPath, source_);
    EXPECT_EQ(outcome.sourceBytes, original_.size());
    EXPECT_EQ(testenv::ReadFile(source_), compressed_);
    EXPECT_EQ(Names(work_.path()), QStringList{"photo.png"});

    // The trash of the test's home holds the original, byte for byte, with its record.
    const QString trashed = TrashFolder() + "/files/photo.png";
    EXPECT_EQ(QFileInfo(outcome.trashedPath).absoluteFilePath(), trashed);
    EXPECT_EQ(testenv::ReadFile(trashed), original_);
    const QString info =
        QString::fromUtf8(testenv::ReadFile(TrashFolder() + "/info/photo.png.trashinfo"));
    const QStringList lines = info.split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 3) << info.toStdString();
    EXPECT_EQ(lines[0], "[Trash Info]");
    ASSERT_TRUE(lines[1].startsWith("Path=")) << info.toStdString();
    EXPECT_EQ(QUrl::fromPercentEncoding(lines[1].mid(5).toUtf8()),
              QFileInfo(source_).absoluteFilePath());
    EXPECT_TRUE(lines[2].startsWith("DeletionDate=20")) << info.toStdString();
}

TEST_F(ReplaceSourceTest, AnotherFormatTakesItsOwnExtensionAndNeverATakenName)
{
    ASSERT_TRUE(testenv::WriteFile(work_.filePath("photo.webp"), "someone else's"));
    const ReplaceOutcome outcome = ReplaceSource(source_, hidden_, Target("webp"));
    ASSERT_TRUE(outcome.error.isEmpty()) << outcome.error.toStdString();
    EXPECT_EQ(outcome.outputPath, work_.filePath("photo(2).webp"));
    EXPECT_EQ(testenv::ReadFile(work_.filePath("photo.webp")), "someone else's");
    EXPECT_EQ(testenv::ReadFile(outcome.outputPath), compressed_);
    EXPECT_FALSE(QFileInfo::exists(source_));
    EXPECT_EQ(testenv::ReadFile(TrashFolder() + "/files/photo.png"), original_);
}

TEST_F(ReplaceSourceTest, ATrashThatRefusesLeavesTheOriginalAndRemovesTheOutput)
{
    // The trash cannot be made: a file stands where its folder would be.
    ASSERT_TRUE(testenv::WriteFile(TrashFolder(), "not a folder"));
    const ReplaceOutcome outcome = ReplaceSource(source_, hidden_, Target("png"));
    EXPECT_TRUE(outcome.outputPath.isEmpty());
    EXPECT_TRUE(outcome.error.contains("trash")) << outcome.error.toStdString();
    EXPECT_EQ(testenv::ReadFile(source_), original_);
    EXPECT_EQ(Names(work_.path()), QStringList{"photo.png"});
}

TEST_F(ReplaceSourceTest, AReadOnlyTrashLeavesTheOriginal)
{
    ASSERT_TRUE(QDir().mkpath(TrashFolder() + "/files"));
    ASSERT_TRUE(QDir().mkpath(TrashFolder() + "/info"));
    for (const char* folder : {"/files", "/info"})
        ASSERT_TRUE(
            QFile::setPermissions(TrashFolder() + folder, QFile::ReadOwner | QFile::ExeOwner));
    ReplaceOutcome outcome;
    const bool ran = testenv::RunUnderFilePermissions(TrashFolder() + "/files", [&] {
        outcome = ReplaceSource(source_, hidden_, Target("png"));
    });
    for (const char* folder : {"/files", "/info"})
        QFile::setPermissions(TrashFolder() + folder,
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!ran) GTEST_SKIP() << "file permissions do not hold here";
    EXPECT_TRUE(outcome.outputPath.isEmpty());
    EXPECT_EQ(testenv::ReadFile(source_), original_);
    EXPECT_EQ(Names(work_.path()), QStringList{"photo.png"});
    EXPECT_TRUE(Names(TrashFolder() + "/files").isEmpty());
    EXPECT_TRUE(Names(TrashFolder() + "/info").isEmpty());
}

TEST_F(ReplaceSourceTest, ARenameThatFailsAfterTheTrashPutsTheOriginalBack)
{
    int calls = 0;
    const auto refuse = [&](const QString&, const QString&) {
        ++calls;
        errno = EACCES;
        return false;
    };
    const ReplaceOutcome outcome = ReplaceSource(source_, hidden_, Target("png"), refuse);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(outcome.outputPath.isEmpty());
    EXPECT_TRUE(outcome.error.contains("put back")) << outcome.error.toStdString();
    // Back under its name, byte for byte, and nothing of it left in the trash.
    EXPECT_EQ(testenv::ReadFile(source_), original_);
    EXPECT_EQ(Names(work_.path()), QStringList{"photo.png"});
    EXPECT_TRUE(Names(TrashFolder() + "/files").isEmpty());
    EXPECT_TRUE(Names(TrashFolder() + "/info").isEmpty());
}

TEST_F(ReplaceSourceTest, ASourceGoneBeforeTheSwapIsNotReplaced)
{
    ASSERT_TRUE(QFile::remove(source_));
    const ReplaceOutcome outcome = ReplaceSource(source_, hidden_, Target("png"));
    EXPECT_TRUE(outcome.outputPath.isEmpty());
    EXPECT_FALSE(outcome.error.isEmpty());
    EXPECT_TRUE(Names(work_.path()).isEmpty());
}
