#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/video/OutputNameResolver.h"
#include "support/Printers.h"
#include "support/TestEnv.h"

namespace {

class OutputNameResolverTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return dir.path() + "/" + name; }

    QTemporaryDir dir{testenv::Home() + "/out-XXXXXX"};
};

TEST_F(OutputNameResolverTest, CandidatesNumberFromTwo)
{
    const OutputNameResolver resolver("/out/", "my.clip.v2.avi", "mp4");
    EXPECT_EQ(resolver.Candidate(1), "/out/my.clip.v2.mp4");
    EXPECT_EQ(resolver.Candidate(2), "/out/my.clip.v2(2).mp4");
    EXPECT_EQ(resolver.Candidate(11), "/out/my.clip.v2(11).mp4");
    EXPECT_EQ(OutputNameResolver("/", "noext", "mkv").Candidate(1), "/noext.mkv");
}

TEST_F(OutputNameResolverTest, NamesOtherTasksReservedAreSkipped)
{
    const OutputNameResolver resolver(dir.path(), "clip.ts", "ts");
    QString error;
    const QString claimed = resolver.Claim(
        [&](const QString& path) { return path == Path("clip.ts") || path == Path("clip(2).ts"); },
        &error);
    EXPECT_EQ(claimed, Path("clip(3).ts"));
}

TEST_F(OutputNameResolverTest, AnyDirectoryEntryCountsAsTaken)
{
    // A dangling link: writing through it would create a file elsewhere.
    ASSERT_TRUE(QFile::link(Path("missing-target"), Path("clip.mp4")));
    QDir(dir.path()).mkdir("clip(2).mp4");
    EXPECT_TRUE(OutputNameResolver::EntryExists(Path("clip.mp4")));
    const OutputNameResolver resolver(dir.path(), "clip.mp4", "mp4");
    EXPECT_EQ(resolver.Resolve(&OutputNameResolver::EntryExists), Path("clip(3).mp4"));
    QString error;
    EXPECT_EQ(resolver.Claim({}, &error), Path("clip(3).mp4"));
    EXPECT_FALSE(QFile::exists(Path("missing-target")));
}

TEST_F(OutputNameResolverTest, FolderThatCannotBeWrittenGivesAnError)
{
    const OutputNameResolver resolver(Path("no/such/folder"), "clip.mp4", "mp4");
    QString error;
    EXPECT_TRUE(resolver.Claim({}, &error).isEmpty());
    EXPECT_TRUE(error.contains("clip.mp4")) << error.toStdString();
}

}  // namespace
