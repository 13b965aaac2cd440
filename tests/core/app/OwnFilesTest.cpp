// SPDX-License-Identifier: GPL-3.0-or-later
// The record of the program's own temporary files, with real second processes: what a killed
// run recorded goes, and nothing else does.
#include "core/app/OwnFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "core/app/OwnFilesHelperProcess.h"
#include "support/TestEnv.h"

namespace {

class OwnFilesTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return dir_.path() + "/" + name; }
    void Make(const QString& name, qint64 secondsAgo = 3600)
    {
        ASSERT_TRUE(testenv::WriteFile(Path(name), "bytes"));
        ASSERT_TRUE(testenv::SetModifiedAgo(Path(name), secondsAgo));
    }
    QStringList Entries() const
    {
        return QDir(dir_.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    static QStringList Journals()
    {
        return QDir(OwnFiles::JournalFolder()).entryList(QDir::Files | QDir::Hidden);
    }

    QTemporaryDir dir_;
};

// A run killed mid-way left a partial output and a pass-log folder: both go. A file of the same
// name made since (another inode), a source of the batch and a file named like ours that no run
// recorded all stay, and so do they at the next start.
TEST_F(OwnFilesTest, WhatAKilledRunRecordedIsRemovedAndNothingElse)
{
    Make(".clip.lumo-part.mp4");
    ASSERT_TRUE(QDir().mkpath(Path("passlog-1")));
    Make("passlog-1/x-0.log");
    Make("passlog-1/x-0.log.mbtree");
    Make(".replaced.lumo-part.mp4");
    Make(".source.lumo-part.mp4");
    Make(".stray.lumo-part.mp4");
    {
        testenv::OwnFilesRun killed({Path(".clip.lumo-part.mp4"), Path("passlog-1"),
                                     Path(".replaced.lumo-part.mp4"),
                                     Path(".source.lumo-part.mp4")});
        ASSERT_TRUE(killed.Ready());
        killed.Kill();
    }
    ASSERT_TRUE(testenv::SetModifiedAgo(Path("passlog-1"), 3600));
    ASSERT_TRUE(QFile::remove(Path(".replaced.lumo-part.mp4")));
    Make(".replaced.lumo-part.mp4");
    ASSERT_EQ(Journals().size(), 1);

    EXPECT_EQ(OwnFiles::CleanLeftovers({Path(".source.lumo-part.mp4")}), 2);
    const QStringList survivors = {".replaced.lumo-part.mp4", ".source.lumo-part.mp4",
                                   ".stray.lumo-part.mp4"};
    EXPECT_EQ(Entries(), survivors);
    EXPECT_EQ(Journals(), QStringList()) << "the ended run's journal was not removed";
    EXPECT_EQ(OwnFiles::CleanLeftovers(), 0);
    EXPECT_EQ(Entries(), survivors);
}

// Files of a program that still runs stay however old, and so do a dead run's files that were
// changed after this process started or that someone holds a lock on; those go at a later
// start, once they are old and free. A run that ended normally leaves no record at all.
TEST_F(OwnFilesTest, FilesOfARunningProgramAndFreshOrLockedFilesStay)
{
    Make("running.part");
    Make("fresh.part", 0);
    Make("locked.part");
    testenv::OwnFilesRun running({Path("running.part")});
    ASSERT_TRUE(running.Ready());
    {
        testenv::OwnFilesRun killed({Path("fresh.part"), Path("locked.part")});
        ASSERT_TRUE(killed.Ready());
        killed.Kill();
    }
    const int lock = ::open(QFile::encodeName(Path("locked.part")).constData(), O_RDONLY);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    ASSERT_TRUE(testenv::SetModifiedAgo(Path("fresh.part"), -2));

    EXPECT_EQ(OwnFiles::CleanLeftovers(), 0);
    EXPECT_EQ(Entries(), (QStringList{"fresh.part", "locked.part", "running.part"}));
    EXPECT_EQ(Journals().size(), 2);

    ASSERT_TRUE(running.Finish());
    EXPECT_EQ(Journals().size(), 1) << "a run that forgot its files left its journal";
    ::close(lock);
    ASSERT_TRUE(testenv::SetModifiedAgo(Path("fresh.part"), 60));
    EXPECT_EQ(OwnFiles::CleanLeftovers(), 2);
    EXPECT_EQ(Entries(), QStringList{"running.part"});
    EXPECT_EQ(Journals(), QStringList());
}

// This process's own records: kept while the file is in use (its journal is locked, so no
// cleaner takes them for a dead run's, this process's own included), gone when forgotten.
TEST_F(OwnFilesTest, ARecordLastsAsLongAsItsOwner)
{
    Make(".mine.lumo-part.mkv");
    {
        OwnFiles::Record record(Path(".mine.lumo-part.mkv"));
        ASSERT_TRUE(record.Registered());
        EXPECT_EQ(Journals().size(), 1);
        EXPECT_EQ(OwnFiles::CleanLeftovers(), 0);
        EXPECT_TRUE(QFile::exists(Path(".mine.lumo-part.mkv")));
        OwnFiles::Record moved = std::move(record);
        EXPECT_FALSE(record.Registered());
        EXPECT_EQ(Journals().size(), 1);
    }
    EXPECT_EQ(Journals(), QStringList());
    EXPECT_FALSE(OwnFiles::Record(Path("missing")).Registered());
    EXPECT_EQ(Journals(), QStringList());
}

}  // namespace
