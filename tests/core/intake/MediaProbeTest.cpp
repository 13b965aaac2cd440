// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/intake/MediaProbe.h"

#include "core/platform/ChildProcess.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QStandardPaths>

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Answers as MediaInfo would, and remembers which files it was asked about.
class FakeMediaInfo : public MediaInfoSource {
public:
    FakeMediaInfo(QString mode = {}, QString nominal = {}) : answers_{mode, nominal} {}
    FrameRateAnswers FrameRateOf(const QString& path) override
    {
        asked.push_back(path);
        return answers_;
    }
    std::vector<QString> asked;

private:
    FrameRateAnswers answers_;
};

const QString kPath = QStringLiteral("/videos/clip.mp4");

// A report in the layout of ffprobe's JSON writer; each stream is the inside of its object.
QByteArray Report(const std::vector<std::string>& streams, const std::string& format = {})
{
    std::string text = "{\"streams\": [";
    for (size_t i = 0; i < streams.size(); ++i) text += (i ? ", {" : "{") + streams[i] + "}";
    text += "]";
    if (!format.empty()) text += ", \"format\": {" + format + "}";
    return QByteArray::fromStdString(text + "}\n");
}

std::string Video(const std::string& rate, const std::string& extra = {})
{
    return R"("codec_name": "h264", "codec_type": "video", "width": 1920, "height": 1080,
              "avg_frame_rate": ")" +
           rate + "\"" + extra;
}

std::string Audio(const std::string& extra = {})
{
    return R"("codec_name": "aac", "codec_type": "audio", "sample_rate": "44100", "channels": 2)" +
           extra;
}

const std::string kFormat = R"("filename": "/videos/clip.mp4", "duration": "12.960000",
                               "size": "3000000000", "bit_rate": "4294967296")";

VideoInfo Parse(const QByteArray& report, MediaInfoSource& mediaInfo)
{
    VideoInfo info;
    EXPECT_TRUE(ParseProbeReport(report, kPath, info, mediaInfo));
    return info;
}

// Switches the C locale to German, whose decimal separator is a comma, as Qt does on a German
// desktop. When the system lacks the locale it is compiled into the private home and found
// through LOCPATH. False when neither works.
bool UseCommaDecimalLocale()
{
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
        const QString folder = testenv::Home() + "/locale";
        const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
        if (localedef.isEmpty() || !QDir().mkpath(folder)) return false;
        platform::RunCapture(localedef, {"-i", "de_DE", "-f", "UTF-8", folder + "/de_DE.UTF-8"},
                             60000, 1 << 20);
        qputenv("LOCPATH", folder.toUtf8());
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) return false;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 1.5);
    return std::string(text) == "1,5";
}

// Run plain and under a comma-decimal locale: the desktop's locale must change nothing.
class MediaProbeParse : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        if (GetParam() && !UseCommaDecimalLocale())
            GTEST_SKIP() << "no German locale on this system (Debian package: locales)";
    }
    void TearDown() override { std::setlocale(LC_ALL, "C.UTF-8"); }
    FakeMediaInfo mediaInfo_;
};

TEST_P(MediaProbeParse, ReadsEveryFieldOfATypicalReport)
{
    const VideoInfo info =
        Parse(Report({Video("30000/1001", R"(, "duration": "12.946000", "bit_rate": "2500000")"),
                      Audio(R"(, "duration": "12.960000", "bit_rate": "128000")")},
                     kFormat),
              mediaInfo_);
    EXPECT_EQ(info.width, 1920);
    EXPECT_EQ(info.height, 1080);
    EXPECT_EQ(info.videoCodec, "h264");
    EXPECT_EQ(info.frameRateText, "29.97");
    EXPECT_FLOAT_EQ(info.videoDuration, 12.946f);  // with its fraction
    EXPECT_EQ(info.videoBitRate, 2500000);
    EXPECT_EQ(info.hasAudio, 1);
    EXPECT_EQ(info.audioCodec, "aac");
    EXPECT_EQ(info.audioChannels, 2);
    EXPECT_EQ(info.audioSampleRate, 44100);
    EXPECT_EQ(info.audioDuration, 12.0f);  // whole seconds
    EXPECT_EQ(info.audioBitRate, 128000);
    EXPECT_EQ(info.formatDuration, 12.0f);
    EXPECT_EQ(info.fileSize, 3000000000LL);
    EXPECT_EQ(info.formatBitRate, 4294967296LL);
    EXPECT_TRUE(info.IsUsable());
    EXPECT_TRUE(mediaInfo_.asked.empty());
}

TEST_P(MediaProbeParse, FrameRatesAreSinglePrecisionQuotientsWithTwoDecimals)
{
    const std::pair<const char*, const char*> cases[] = {
        {"30000/1001", "29.97"},
        {"24000/1001", "23.98"},
        {"25/1", "25.00"},
        {"50/2", "25.00"},
        {"25", ""},  // no "/": nothing is set
    };
    for (const auto& [rate, text] : cases)
        EXPECT_EQ(Parse(Report({Video(rate)}), mediaInfo_).frameRateText, text) << rate;
    EXPECT_TRUE(mediaInfo_.asked.empty()) << "only 0/0 asks MediaInfo";
}

TEST_P(MediaProbeParse, NumbersAreReadFromTheirLeadingCharacters)
{
    // text, as an integer bit rate, as a fractional duration
    const std::tuple<const char*, int, float> cases[] = {
        {"12.9", 12, 12.9f},
        {"  42 kb/s", 42, 42.0f},
        {"+7", 7, 7.0f},
        {"N/A", 0, 0.0f},
        {"1e3", 1, 1000.0f},
        {"-3.5", -3, -3.5f},
        {"99999999999", 2147483647, 99999999999.0f},  // saturates instead of wrapping
    };
    for (const auto& [text, bitRate, duration] : cases) {
        const std::string fields =
            ", \"bit_rate\": \"" + std::string(text) + "\", \"duration\": \"" + text + "\"";
        const VideoInfo info = Parse(Report({Video("25/1", fields)}), mediaInfo_);
        EXPECT_EQ(info.videoBitRate, bitRate) << text;
        EXPECT_FLOAT_EQ(info.videoDuration, duration) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, MediaProbeParse, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Comma" : "Point"; });

TEST(MediaProbeMediaInfo, AnUnknownRateTakesMediaInfosAnswersAsTheyAre)
{
    FakeMediaInfo mediaInfo(QStringLiteral("VFR"), QStringLiteral("30.000"));
    const VideoInfo info = Parse(Report({Video("0/0")}, kFormat), mediaInfo);
    EXPECT_EQ(info.isVfr, 1);
    EXPECT_EQ(info.frameRateText, "30.000");
    EXPECT_EQ(mediaInfo.asked, std::vector<QString>{kPath});
}

TEST(MediaProbeMediaInfo, WithoutTheLibraryTheProbeStillSucceeds)
{
    MediaInfoLibrary& library = MediaInfoLibrary::Instance();
    library.SetLibraryName("liblumo-no-such-mediainfo.so.0");
    const VideoInfo info = Parse(Report({Video("0/0")}, kFormat), library);
    EXPECT_EQ(info.frameRateText, "Unable to load MediaInfo.dll");
    EXPECT_EQ(info.isVfr, 0);
    EXPECT_TRUE(info.IsUsable());
    EXPECT_EQ(library.UseCount(), 0);

    // A library without MediaInfo's entry points counts as absent too.
    library.SetLibraryName("libz.so.1");
    EXPECT_FALSE(library.Load());
    // Absent is not final: a later need loads the real library.
    library.SetLibraryName(MediaInfoLibrary::kDefaultLibraryName);
    EXPECT_TRUE(library.Load());
    EXPECT_EQ(library.UseCount(), 1);
}

TEST(MediaProbeStreams, TheLastStreamOfAKindWinsAndOtherKindsAreSkipped)
{
    FakeMediaInfo mediaInfo;
    const VideoInfo info =
        Parse(Report({Audio(), Video("25/1"), R"("codec_type": "subtitle", "width": 7)",
                      R"("codec_type": "audio", "codec_name": "mp3", "sample_rate": "22050",
                   "channels": 1)"}),
              mediaInfo);
    EXPECT_EQ(info.audioCodec, "mp3");
    EXPECT_EQ(info.audioChannels, 1);
    EXPECT_EQ(info.audioSampleRate, 22050);
    EXPECT_EQ(info.width, 1920);
}

TEST(MediaProbeStreams, AnAudioOnlyFileIsNotUsable)
{
    FakeMediaInfo mediaInfo;
    const VideoInfo info = Parse(Report({Audio()}, kFormat), mediaInfo);
    EXPECT_EQ(info.hasAudio, 1);
    EXPECT_EQ(info.width, 0);
    EXPECT_FALSE(info.IsUsable());
}

TEST(MediaProbeStreams, BrokenReportsLeaveTheRecordEmpty)
{
    const std::pair<const char*, bool> cases[] = {
        {"", false},
        {"not json", false},
        {"{\"streams\": [{\"codec_type\": \"video\", \"width\": 64", false},
        {"[{\"codec_type\": \"video\", \"width\": 64}]", false},
        {"{\n\n}\n", true},  // what the prober prints for a file it cannot read
        {"{\"streams\": {\"codec_type\": \"video\"}, \"format\": \"big\"}", true},
        {"{\"streams\": [3, null, [], {\"codec_type\": 1}]}", true},
        {R"({"streams": [{"codec_type": "video", "width": "64", "height": 4.5}],
             "format": {"size": 123}})",
         true},
    };
    for (const auto& [report, parses] : cases) {
        FakeMediaInfo mediaInfo;
        VideoInfo info;
        EXPECT_EQ(ParseProbeReport(report, kPath, info, mediaInfo), parses) << report;
        EXPECT_TRUE(info.width == 0 && info.height == 0 && info.fileSize == 0) << report;
    }
}

}  // namespace
