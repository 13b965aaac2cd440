// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/TextUtil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// ---- SavingPercent and FormatSaving --------------------------------------------------------

TEST(SavingTest, PercentOfTheSourceInSinglePrecision)
{
    EXPECT_FLOAT_EQ(SavingPercent(1000, 250), 75.0f);
    EXPECT_FLOAT_EQ(SavingPercent(1000, 1500), -50.0f);
    EXPECT_FLOAT_EQ(SavingPercent(0, 10), 0.0f);
    EXPECT_FLOAT_EQ(SavingPercent(-5, 10), 0.0f);
    // The difference is taken in 64 bits before it becomes a float: sizes past 2^24 that differ
    // by one byte save a tiny share rather than nothing.
    EXPECT_GT(SavingPercent((qint64{1} << 40) + 1, qint64{1} << 40), 0.0f);
    EXPECT_EQ(FormatSaving(-50), "-50.00%");
    EXPECT_EQ(FormatSaving(SavingPercent(3000, 1000)), "66.67%");
}

// ---- FormatSize ---------------------------------------------------------------------------

struct SizeCase {
    qint64 bytes;
    const char* expected;
};

void PrintTo(const SizeCase& c, std::ostream* os)
{
    *os << c.bytes;
}

class FormatSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(FormatSizeTest, Formats)
{
    EXPECT_EQ(FormatSize(GetParam().bytes).toStdString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Borders, FormatSizeTest,
    ::testing::Values(SizeCase{0, "0B"}, SizeCase{1023, "1023B"}, SizeCase{-1, "-1B"},
                      SizeCase{-5000, "-5000B"}, SizeCase{1024, "1KB"},
                      SizeCase{2047, "1KB"},  // rounded down, not to the nearest
                      SizeCase{1048575, "1023KB"}, SizeCase{1048576, "1.00M"},
                      SizeCase{1572864, "1.50M"}, SizeCase{5347737, "5.10M"},
                      SizeCase{1073741823, "1024.00M"},  // the float rounds up, the unit stays
                      SizeCase{1073741824, "1.00G"}, SizeCase{1610612736, "1.50G"},
                      // 2^47 + 2^23 - 1 is 131072.0078 GiB, but its float is 2^47 exactly.
                      SizeCase{140737496743935, "131072.00G"}));

// ---- SplitString --------------------------------------------------------------------------

struct SplitCase {
    const char* name;
    std::string text;
    std::string delimiters;
    std::vector<std::string> expected;
};

void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << c.name;
}

class SplitStringTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitStringTest, CutsLikeStrtok)
{
    EXPECT_EQ(SplitString(GetParam().text, GetParam().delimiters), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitStringTest,
    ::testing::Values(
        SplitCase{"EmptyPiecesDropped", "a,,b,", ",", {"a", "b"}},
        SplitCase{"LeadingDelimitersDropped", ",,a", ",", {"a"}},
        SplitCase{"EmptyText", "", ",", {}}, SplitCase{"OnlyDelimiters", ",;,;", ",;", {}},
        SplitCase{
            "SeveralDelimiterChars", "1920x1080;30 fps", "x; ", {"1920", "1080", "30", "fps"}},
        SplitCase{"NoDelimiterInText", "whole", ",", {"whole"}},
        SplitCase{"EmptyDelimiterSet", "a,b", "", {"a,b"}},
        SplitCase{"MultiByteTextKept", "视频,图片", ",", {"视频", "图片"}},
        SplitCase{"TextEndsAtZeroByte", std::string("a,b\0,c", 6), ",", {"a", "b"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Encodings ----------------------------------------------------------------------------

TEST(TextConversionTest, RoundTripsAnyScript)
{
    const QString wide = QString::fromUtf8("视频 файл \xF0\x9F\x98\x80.mp4");
    const std::string narrow = WideToAnsi(wide);
    EXPECT_EQ(narrow, "视频 файл \xF0\x9F\x98\x80.mp4");
    EXPECT_EQ(AnsiToWide(narrow), wide);
    EXPECT_EQ(AnsiToUtf8(narrow), narrow);
}

TEST(TextConversionTest, AnsiToUtf8AlwaysGivesValidUtf8)
{
    // A stray Latin-1 byte would break the JSON it is sent in; it becomes U+FFFD.
    EXPECT_EQ(AnsiToUtf8("caf\xE9"), "caf\xEF\xBF\xBD");
}

TEST(DebugPrintTest, WritesFormattedTextToStandardOutput)
{
    testing::internal::CaptureStdout();
    DebugPrint("idleTaskList task_id: %d %s\n", 7, "视频");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "idleTaskList task_id: 7 视频\n");
}

}  // namespace
