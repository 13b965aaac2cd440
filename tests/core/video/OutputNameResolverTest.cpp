// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

#include "core/app/OutputName.h"
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

namespace {

int Bytes(const QString& path)
{
    return static_cast<int>(QFile::encodeName(path.mid(path.lastIndexOf(u'/') + 1)).size());
}

// A name of 254 or 255 bytes has no room for its "(2)": the base is cut, never inside a
// character, so that the numbered name and the hidden temporary name fit in 255 bytes.
TEST_F(OutputNameResolverTest, LongNamesAreCutAtCharacterBoundariesToFit)
{
    // "é" takes two bytes, "𝄞" four (a surrogate pair in UTF-16): cuts land between them.
    for (const QString& unit : {QString("a"), QString("é"), QString("𝄞"), QString("中")}) {
        QString base;
        while ((base + unit).toUtf8().size() <= 251) base += unit;
        while (base.toUtf8().size() < 251) base += u'x';
        SCOPED_TRACE(unit.toStdString());
        ASSERT_EQ((base + ".mp4").toUtf8().size(), 255);
        const OutputNameResolver resolver(dir.path(), base + ".mkv", "mp4");
        EXPECT_EQ(resolver.Candidate(1), Path(base + ".mp4")) << "a name that fits stays whole";
        for (int n : {2, 10, 12345}) {
            const QString numbered = resolver.Candidate(n);
            EXPECT_LE(Bytes(numbered), 255);
            EXPECT_GE(Bytes(numbered), 251);
            const QString name = numbered.mid(dir.path().size() + 1);
            EXPECT_EQ(QString::fromUtf8(name.toUtf8()), name) << "valid UTF-8 throughout";
            EXPECT_FALSE(name.contains(QChar::ReplacementCharacter));
            EXPECT_TRUE(base.startsWith(name.left(name.indexOf(u'('))));
            EXPECT_TRUE(name.endsWith(QString("(%1).mp4").arg(n)));
            EXPECT_LE(Bytes(OutputPartCandidate(dir.path(), base, "mp4", n)), 255);
        }
        // And the file system takes them: claimed, published, twice.
        for (int round = 1; round <= 2; ++round) {
            QString error;
            const OutputNameResolver::PartClaim claim = resolver.ClaimPart({}, &error);
            ASSERT_FALSE(claim.path.isEmpty()) << error.toStdString();
            EXPECT_EQ(resolver.Publish(claim, {}, &error), resolver.Candidate(round))
                << error.toStdString();
            ::close(claim.lockFd);
        }
    }
}

TEST_F(OutputNameResolverTest, TemporaryNameIsHiddenAndKeepsTheExtension)
{
    const OutputNameResolver resolver(dir.path(), "clip.avi", "mp4");
    QString error;
    const OutputNameResolver::PartClaim claim = resolver.ClaimPart({}, &error);
    EXPECT_EQ(claim.path, Path("clip.mp4"));
    EXPECT_EQ(claim.partPath, Path(".clip.lumo-part.mp4"));
    EXPECT_TRUE(QFile::exists(claim.partPath));
    EXPECT_FALSE(QFile::exists(claim.path)) << "the final name is not taken before the end";
    // A second claim while the first is open takes the next name.
    const OutputNameResolver::PartClaim second = resolver.ClaimPart({}, &error);
    EXPECT_EQ(second.partPath, Path(".clip(2).lumo-part.mp4"));

    // Someone else took "clip.mp4" meanwhile: the first output goes to the next free name
    // (the second claim's name is reserved), and the other file is untouched.
    ASSERT_TRUE(testenv::WriteFile(Path("clip.mp4"), "theirs"));
    const auto reserved = [&](const QString& path) { return path == second.path; };
    EXPECT_EQ(resolver.Publish(claim, reserved, &error), Path("clip(3).mp4"));
    EXPECT_EQ(testenv::ReadFile(Path("clip.mp4")), "theirs");
    EXPECT_FALSE(QFile::exists(claim.partPath));
    ::close(claim.lockFd);
    ::close(second.lockFd);
}

}  // namespace
