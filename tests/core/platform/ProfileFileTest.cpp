// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/platform/ProfileFile.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <functional>
#include <thread>

using platform::GetPrivateProfileInt;
using platform::GetPrivateProfileString;
using platform::WritePrivateProfileString;

namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    void Write(const QByteArray& content) { ASSERT_TRUE(testenv::WriteFile(m_file, content)); }
    QByteArray Content() const { return testenv::ReadFile(m_file); }
    QString Read(const QString& section, const QString& key, const QString& def = "<default>")
    {
        return GetPrivateProfileString(section, key, def, 260, m_file);
    }

    QTemporaryDir m_dir;
    QString m_file = m_dir.path() + "/test.ini";
};

// ---- Reading strings ----------------------------------------------------------------------

const QByteArray kSample =
    "; a comment at the top\n"
    "[Global]\n"
    "  Name = Alice   \n"
    "quoted=\"  spaced  \"\n"
    "single='x'\n"
    "mismatched=\"abc'\n"
    "empty=\n"
    "dup=first\n"
    "dup=second\n"
    ";commented=yes\n"
    "noequals\n"
    "emoji=a\xF0\x9F\x98\x80"
    "b\n"
    "[other]\n"
    "name=Bob\n"
    "[GLOBAL]\n"
    "late=never seen\n";

struct StringCase {
    const char* name;
    const char* section;
    const char* key;
    const char* defaultValue;
    int capacity;
    QString expected;
};

void PrintTo(const StringCase& c, std::ostream* os)
{
    *os << c.name;
}

class ProfileReadTest : public ProfileFileTest, public ::testing::WithParamInterface<StringCase> {};

TEST_P(ProfileReadTest, ReadsLikeTheWindowsCall)
{
    Write(kSample);
    const StringCase& c = GetParam();
    EXPECT_EQ(GetPrivateProfileString(c.section, c.key, c.defaultValue, c.capacity, m_file),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileReadTest,
    ::testing::Values(
        StringCase{"NamesIgnoreCaseValuesTrimmed", "global", "name", "d", 260, "Alice"},
        StringCase{"DoubleQuotesStrippedInnerBlanksKept", "global", "quoted", "d", 260,
                   "  spaced  "},
        StringCase{"SingleQuotesStripped", "global", "single", "d", 260, "x"},
        StringCase{"MismatchedQuotesKept", "global", "mismatched", "d", 260, "\"abc'"},
        StringCase{"EmptyValueIsNotTheDefault", "global", "empty", "d", 260, ""},
        StringCase{"FirstOfDuplicateKeysWins", "global", "dup", "d", 260, "first"},
        StringCase{"CommentedKeyIsMissing", "global", "commented", "d", 260, "d"},
        StringCase{"LineWithoutEqualsIsNoKey", "global", "noequals", "d", 260, "d"},
        StringCase{"KeyOfAnotherSection", "other", "name", "d", 260, "Bob"},
        StringCase{"OnlyTheFirstSectionOfANameIsSearched", "global", "late", "d", 260, "d"},
        StringCase{"MissingKey", "global", "absent", "fallback", 260, "fallback"},
        StringCase{"CapacityCountsTheTerminator", "global", "name", "d", 4, "Ali"},
        StringCase{"CapacityOneGivesEmpty", "global", "name", "d", 1, ""},
        StringCase{"DefaultIsCutToo", "global", "absent", "abcdef", 3, "ab"},
        StringCase{"CutNeverSplitsASurrogatePair", "global", "emoji", "d", 3, "a"},
        StringCase{"CutKeepsAWholePair", "global", "emoji", "d", 4,
                   QString::fromUtf8("a\xF0\x9F\x98\x80")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProfileFileTest, MissingFileGivesTheDefaults)
{
    EXPECT_EQ(Read("global", "name", "fallback"), "fallback");
    EXPECT_EQ(GetPrivateProfileInt("global", "n", 17, m_file), 17);
}

// ---- Reading integers ---------------------------------------------------------------------

struct IntCase {
    const char* name;
    const char* value;
    int expected;
};

void PrintTo(const IntCase& c, std::ostream* os)
{
    *os << c.name;
}

class ProfileIntTest : public ProfileFileTest, public ::testing::WithParamInterface<IntCase> {};

TEST_P(ProfileIntTest, ReadsLeadingDigits)
{
    Write(QByteArray("[global]\nvalue=") + GetParam().value + "\n");
    EXPECT_EQ(GetPrivateProfileInt("global", "value", 55, m_file), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileIntTest,
    ::testing::Values(IntCase{"Plain", "42", 42}, IntCase{"Negative", "-17", -17},
                      IntCase{"TrailingText", "12abc", 12}, IntCase{"LettersReadZero", "abc", 0},
                      IntCase{"BlankAfterSignReadsZero", "- 5", 0},
                      IntCase{"HexIsNotParsed", "0x1F", 0}, IntCase{"Quoted", "\"7\"", 7},
                      IntCase{"EmptyGivesDefault", "", 55},
                      IntCase{"BlanksOnlyGiveDefault", "   ", 55},
                      IntCase{"IntMin", "-2147483648", INT_MIN},
                      IntCase{"JustAboveIntMaxSaturates", "2147483648", INT_MAX},
                      IntCase{"JustBelowIntMinSaturates", "-2147483649", INT_MIN},
                      IntCase{"HugeSaturates", "99999999999999999999999999", INT_MAX}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Writing ------------------------------------------------------------------------------

TEST_F(ProfileFileTest, WriteCreatesFileAndSection)
{
    ASSERT_TRUE(WritePrivateProfileString("global", "key", "value", m_file));
    EXPECT_EQ(Content(), "[global]\nkey=value\n");
}

TEST_F(ProfileFileTest, WriteReplacesOnlyTheKeyLine)
{
    const QByteArray before =
        "; keep me\n"
        "[Global]\n"
        "Alpha = 1\n"
        "odd line without equals\n"
        "latin1=caf\xE9\n"  // not UTF-8: must survive byte for byte
        "\n"
        "[other]\n"
        "alpha=other\n";
    Write(before);
    ASSERT_TRUE(WritePrivateProfileString("global", "ALPHA", "2", m_file));
    // The existing spelling of the key stays; nothing else moves.
    EXPECT_EQ(Content(), QByteArray(before).replace("Alpha = 1", "Alpha=2"));
}

TEST_F(ProfileFileTest, NewKeysGoToTheEndOfTheirSection)
{
    Write("[global]\na=1\n\n[other]\nb=2");  // no line ending at the end
    ASSERT_TRUE(WritePrivateProfileString("global", "c", "3", m_file));
    ASSERT_TRUE(WritePrivateProfileString("more", "d", "/home/用户/输出", m_file));
    EXPECT_EQ(Content(), "[global]\na=1\nc=3\n\n[other]\nb=2\n\n[more]\nd=/home/用户/输出\n");
    EXPECT_EQ(Read("More", "D"), "/home/用户/输出");
}

TEST_F(ProfileFileTest, CrLfAndByteOrderMarkAreReadAndKept)
{
    Write("\xEF\xBB\xBF[global]\r\na=1\r\n[other]\r\nb=2\r\n");
    EXPECT_EQ(Read("global", "a"), "1");
    EXPECT_EQ(GetPrivateProfileInt("other", "b", 0, m_file), 2);
    ASSERT_TRUE(WritePrivateProfileString("global", "a", "9", m_file));
    ASSERT_TRUE(WritePrivateProfileString("global", "c", "3", m_file));
    ASSERT_TRUE(WritePrivateProfileString("new", "d", "4", m_file));
    EXPECT_EQ(Content(),
              "\xEF\xBB\xBF[global]\r\na=9\r\nc=3\r\n[other]\r\nb=2\r\n\r\n[new]\r\nd=4\r\n");
}

TEST_F(ProfileFileTest, RejectsWhatWouldCorruptTheFile)
{
    const QByteArray before = "[global]\nkey=old\n";
    Write(before);
    EXPECT_FALSE(WritePrivateProfileString("global", "key", "new\n[evil]", m_file));
    EXPECT_FALSE(WritePrivateProfileString("global", "key", "a\rb", m_file));
    EXPECT_FALSE(WritePrivateProfileString("glo\nbal", "key", "v", m_file));
    EXPECT_FALSE(WritePrivateProfileString("global", "a=b", "v", m_file));
    EXPECT_EQ(Content(), before);
}

TEST_F(ProfileFileTest, ReadOnlyFolderFailsAndKeepsTheOldFile)
{
    const QByteArray before = "[global]\nkey=old\n";
    Write(before);
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    bool written = true;
    const bool enforced = testenv::RunUnderFilePermissions(
        m_dir.path(), [&] { written = WritePrivateProfileString("global", "key", "new", m_file); });
    QFile::setPermissions(m_dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (!enforced) GTEST_SKIP() << "file permissions do not bind in this environment";
    EXPECT_FALSE(written);
    EXPECT_EQ(Content(), before);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"test.ini"});
}

TEST_F(ProfileFileTest, UnreadableFileIsNotReplaced)
{
    // A file that cannot be read must not be taken for an empty one and overwritten.
    const QByteArray before = "[global]\nkey=old\n";
    Write(before);
    QFile::setPermissions(m_file, QFileDevice::WriteOwner);
    const QString probeDir = m_dir.path() + "/locked";
    QDir().mkdir(probeDir);
    QFile::setPermissions(probeDir, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    bool written = true;
    QString read;
    const bool enforced = testenv::RunUnderFilePermissions(probeDir, [&] {
        written = WritePrivateProfileString("global", "other", "x", m_file);
        read = Read("global", "key");
    });
    QFile::setPermissions(m_file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!enforced) GTEST_SKIP() << "file permissions do not bind in this environment";
    EXPECT_FALSE(written);
    EXPECT_EQ(read, "<default>");
    EXPECT_EQ(Content(), before);
}

// ---- What is not a small regular file -----------------------------------------------------

// A pipe is never opened for reading (no reader waits on it), /dev/zero and a huge file are never
// read into memory, a folder is no file; none of them is replaced by a write.
TEST_F(ProfileFileTest, WhatIsNoSmallRegularFileIsNeitherReadNorReplaced)
{
    const QByteArray path = QFile::encodeName(m_file);
    for (const testenv::OddFile kind : testenv::kOddFiles) {
        SCOPED_TRACE(testenv::OddFileName(kind));
        ASSERT_TRUE(testenv::MakeOddFile(kind, m_file));
        struct stat before {};
        ASSERT_EQ(::lstat(path.constData(), &before), 0);
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(Read("global", "compress-type"), "<default>");
        EXPECT_EQ(GetPrivateProfileInt("global", "compress-type", 7, m_file), 7);
        EXPECT_FALSE(WritePrivateProfileString("global", "compress-type", "1", m_file));
        const QString reason = platform::UnusedFileReason(m_file);
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_EQ(reason, kind == testenv::OddFile::Folder     ? "Is a directory"
                          : kind == testenv::OddFile::HugeFile ? "larger than 1 MiB"
                                                               : "not a regular file");

        struct stat after {};
        ASSERT_EQ(::lstat(path.constData(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << "the same thing is still there";
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_size, before.st_size);
        EXPECT_EQ(
            QDir(m_dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System),
            QStringList{"test.ini"});
        if (kind == testenv::OddFile::Folder)
            QDir(m_file).removeRecursively();
        else
            QFile::remove(m_file);
    }
    EXPECT_EQ(platform::UnusedFileReason(m_file), "") << "a missing file is no problem";
}

TEST_F(ProfileFileTest, RegularFilesUpToOneMebibyteAreUsedThroughLinksToo)
{
    // A file of exactly the limit is read; one byte more and it is not used at all.
    QByteArray content = "[global]\nkey=value\n;";
    content.append(platform::kMaxFileSize - content.size(), 'x');
    Write(content);
    EXPECT_EQ(Read("global", "key"), "value");
    // A write that would take the file past the limit is refused: the file stays usable.
    EXPECT_FALSE(WritePrivateProfileString("global", "other", "1", m_file));
    EXPECT_EQ(Content(), content);
    Write(content + "x");
    EXPECT_EQ(Read("global", "key"), "<default>");
    EXPECT_EQ(platform::UnusedFileReason(m_file), "larger than 1 MiB");

    // A link to a regular file reads and writes that file and stays a link.
    Write("[global]\nkey=linked\n");
    const QString link = m_dir.path() + "/link.ini";
    ASSERT_TRUE(QFile::link(m_file, link));
    EXPECT_EQ(GetPrivateProfileString("global", "key", "", 260, link), "linked");
    ASSERT_TRUE(WritePrivateProfileString("global", "key", "changed", link));
    EXPECT_EQ(Read("global", "key"), "changed");
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), m_file);
}

// ---- Threads ------------------------------------------------------------------------------

TEST_F(ProfileFileTest, ReadersNeverSeeATornFile)
{
    ASSERT_TRUE(WritePrivateProfileString("global", "counter", "value-0-end", m_file));
    std::atomic<bool> done{false};
    QStringList bad;
    std::thread reader([&] {
        const QRegularExpression complete("^value-(\\d+)-end$");
        for (int last = 0; !done;) {
            const QString counter = Read("global", "counter");
            const auto match = complete.match(counter);
            const int n = match.hasMatch() ? match.captured(1).toInt() : -1;
            if (n < last) bad << counter;  // torn, missing or older than one seen before
            last = qMax(last, n);
        }
    });
    bool written = true;
    for (int i = 1; i <= 150 && written; ++i) {
        // Each round also grows the file, so a torn copy would end somewhere new each time.
        written =
            WritePrivateProfileString("global", QString("key%1").arg(i), QString(i, u'x'),
                                      m_file) &&
            WritePrivateProfileString("global", "counter", QString("value-%1-end").arg(i), m_file);
    }
    done = true;
    reader.join();
    EXPECT_TRUE(written);
    EXPECT_EQ(bad, QStringList());
    EXPECT_EQ(Read("global", "counter"), "value-150-end");
}

TEST_F(ProfileFileTest, ConcurrentWritersLoseNothing)
{
    constexpr int kKeys = 60;
    auto writeKeys = [&](QString prefix) {
        for (int i = 0; i < kKeys; ++i)
            WritePrivateProfileString("global", prefix + QString::number(i), prefix, m_file);
    };
    std::thread a(writeKeys, QString("a"));
    std::thread b(writeKeys, QString("b"));
    a.join();
    b.join();
    for (int i = 0; i < kKeys; ++i) {
        EXPECT_EQ(Read("global", "a" + QString::number(i)), "a");
        EXPECT_EQ(Read("global", "b" + QString::number(i)), "b");
    }
}

}  // namespace
