// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QByteArray>

#include "core/video/FfmpegOutputParser.h"

namespace {

using Kind = FfmpegEvent::Kind;

// What ffmpeg 5.1 printed for a 2-second clip (library lines shortened), progress lines ending
// in "\r" as it writes them.
const QByteArray kRecorded =
    "Input #0, avi, from '/tmp/fx/clip.avi':\n"
    "  Metadata:\n"
    "    software        : Lavf59.27.100\n"
    "  Duration: 00:00:02.04, start: 0.000000, bitrate: 192 kb/s\n"
    "  Stream #0:0: Video: mpeg4 (Simple Profile) (FMP4 / 0x34504D46), yuv420p, 64x64, 25 fps\n"
    "  Stream #0:1: Audio: aac (LC) ([255][0][0][0] / 0x00FF), 44100 Hz, mono, fltp, 69 kb/s\n"
    "Stream mapping:\n"
    "  Stream #0:0 -> #0:0 (mpeg4 (native) -> h264 (libx264))\n"
    "Press [q] to stop, [?] for help\n"
    "Output #0, mp4, to 'out.mp4':\n"
    "frame=    1 fps=0.0 q=0.0 size=       0kB time=00:00:00.06 bitrate=   5.5kbits/s "
    "speed=10.5x    \r"
    "frame=   51 fps=0.0 q=-1.0 Lsize=      61kB time=00:00:02.04 bitrate= 243.4kbits/s dup=1 "
    "drop=0 speed=42.9x    \n"
    "video:26kB audio:32kB subtitle:0kB other streams:0kB global headers:0kB muxing overhead: "
    "4.560513%\n"
    "[aac @ 0x55849b681980] Qavg: 9592.333\n";

std::vector<FfmpegEvent> FeedAll(FfmpegOutputParser& parser, const std::vector<QByteArray>& chunks,
                                 qint64 stepMs = 0)
{
    std::vector<FfmpegEvent> all;
    qint64 now = 0;
    for (const QByteArray& chunk : chunks) {
        for (const FfmpegEvent& event : parser.Feed(chunk, now)) all.push_back(event);
        now += stepMs;
    }
    for (const FfmpegEvent& event : parser.Finish(now)) all.push_back(event);
    return all;
}

std::vector<Kind> Kinds(const std::vector<FfmpegEvent>& events)
{
    std::vector<Kind> kinds;
    for (const FfmpegEvent& event : events) kinds.push_back(event.kind);
    return kinds;
}

struct ClockCase {
    const char* text;
    qint64 ms;
};

void PrintTo(const ClockCase& c, std::ostream* out)
{
    *out << c.text;
}

class ParseClockTest : public ::testing::TestWithParam<ClockCase> {};

TEST_P(ParseClockTest, ReadsHoursMinutesSecondsAndHundredthsAsTheyStand)
{
    EXPECT_EQ(FfmpegOutputParser::ParseClock(GetParam().text), GetParam().ms);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ParseClockTest,
    ::testing::Values(ClockCase{"00:01:30.50", 90050}, ClockCase{"00:00:02.04", 2004},
                      ClockCase{"01:00:00.00", 3600000}, ClockCase{"100:00:00.00", 360000000},
                      ClockCase{"00:00:05", 5000}, ClockCase{"N/A", 0}, ClockCase{"", 0},
                      ClockCase{"-577014:32:22.77",
                                -577014LL * 3600000 + 32 * 60000 + 22 * 1000 + 77}));

struct PercentCase {
    qint64 time;
    qint64 duration;
    int percent;
};

void PrintTo(const PercentCase& c, std::ostream* out)
{
    *out << c.time << " of " << c.duration;
}

class PercentTest : public ::testing::TestWithParam<PercentCase> {};

TEST_P(PercentTest, IsTruncatedAndStaysWithinZeroAndHundred)
{
    EXPECT_EQ(FfmpegOutputParser::Percent(GetParam().time, GetParam().duration),
              GetParam().percent);
}

INSTANTIATE_TEST_SUITE_P(Values, PercentTest,
                         ::testing::Values(PercentCase{45000, 90050, 49},
                                           PercentCase{90050, 90050, 100}, PercentCase{0, 90050, 0},
                                           PercentCase{-2077249889023LL, 90050, 0},
                                           PercentCase{4000, 40, 100},  // a wrong duration
                                           PercentCase{500, 0, 0},      // "Duration: N/A"
                                           PercentCase{500, -10, 0}));

TEST(FfmpegOutputParserTest, RecordedOutputGivesDurationProgressAndDone)
{
    FfmpegOutputParser parser(0);
    const auto events = FeedAll(parser, {kRecorded});
    // One chunk: only its first "time=" is reported.
    const std::vector<FfmpegEvent> expected = {
        {Kind::Duration, 2004, 0}, {Kind::Progress, 6, 0}, {Kind::Done, 0, 0}};
    EXPECT_EQ(events, expected);
    EXPECT_TRUE(parser.DoneSeen());
    EXPECT_FALSE(parser.FailedSeen());
}

// Whatever byte a read boundary falls on, no value is read half and no marker is missed.
TEST(FfmpegOutputParserTest, EverySplitPointGivesTheSameFacts)
{
    for (qsizetype cut = 1; cut < kRecorded.size(); ++cut) {
        SCOPED_TRACE(cut);
        FfmpegOutputParser parser(0);
        const auto events = FeedAll(parser, {kRecorded.left(cut), kRecorded.mid(cut)});
        int durations = 0;
        int dones = 0;
        for (const FfmpegEvent& event : events) {
            switch (event.kind) {
                case Kind::Duration:
                    ++durations;
                    EXPECT_EQ(event.ms, 2004);
                    break;
                case Kind::Progress:
                    EXPECT_TRUE(event.ms == 6 || event.ms == 2004) << event.ms;
                    break;
                case Kind::Done:
                    ++dones;
                    break;
                case Kind::Failed:
                    ADD_FAILURE() << "no failure was printed";
                    break;
            }
        }
        EXPECT_EQ(durations, 1);
        EXPECT_EQ(dones, 1);
    }
}

TEST(FfmpegOutputParserTest, DurationCutByAReadIsCompletedByTheNext)
{
    FfmpegOutputParser parser(0);
    EXPECT_TRUE(parser.Feed("Input #0\n  Duration: 00:0", 0).empty());
    EXPECT_FALSE(parser.DurationKnown());
    const auto events = parser.Feed("1:30.50, start: 0.000000, bitrate: 192 kb/s\n", 0);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], (FfmpegEvent{Kind::Duration, 90050, 0}));
    EXPECT_EQ(parser.Feed("frame=1 time=00:00:45.00 bitrate=1\r", 0),
              (std::vector<FfmpegEvent>{{Kind::Progress, 45000, 49}}));
}

TEST(FfmpegOutputParserTest, SeveralTimesInOneChunkReportOnlyTheFirst)
{
    FfmpegOutputParser parser(0);
    parser.Feed("  Duration: 00:00:10.00, start: 0\n", 0);
    const auto events = parser.Feed(
        "frame=1 time=00:00:01.00 x\rframe=2 time=00:00:02.00 x\r"
        "frame=3 time=00:00:03.00 x\r",
        0);
    EXPECT_EQ(events, (std::vector<FfmpegEvent>{{Kind::Progress, 1000, 10}}));
}

TEST(FfmpegOutputParserTest, ProgressComesAtMostOnceAnIntervalByTheClock)
{
    FfmpegOutputParser parser(1000);
    parser.Feed("  Duration: 00:00:10.00, start: 0\n", 0);
    EXPECT_EQ(Kinds(parser.Feed("time=00:00:01.00 \r", 5000)), std::vector<Kind>{Kind::Progress});
    EXPECT_TRUE(parser.Feed("time=00:00:02.00 \r", 5500).empty());
    EXPECT_TRUE(parser.Feed("time=00:00:03.00 \r", 5999).empty());
    EXPECT_EQ(parser.Feed("time=00:00:04.00 \r", 6000),
              (std::vector<FfmpegEvent>{{Kind::Progress, 4000, 40}}));
}

TEST(FfmpegOutputParserTest, PercentIsZeroUntilARealDurationAndNeverAboveHundred)
{
    FfmpegOutputParser parser(0);
    // Nothing encoded yet: no position at all.
    EXPECT_TRUE(parser.Feed("frame=0 size=0kB time=N/A bitrate=N/A\r", 0).empty());
    EXPECT_EQ(parser.Feed("frame=1 time=00:00:01.00 \r", 0),
              (std::vector<FfmpegEvent>{{Kind::Progress, 1000, 0}}));
    EXPECT_EQ(parser.Feed("  Duration: N/A, start: 0.000000, bitrate: N/A\n", 0),
              (std::vector<FfmpegEvent>{{Kind::Duration, 0, 0}}));
    EXPECT_EQ(parser.Feed("time=00:00:03.00 \r", 0)[0].percent, 0);

    FfmpegOutputParser wrong(0);
    wrong.Feed("  Duration: 00:00:00.04, start: 0\n", 0);
    EXPECT_EQ(wrong.Feed("frame=1 time=-577014:32:22.77 bitrate=-0.0kbits/s\r", 0)[0].percent, 0);
    EXPECT_EQ(wrong.Feed("time=00:00:04.00 \r", 0)[0].percent, 100);
}

struct MarkerCase {
    const char* first;
    const char* second;
    Kind kind;
};

void PrintTo(const MarkerCase& c, std::ostream* out)
{
    *out << c.first << "|" << c.second;
}

class SplitMarkerTest : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(SplitMarkerTest, IsFoundWhenCutAcrossTwoReads)
{
    // Also before any duration: an encoder can fail before it prints one.
    FfmpegOutputParser parser(0);
    EXPECT_TRUE(parser.Feed(GetParam().first, 0).empty());
    EXPECT_EQ(Kinds(parser.Feed(GetParam().second, 0)), std::vector<Kind>{GetParam().kind});
}

INSTANTIATE_TEST_SUITE_P(
    Markers, SplitMarkerTest,
    ::testing::Values(MarkerCase{"video:26kB audio:32kB muxing over", "head: 4.56%\n", Kind::Done},
                      MarkerCase{"video:26kB m", "uxing overhead: 4.56%\n", Kind::Done},
                      MarkerCase{"Conversion fai", "led!\n", Kind::Failed},
                      MarkerCase{"C", "onversion failed!\n", Kind::Failed}));

TEST(FfmpegOutputParserTest, ProgressComesBeforeTheDoneMarkerOfTheSameChunk)
{
    FfmpegOutputParser parser(1000);
    parser.Feed("  Duration: 00:00:02.00, start: 0\n", 0);
    const auto events =
        parser.Feed("frame=50 time=00:00:02.00 bitrate=1\nvideo:1kB muxing overhead: 1%\n", 0);
    EXPECT_EQ(Kinds(events), (std::vector<Kind>{Kind::Progress, Kind::Done}));
}

TEST(FfmpegOutputParserTest, LastLineWithoutLineEndIsReadAtTheEnd)
{
    FfmpegOutputParser parser(0);
    EXPECT_TRUE(parser.Feed("video:1kB audio:1kB muxing overhead: 1.0%", 0).empty());
    EXPECT_EQ(Kinds(parser.Finish(0)), std::vector<Kind>{Kind::Done});
}

TEST(FfmpegOutputParserTest, EndlessLineDoesNotGrowTheKeptTailWithoutBound)
{
    FfmpegOutputParser parser(0);
    const QByteArray noise(1 << 20, 'x');
    parser.Feed(noise, 0);
    // The marker after a megabyte without a line end is still found.
    EXPECT_EQ(Kinds(parser.Feed("muxing overhead: 1%\n", 0)), std::vector<Kind>{Kind::Done});
}

// x265 out of room (recorded under a file size limit): the write error comes first and the
// encoder's statistics after it; the error is what is kept, even cut across two reads. Output
// that names no such error keeps none.
TEST(FfmpegOutputParserTest, TheFirstWriteErrorIsKeptWhateverFollows)
{
    const QByteArray output =
        "frame=   50 fps=0.0 q=1.0 Lsize=       0kB time=00:00:02.02 bitrate=   0.2kbits/s\r"
        "Error closing file out.mp4: File too large\n"
        "x265 [info]: frame I:      1, Avg QP:14.00  kb/s: 3282.40 \n"
        "encoded 50 frames in 2.54s (19.65 fps), 578.02 kb/s, Avg QP:5.10\n"
        "av_interleaved_write_frame(): No space left on device\n";
    for (qsizetype cut : {qsizetype(0), output.indexOf("too large"), output.size()}) {
        FfmpegOutputParser parser;
        parser.Feed(output.left(cut), 0);
        parser.Feed(output.mid(cut), 0);
        parser.Finish(0);
        EXPECT_EQ(parser.WriteError(), "Error closing file out.mp4: File too large") << cut;
    }
    FfmpegOutputParser clean;
    clean.Feed(kRecorded, 0);
    clean.Finish(0);
    EXPECT_EQ(clean.WriteError(), "");
}

}  // namespace
