#include "intake/MediaProbe.h"

#include "platform/ChildProcess.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QStandardPaths>

#include <clocale>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace probetest {

// Switches the C locale of this process to German, whose decimal separator is a comma, the way
// Qt does when the desktop runs in German. When the system lacks the locale, it is compiled into
// the test's private home and found through LOCPATH. False when neither works.
bool UseCommaDecimalLocale()
{
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
        const QString folder = testenv::Home() + "/locale";
        const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
        if (localedef.isEmpty() || !QDir().mkpath(folder)) return false;
        // localedef may warn about the source and still write a usable locale.
        platform::RunCapture(localedef, {"-i", "de_DE", "-f", "UTF-8", folder + "/de_DE.UTF-8"},
                             60000, 1 << 20);
        qputenv("LOCPATH", folder.toUtf8());
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) return false;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 1.5);
    return std::string(text) == "1,5";
}

}  // namespace probetest

namespace {

// Answers as MediaInfo would for a file, and remembers which files it was asked about.
class FakeMediaInfo : public MediaInfoSource {
public:
    FakeMediaInfo(QString mode = {}, QString nominal = {})
        : mode_(std::move(mode)), nominal_(std::move(nominal))
    {
    }
    FrameRateAnswers FrameRateOf(const QString& path) override
    {
        asked.push_back(path);
        return {mode_, nominal_};
    }
    std::vector<QString> asked;

private:
    QString mode_;
    QString nominal_;
};

const QString kPath = QStringLiteral("/videos/clip.mp4");

// A prober report in the layout of ffprobe's JSON writer.
QByteArray Report(const std::vector<std::string>& streams, const std::string& format = {})
{
    std::string text = "{\n    \"streams\": [";
    for (size_t i = 0; i < streams.size(); ++i) text += (i ? ",\n{" : "\n{") + streams[i] + "}";
    text += "\n    ]";
    if (!format.empty()) text += ",\n    \"format\": {" + format + "}";
    text += "\n}\n";
    return QByteArray::fromStdString(text);
}

std::string Video(const std::string& rate, const std::string& extra = {})
{
    return R"("index": 0, "codec_name": "h264", "codec_type": "video", "width": 1920,
              "height": 1080, "avg_frame_rate": ")" +
           rate + "\"" + extra;
}

std::string Audio(const std::string& extra = {})
{
    return R"("index": 1, "codec_name": "aac", "codec_type": "audio", "sample_rate": "44100",
              "channels": 2)" +
           extra;
}

const std::string kFormat =
    R"("filename": "/videos/clip.mp4", "duration": "12.960000", "size": "3000000000",
       "bit_rate": "4294967296")";

VideoInfo Parse(const QByteArray& report, MediaInfoSource& mediaInfo)
{
    VideoInfo info;
    EXPECT_TRUE(ParseProbeReport(report, kPath, info, mediaInfo));
    return info;
}

// A complete report of a common file, with the values it must give.
const QByteArray kTypicalReport =
    Report({Video("30000/1001", R"(, "duration": "12.946000", "bit_rate": "2500000")"),
            Audio(R"(, "duration": "12.960000", "bit_rate": "128000")")},
           kFormat);

void ExpectTypical(const VideoInfo& info)
{
    EXPECT_EQ(info.width, 1920);
    EXPECT_EQ(info.height, 1080);
    EXPECT_EQ(info.videoCodec, "h264");
    EXPECT_EQ(info.frameRateText, "29.97");
    EXPECT_EQ(info.isVfr, 0);
    EXPECT_FLOAT_EQ(info.videoDuration, 12.946f);
    EXPECT_EQ(info.videoBitRate, 2500000);
    EXPECT_EQ(info.hasAudio, 1);
    EXPECT_EQ(info.audioCodec, "aac");
    EXPECT_EQ(info.audioChannels, 2);
    EXPECT_EQ(info.audioSampleRate, 44100);
    EXPECT_EQ(info.audioDuration, 12.0f);
    EXPECT_EQ(info.audioBitRate, 128000);
    EXPECT_EQ(info.formatDuration, 12.0f);
    EXPECT_EQ(info.fileSize, 3000000000LL);
    EXPECT_EQ(info.formatBitRate, 4294967296LL);
    EXPECT_TRUE(info.IsUsable());
}

TEST(MediaProbeParse, ReadsEveryFieldOfATypicalReport)
{
    FakeMediaInfo mediaInfo;
    ExpectTypical(Parse(kTypicalReport, mediaInfo));
    EXPECT_TRUE(mediaInfo.asked.empty());
}

// ---------------------------------------------------------------------------------------------
// Frame rates the prober states itself.

struct RateCase {
    const char* rate;
    const char* text;
};

void PrintTo(const RateCase& c, std::ostream* os)
{
    *os << '"' << c.rate << "\" -> \"" << c.text << '"';
}

class MediaProbeFrameRate : public ::testing::TestWithParam<RateCase> {};

TEST_P(MediaProbeFrameRate, IsTheSinglePrecisionQuotientWithTwoDecimals)
{
    FakeMediaInfo mediaInfo(QStringLiteral("VFR"), QStringLiteral("99.000"));
    const VideoInfo info = Parse(Report({Video(GetParam().rate)}), mediaInfo);
    EXPECT_EQ(info.frameRateText, QString::fromUtf8(GetParam().text));
    EXPECT_EQ(info.isVfr, 0);
    EXPECT_TRUE(mediaInfo.asked.empty()) << "only 0/0 asks MediaInfo";
}

INSTANTIATE_TEST_SUITE_P(Rates, MediaProbeFrameRate,
                         ::testing::Values(RateCase{"30000/1001", "29.97"},
                                           RateCase{"24000/1001", "23.98"},
                                           RateCase{"60000/1001", "59.94"},
                                           RateCase{"25/1", "25.00"}, RateCase{"50/2", "25.00"},
                                           RateCase{"2997/100", "29.97"},
                                           // No "/": nothing is set.
                                           RateCase{"25", ""}, RateCase{"", ""}));

TEST(MediaProbeParse, AMissingFrameRateLeavesTheTextEmpty)
{
    FakeMediaInfo mediaInfo;
    const VideoInfo info =
        Parse(Report({R"("codec_type": "video", "width": 64, "height": 48, "codec_name": "vp9")"}),
              mediaInfo);
    EXPECT_TRUE(info.frameRateText.isEmpty());
    EXPECT_EQ(info.width, 64);
    EXPECT_TRUE(mediaInfo.asked.empty());
}

// ---------------------------------------------------------------------------------------------
// "0/0": MediaInfo decides.

TEST(MediaProbeParse, UnknownRateTakesMediaInfosAnswersAsTheyAre)
{
    FakeMediaInfo mediaInfo(QStringLiteral("VFR"), QStringLiteral("30.000"));
    const VideoInfo info = Parse(Report({Video("0/0")}, kFormat), mediaInfo);
    EXPECT_EQ(info.isVfr, 1);
    EXPECT_EQ(info.frameRateText, "30.000");
    ASSERT_EQ(mediaInfo.asked.size(), 1u);
    EXPECT_EQ(mediaInfo.asked[0], kPath);
}

TEST(MediaProbeParse, UnknownRateOfAConstantRateFileIsNoVfr)
{
    FakeMediaInfo mediaInfo(QStringLiteral("CFR"), QStringLiteral("25.000"));
    const VideoInfo info = Parse(Report({Video("0/0")}), mediaInfo);
    EXPECT_EQ(info.isVfr, 0);
    EXPECT_EQ(info.frameRateText, "25.000");
}

TEST(MediaProbeParse, WithoutTheMediaInfoLibraryTheProbeStillSucceeds)
{
    MediaInfoLibrary& library = MediaInfoLibrary::Instance();
    library.SetLibraryName("liblumo-no-such-mediainfo.so.0");
    const VideoInfo info = Parse(Report({Video("0/0")}, kFormat), library);
    EXPECT_EQ(info.frameRateText, "Unable to load MediaInfo.dll");
    EXPECT_EQ(info.isVfr, 0);
    EXPECT_TRUE(info.IsUsable());
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_EQ(library.UseCount(), 0);

    // Absent is not final: a later need loads the real library.
    library.SetLibraryName(MediaInfoLibrary::kDefaultLibraryName);
    EXPECT_TRUE(library.Load());
    EXPECT_TRUE(library.IsLoaded());
    EXPECT_EQ(library.UseCount(), 1);
}

TEST(MediaProbeParse, ALibraryLackingAnEntryPointCountsAsAbsent)
{
    // A real shared library, but not MediaInfo's.
    MediaInfoLibrary& library = MediaInfoLibrary::Instance();
    library.SetLibraryName("libz.so.1");
    EXPECT_FALSE(library.Load());
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_EQ(library.FrameRateOf(kPath).nominal, "Unable to load MediaInfo.dll");
}

// ---------------------------------------------------------------------------------------------
// Streams and fields.

TEST(MediaProbeParse, TheLastStreamOfAKindWins)
{
    FakeMediaInfo mediaInfo;
    const VideoInfo info =
        Parse(Report({Audio(), Video("25/1"),
                      R"("codec_type": "subtitle", "codec_name": "subrip", "width": 7)",
                      R"("codec_type": "audio", "codec_name": "mp3", "sample_rate": "22050",
                   "channels": 1)",
                      R"("codec_type": "data", "codec_name": "bin_data")"}),
              mediaInfo);
    EXPECT_EQ(info.audioCodec, "mp3");
    EXPECT_EQ(info.audioChannels, 1);
    EXPECT_EQ(info.audioSampleRate, 22050);
    EXPECT_EQ(info.hasAudio, 1);
    // Streams of other kinds are skipped.
    EXPECT_EQ(info.width, 1920);
    EXPECT_EQ(info.videoCodec, "h264");
}

TEST(MediaProbeParse, AnAudioOnlyFileIsNotUsable)
{
    FakeMediaInfo mediaInfo;
    const VideoInfo info = Parse(Report({Audio()}, kFormat), mediaInfo);
    EXPECT_EQ(info.hasAudio, 1);
    EXPECT_EQ(info.width, 0);
    EXPECT_TRUE(info.frameRateText.isEmpty());
    EXPECT_FALSE(info.IsUsable());
}

TEST(MediaProbeParse, AFileWithoutSizeIsNotUsable)
{
    FakeMediaInfo mediaInfo;
    const VideoInfo info = Parse(Report({Video("25/1")}), mediaInfo);
    EXPECT_EQ(info.fileSize, 0);
    EXPECT_FALSE(info.IsUsable());
}

TEST(MediaProbeParse, DurationsAndBitRatesAreOnlyTakenWhenPresent)
{
    FakeMediaInfo mediaInfo;
    VideoInfo info;
    info.videoDuration = 5.5f;
    info.audioBitRate = 64000;
    ASSERT_TRUE(ParseProbeReport(Report({Video("25/1"), Audio()}), kPath, info, mediaInfo));
    EXPECT_EQ(info.videoDuration, 5.5f);
    EXPECT_EQ(info.audioBitRate, 64000);
}

// Numeric texts are read like C's atoi/atof: leading blanks and sign, then the leading number.
struct NumberCase {
    const char* text;
    int bitRate;     // a stream "bit_rate", read as an integer
    float duration;  // a video "duration", read as a fraction
};

void PrintTo(const NumberCase& c, std::ostream* os)
{
    *os << '"' << c.text << '"';
}

class MediaProbeNumbers : public ::testing::TestWithParam<NumberCase> {};

TEST_P(MediaProbeNumbers, AreReadFromTheLeadingCharacters)
{
    const std::string text = GetParam().text;
    FakeMediaInfo mediaInfo;
    const VideoInfo info = Parse(
        Report({Video("25/1", ", \"bit_rate\": \"" + text + "\", \"duration\": \"" + text + "\"")}),
        mediaInfo);
    EXPECT_EQ(info.videoBitRate, GetParam().bitRate);
    EXPECT_FLOAT_EQ(info.videoDuration, GetParam().duration);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MediaProbeNumbers,
    ::testing::Values(NumberCase{"128000", 128000, 128000.0f}, NumberCase{"12.9", 12, 12.9f},
                      NumberCase{"  42 kb/s", 42, 42.0f}, NumberCase{"+7", 7, 7.0f},
                      NumberCase{"-3.5", -3, -3.5f}, NumberCase{"N/A", 0, 0.0f},
                      NumberCase{"", 0, 0.0f}, NumberCase{"1e3", 1, 1000.0f},
                      // Beyond the int range an integer saturates instead of wrapping.
                      NumberCase{"99999999999", 2147483647, 99999999999.0f}));

// ---------------------------------------------------------------------------------------------
// Reports that are not what they should be.

struct BrokenCase {
    const char* name;
    const char* report;
    bool parses;
};

void PrintTo(const BrokenCase& c, std::ostream* os)
{
    *os << c.name;
}

class MediaProbeBrokenReport : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(MediaProbeBrokenReport, LeavesTheRecordEmptyWithoutThrowing)
{
    FakeMediaInfo mediaInfo;
    VideoInfo info;
    bool parsed = false;
    EXPECT_NO_THROW(parsed = ParseProbeReport(GetParam().report, kPath, info, mediaInfo));
    EXPECT_EQ(parsed, GetParam().parses);
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(info.height, 0);
    EXPECT_EQ(info.fileSize, 0);
    EXPECT_EQ(info.hasAudio, 0);
    EXPECT_TRUE(info.videoCodec.empty());
    EXPECT_FALSE(info.IsUsable());
}

INSTANTIATE_TEST_SUITE_P(
    Reports, MediaProbeBrokenReport,
    ::testing::Values(
        BrokenCase{"Empty", "", false}, BrokenCase{"Garbage", "not json at all", false},
        BrokenCase{"CutShort", "{\"streams\": [{\"codec_type\": \"video\", \"width\": 64", false},
        BrokenCase{"TopLevelArray", "[{\"codec_type\": \"video\", \"width\": 64}]", false},
        // What the prober prints for a file it cannot read.
        BrokenCase{"EmptyObject", "{\n\n}\n", true},
        BrokenCase{"StreamsNotAnArray", "{\"streams\": {\"codec_type\": \"video\"}}", true},
        BrokenCase{"StreamsOfWrongTypes", "{\"streams\": [3, \"x\", null, []]}", true},
        BrokenCase{"FieldsOfWrongTypes",
                   R"({"streams": [{"codec_type": "video", "width": "64", "height": 4.5,
                        "codec_name": 7}, {"codec_type": 1}],
                       "format": {"size": 123}})",
                   true},
        BrokenCase{"FormatNotAnObject", "{\"format\": \"big\"}", true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// The desktop's locale must not change what is read or shown.

TEST(MediaProbeParse, ACommaDecimalLocaleChangesNothing)
{
    if (!probetest::UseCommaDecimalLocale())
        GTEST_SKIP() << "no German locale on this system (package: locales)";
    FakeMediaInfo mediaInfo;
    ExpectTypical(Parse(kTypicalReport, mediaInfo));
    EXPECT_EQ(Parse(Report({Video("24000/1001")}), mediaInfo).frameRateText, "23.98");
    EXPECT_EQ(Parse(Report({Video("25/1")}), mediaInfo).frameRateText, "25.00");
    std::setlocale(LC_ALL, "C.UTF-8");
}

}  // namespace
