// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "core/app/FileDates.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct stat StatOf(const QString& path, bool follow = true)
{
    struct stat info {};
    const QByteArray native = QFile::encodeName(path);
    EXPECT_EQ(follow ? ::stat(native.constData(), &info) : ::lstat(native.constData(), &info), 0);
    return info;
}

void Touch(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
}

}  // namespace

TEST(FileDatesTest, TargetTakesBothTimesToTheNanosecond)
{
    QTemporaryDir dir;
    const QString source = dir.filePath("source"), target = dir.filePath("target");
    Touch(source);
    Touch(target);
    // Access and modification times apart, in the past, with odd nanoseconds.
    const struct timespec past[2] = {{981173045, 123456789}, {981000000, 987654321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(source).constData(), past, 0), 0);

    QString error;
    ASSERT_TRUE(CopyFileDates(source, target, &error)) << error.toStdString();
    const struct stat copied = StatOf(target);
    EXPECT_EQ(copied.st_atim.tv_sec, past[0].tv_sec);
    EXPECT_EQ(copied.st_atim.tv_nsec, past[0].tv_nsec);
    EXPECT_EQ(copied.st_mtim.tv_sec, past[1].tv_sec);
    EXPECT_EQ(copied.st_mtim.tv_nsec, past[1].tv_nsec);
}

TEST(FileDatesTest, FailuresAreReportedAndLinksInTheTargetsPlaceNotFollowed)
{
    QTemporaryDir dir;
    const QString source = dir.filePath("source"), other = dir.filePath("other");
    Touch(source);
    Touch(other);
    const struct timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(source).constData(), past, 0), 0);

    QString error;
    EXPECT_FALSE(CopyFileDates(dir.filePath("missing"), other, &error));
    EXPECT_TRUE(error.contains("missing")) << error.toStdString();
    EXPECT_FALSE(CopyFileDates(source, dir.filePath("gone/target"), &error));
    EXPECT_TRUE(error.contains("gone/target")) << error.toStdString();

    // A link put where the output was: the link's own times change, never its target's.
    const QString link = dir.filePath("link");
    ASSERT_EQ(::symlink(QFile::encodeName(other).constData(), QFile::encodeName(link).constData()),
              0);
    const struct stat before = StatOf(other);
    EXPECT_TRUE(CopyFileDates(source, link));
    EXPECT_EQ(StatOf(other).st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(StatOf(link, false).st_mtim.tv_sec, past[1].tv_sec);
}
