// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>

#include <climits>
#include <clocale>
#include <cstdio>

#include "core/app/AppConfig.h"
#include "core/video/EncoderPlan.h"
#include "core/video/FfmpegCommand.h"
#include "core/video/OutputNameResolver.h"
#include "core/video/VideoSettings.h"
#include "support/Printers.h"
#include "support/TestEnv.h"

namespace {

// A probed source as intake leaves it: h264 with aac audio at 25 frames a second.
VideoTask Source(const QString& fileName)
{
    VideoTask task;
    task.fileName = fileName;
    task.filePath = "/v/" + fileName;
    task.frameRateText = "25.00";
    task.videoBitRate = 2000000;
    task.videoCodec = "h264";
    task.hasAudio = 1;
    task.audioCodec = "aac";
    task.audioBitRate = 96000;
    task.audioSampleRate = 48000;
    task.audioChannels = 2;
    return task;
}

FfmpegCommand Render(const VideoTask& task, const CompressSettings& values,
                     const MainPageSnapshot& page, CommandPlan* planOut = nullptr)
{
    const CommandPlan plan = PlanCommand(task, values, page);
    if (planOut) *planOut = plan;
    const QString output = OutputNameResolver("/out", task.fileName, plan.extension).Candidate(1);
    return RenderCommand(plan, "/app/ffmpeg", task.filePath, output);
}

CompressSettings Container(int videoType, int width = 0, int height = 0)
{
    CompressSettings values;
    values.videoType = videoType;
    values.width = width;
    values.height = height;
    return values;
}

struct TemplateCase {
    const char* name;
    const char* fileName;
    CompressSettings values;
    bool compatible;
    int number;
    const char* text;
};

void PrintTo(const TemplateCase& c, std::ostream* out)
{
    *out << c.name;
}

class TemplateChoiceTest : public ::testing::TestWithParam<TemplateCase> {};

TEST_P(TemplateChoiceTest, PicksTheTemplateAndFillsItExactly)
{
    const TemplateCase& c = GetParam();
    MainPageSnapshot page;
    page.compatibleChecked = c.compatible;
    CommandPlan plan;
    const FfmpegCommand command = Render(Source(c.fileName), c.values, page, &plan);
    EXPECT_EQ(plan.templateNumber, c.number);
    EXPECT_EQ(command.text.toStdString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Templates, TemplateChoiceTest,
    ::testing::Values(
        TemplateCase{
            "T1KeepTs", "clip.ts", Container(0), false, 1,
            R"("/app/ffmpeg" -y -i "/v/clip.ts" -vcodec "h264" -b:v 1000000  -acodec "aac" -ab 96000 -ar 48000 -ac 2 "/out/clip.ts")"},
        TemplateCase{
            "T2KeepMp4", "clip.mp4", Container(0), true, 2,
            R"("/app/ffmpeg" -y -i "/v/clip.mp4" -r "25.00" -vcodec "h264" -b:v 1000000  -acodec "aac" -ab 96000 -ar 48000 -ac 2 "/out/clip.mp4")"},
        TemplateCase{
            "T3KeepTsSized", "clip.ts", Container(0, 640, 360), false, 3,
            R"("/app/ffmpeg" -y -i "/v/clip.ts" -s "640*360" -vcodec "h264" -b:v 1000000  -acodec "aac" -ab 96000 -ar 48000 -ac 2 "/out/clip.ts")"},
        TemplateCase{
            "T4KeepMkvSized", "clip.mkv", Container(0, 640, 360), false, 4,
            R"("/app/ffmpeg" -y -i "/v/clip.mkv" -s "640*360" -r "25.00" -vcodec "h264" -b:v 1000000  -acodec "aac" -ab 96000 -ar 48000 -ac 2 "/out/clip.mkv")"},
        TemplateCase{
            "T5CompatibleTs", "clip.ts", Container(1), true, 5,
            R"("/app/ffmpeg" -y -i "/v/clip.ts" -vcodec mpeg4 -acodec aac -preset ultrafast -b:v 1000000 -ab 128000 -ar 44100 -ac 2 "/out/clip.mp4")"},
        TemplateCase{
            "T6CompatibleMov", "clip.mov", Container(1), true, 6,
            R"("/app/ffmpeg" -y -i "/v/clip.mov" -r "25.00" -vcodec mpeg4 -acodec aac -preset ultrafast -b:v 1000000 -ab 128000 -ar 44100 -ac 2 "/out/clip.mp4")"},
        TemplateCase{
            "T7Ts", "clip.ts", Container(1), false, 7,
            R"("/app/ffmpeg" -y -i "/v/clip.ts" -vcodec h264 -acodec aac -preset ultrafast -b:v 1000000 -ab 128000 -ar 44100 -ac 2 "/out/clip.mp4")"},
        TemplateCase{
            "T8Mov", "clip.mov", Container(1), false, 8,
            R"("/app/ffmpeg" -y -i "/v/clip.mov" -r "25.00" -vcodec h264 -acodec aac -preset ultrafast -b:v 1000000 -ab 128000 -ar 44100 -ac 2 "/out/clip.mp4")"},
        TemplateCase{
            "T9CompatibleSizedTs", "clip.ts", Container(1, 320, 240), true, 9,
            R"("/app/ffmpeg" -y -i "/v/clip.ts" -s "320*240" -r "25.00" -vcodec mpeg4 -acodec aac -preset ultrafast -b:v 1000000 -ab 128000 -ar 44100 -ac 2 "/out/clip.mp4")"},
        // Compatibility applies to MP4 output only.
        TemplateCase{
            "T10FlvSized", "clip.ts", Container(2, 320, 240), true, 10,
            R"("/app/ffmpeg" -y -i "/v/clip.ts" -s "320*240" -r "25.00" -vcodec h264 -acodec aac -preset ultrafast -b:v 1000000 -ab 128000 -ar 44100 -ac 2 "/out/clip.flv")"},
        TemplateCase{
            "AviKeptBecomesMp4", "movie.avi", Container(0), false, 8,
            R"("/app/ffmpeg" -y -i "/v/movie.avi" -r "25.00" -vcodec h264 -acodec aac -preset ultrafast -b:v 1000000 -ab 128000 -ar 44100 -ac 2 "/out/movie.mp4")"},
        TemplateCase{
            "AviKeptCompatible", "movie.avi", Container(0), true, 6,
            R"("/app/ffmpeg" -y -i "/v/movie.avi" -r "25.00" -vcodec mpeg4 -acodec aac -preset ultrafast -b:v 1000000 -ab 128000 -ar 44100 -ac 2 "/out/movie.mp4")"},
        TemplateCase{
            "CapitalTsCountsAsTs", "CLIP.TS", Container(0), false, 1,
            R"("/app/ffmpeg" -y -i "/v/CLIP.TS" -vcodec "h264" -b:v 1000000  -acodec "aac" -ab 96000 -ar 48000 -ac 2 "/out/CLIP.ts")"},
        TemplateCase{
            "WidthWithoutHeightIsNotSized", "clip.mov", Container(3, 640, 0), false, 8,
            R"("/app/ffmpeg" -y -i "/v/clip.mov" -r "25.00" -vcodec h264 -acodec aac -preset ultrafast -b:v 1000000 -ab 128000 -ar 44100 -ac 2 "/out/clip.mov")"},
        TemplateCase{
            "UnknownContainerWritesMp4", "clip.mkv", Container(9), false, 8,
            R"("/app/ffmpeg" -y -i "/v/clip.mkv" -r "25.00" -vcodec h264 -acodec aac -preset ultrafast -b:v 1000000 -ab 128000 -ar 44100 -ac 2 "/out/clip.mp4")"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FfmpegCommandTest, WorkedExampleWithDefaultSettingsIsPrintedExactly)
{
    // A fresh configuration: every setting at its default.
    VideoTask task = Source("clip.avi");
    const FfmpegCommand command = RenderCommand(
        PlanCommand(task, ReadCompressSettings(AppConfig::Path()), MainPageSnapshot{}),
        "/app/ffmpeg", "/v/clip.avi", "/out/clip.mp4");
    EXPECT_EQ(
        command.text.toStdString(),
        R"("/app/ffmpeg" -y -i "/v/clip.avi" -r "25.00" -vcodec h264 -acodec aac -preset ultrafast -b:v 1000000 -ab 128000 -ar 44100 -ac 2 "/out/clip.mp4")");
    EXPECT_EQ(command.program, "/app/ffmpeg");
    EXPECT_EQ(
        command.arguments,
        QStringList({"-y",      "-i",  "/v/clip.avi", "-r",        "25.00", "-vcodec",      "h264",
                     "-acodec", "aac", "-preset",     "ultrafast", "-b:v",  "1000000",      "-ab",
                     "128000",  "-ar", "44100",       "-ac",       "2",     "/out/clip.mp4"}));
}

TEST(CompressSettingsTest, TheFileGivesTheSettingsAndARowsRecordReplacesAllSeven)
{
    const QString ini = testenv::Home() + "/settings/configure.ini";
    ASSERT_TRUE(testenv::WriteFile(ini,
                                   "[global]\nvideo-type=4\nvideo-ratio-width=640\n"
                                   "video-ratio-height=360\naudio-channel=1\naudio-bitrate=\n"));
    const CompressSettings read = ReadCompressSettings(ini);
    EXPECT_EQ(read.videoType, 4);
    EXPECT_EQ(read.width, 640);
    EXPECT_EQ(read.height, 360);
    EXPECT_EQ(read.channel, 1);
    EXPECT_EQ(read.bitrate, 128000) << "an empty value gives the default";
    EXPECT_EQ(read.sampleRate, 44100);

    EXPECT_EQ(ResolveCompressSettings(std::nullopt, read).videoType, 4);
    CompressParams own;
    own.videoType = 2;
    own.sampleRate = 8000;
    const CompressSettings resolved = ResolveCompressSettings(own, read);
    EXPECT_EQ(resolved.videoType, 2);
    EXPECT_EQ(resolved.width, 0) << "nothing of the settings mixes into a row's record";
    EXPECT_EQ(resolved.channel, 2);
    EXPECT_EQ(resolved.sampleRate, 8000);

    // A missing file gives the defaults and stays missing.
    const QString missing = testenv::Home() + "/nowhere/configure.ini";
    EXPECT_EQ(ReadCompressSettings(missing).bitrate, 128000);
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(missing).absolutePath()));
}

struct RateCase {
    int base;
    int compressType;
    bool sliderChecked;
    int slider;
    int expected;
};

void PrintTo(const RateCase& c, std::ostream* out)
{
    *out << c.base << " type " << c.compressType << " slider " << c.sliderChecked << "/"
         << c.slider;
}

class VideoBitRateTest : public ::testing::TestWithParam<RateCase> {};

TEST_P(VideoBitRateTest, FollowsTypeAndSlider)
{
    const RateCase& c = GetParam();
    MainPageSnapshot page;
    page.bitRateChecked = c.sliderChecked;
    page.bitRateSlider = c.slider;
    EXPECT_EQ(ComputeVideoBitRate(c.base, c.compressType, page), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Rates, VideoBitRateTest,
                         ::testing::Values(RateCase{2000000, 0, false, 0, 1000000},
                                           RateCase{2000000, 1, false, 0, 600000},
                                           RateCase{2000000, 2, false, 0, 200000},
                                           RateCase{2000000, 3, false, 0, 1000000},
                                           RateCase{2000000, -1, false, 0, 1000000},
                                           RateCase{2000000, 0, true, 30, 1400000},
                                           RateCase{2000000, 0, true, 0, 1980000},
                                           RateCase{2000000, 0, true, 100, 20000},
                                           // The slider overrides an unknown type too.
                                           RateCase{2000000, 3, true, 30, 1400000},
                                           // 999999.5 is truncated toward zero.
                                           RateCase{1999999, 0, true, 50, 999999},
                                           // v × b would overflow a 32-bit product.
                                           RateCase{30000000, 0, true, 80, 6000000},
                                           RateCase{0, 0, false, 0, 0}));

TEST(FfmpegCommandTest, ContainerRateStandsInForAMissingStreamRate)
{
    VideoTask task = Source("clip.mp4");
    task.videoBitRate = 0;
    task.formatBitRate = 3000000;
    EXPECT_EQ(PlanCommand(task, Container(0), {}).videoBitRate, 1500000);
}

// Rates the encoders refuse never reach "-b:v": a container rate past 2^31 once came out as
// "-b:v -654457288", a tiny kept rate as "-b:v 40" (x264 then sees no rate and will not start).
TEST(FfmpegCommandTest, BitRatesStayWithinWhatTheEncodersTake)
{
    VideoTask task = Source("clip.mp4");
    task.videoBitRate = 0;
    for (const qint64 huge : {qint64{1} << 32, qint64{3640510008}, qint64{1} << 40}) {
        task.formatBitRate = huge;
        const int rate = PlanCommand(task, Container(0), {}).videoBitRate;
        EXPECT_EQ(rate, 1073741823) << huge;  // the largest int rate, halved by strength 0
        EXPECT_TRUE(Render(task, Container(0), {}).arguments.contains("1073741823"));
    }
    task.formatBitRate = -5000;
    EXPECT_EQ(PlanCommand(task, Container(0), {}).videoBitRate, kMinVideoBitRate);

    task.videoBitRate = 80;  // kept at a tenth by "limit": 8 bit/s
    CompressSettings limit = Container(0);
    limit.compressType = 2;
    EXPECT_EQ(PlanCommand(task, limit, {}).videoBitRate, kMinVideoBitRate);
    // Rates that always worked are left exactly as they were.
    task.videoBitRate = 2000;
    EXPECT_EQ(PlanCommand(task, Container(0), {}).videoBitRate, 1000);
    task.videoBitRate = 2000000;
    EXPECT_EQ(PlanCommand(task, limit, {}).videoBitRate, 200000);
    EXPECT_EQ(ClampVideoBitRate(qint64{1} << 35), INT_MAX);
}

// x264 refuses 4:2:0 pictures of odd width or height; those are rounded down to even sizes for
// it, and nothing changes for even pictures or for encoders that take odd ones.
TEST(FfmpegCommandTest, OddPicturesAreMadeEvenOnlyForEncodersThatNeedIt)
{
    VideoTask odd = Source("odd.mkv");
    odd.width = 65;
    odd.height = 47;
    VideoTask even = Source("even.mkv");
    even.width = 64;
    even.height = 48;

    // Kept size, h264 into MP4 (template 8): a scale filter right before the output.
    const FfmpegCommand scaled = Render(odd, Container(1), {});
    ASSERT_GE(scaled.arguments.size(), 3);
    EXPECT_EQ(scaled.arguments.mid(scaled.arguments.size() - 3, 2),
              (QStringList{"-vf", "scale=trunc(iw/2)*2:trunc(ih/2)*2"}));
    EXPECT_TRUE(scaled.text.endsWith(" -vf scale=trunc(iw/2)*2:trunc(ih/2)*2 \"/out/odd.mp4\""))
        << scaled.text.toStdString();
    // The kept container re-encodes h264 too.
    EXPECT_TRUE(Render(odd, Container(0), {}).arguments.contains("-vf"));

    // An odd chosen size becomes the even size below it; an even one stays.
    CommandPlan plan;
    Render(even, Container(1, 321, 241), {}, &plan);
    EXPECT_EQ(plan.sizeText, "320*240");
    EXPECT_TRUE(plan.videoFilter.isEmpty());
    Render(even, Container(1, 320, 240), {}, &plan);
    EXPECT_EQ(plan.sizeText, "320*240");

    // Even pictures, and mpeg4 (the compatible MP4), are left alone.
    for (const auto& [task, page] :
         {std::pair{even, MainPageSnapshot{}}, std::pair{odd, [] {
                                                             MainPageSnapshot compatible;
                                                             compatible.compatibleChecked = true;
                                                             return compatible;
                                                         }()}}) {
        const FfmpegCommand command = Render(task, Container(1), page);
        EXPECT_FALSE(command.arguments.contains("-vf")) << command.text.toStdString();
    }
    Render(
        odd, Container(1, 321, 241),
        [] {
            MainPageSnapshot compatible;
            compatible.compatibleChecked = true;
            return compatible;
        }(),
        &plan);
    EXPECT_EQ(plan.sizeText, "321*241");
}

TEST(FfmpegCommandTest, BalancedCheckPicksTheFastPreset)
{
    MainPageSnapshot page;
    page.balancedChecked = true;
    EXPECT_TRUE(Render(Source("a.mov"), Container(1), page).text.contains("-preset fast -b:v"));
}

struct CodecCase {
    const char* name;
    const char* videoCodec;
    const char* audioCodec;
    int audioBitRate;
    int channels;
    const char* expectedPart;
};

void PrintTo(const CodecCase& c, std::ostream* out)
{
    *out << c.name;
}

class KeptCodecTest : public ::testing::TestWithParam<CodecCase> {};

TEST_P(KeptCodecTest, ProbedNamesBecomeUsableEncoderSettings)
{
    const CodecCase& c = GetParam();
    VideoTask task = Source("clip.wmv");
    task.videoCodec = c.videoCodec;
    task.audioCodec = c.audioCodec;
    task.audioBitRate = c.audioBitRate;
    task.audioChannels = c.channels;
    const QString text = Render(task, Container(0), {}).text;
    EXPECT_TRUE(text.contains(QString::fromUtf8(c.expectedPart))) << text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, KeptCodecTest,
    ::testing::Values(
        CodecCase{"WmaproBecomesStereoWmav2", "wmv3", "wmapro", 16000, 6,
                  R"(-vcodec "msmpeg4" -b:v 1000000  -acodec "wmav2" -ab 16000 -ar 48000 -ac 2 )"},
        CodecCase{"LowWmav2GetsFloor", "mss2", "wmav2", 16000, 1,
                  R"(-vcodec "msmpeg4" -b:v 1000000  -acodec "wmav2" -ab 24000 -ar 48000 -ac 1 )"},
        CodecCase{"Wmav2AboveFloorStays", "wmv2", "wmav2", 32000, 2,
                  R"(-vcodec "wmv2" -b:v 1000000  -acodec "wmav2" -ab 32000 )"},
        CodecCase{"UnknownAudioRateGets64k", "h264", "aac", 0, 2, R"(-acodec "aac" -ab 64000 )"},
        CodecCase{"VorbisUsesLibvorbis", "vp8", "vorbis", 112000, 2,
                  R"(-vcodec "vp8" -b:v 1000000  -acodec "libvorbis" -ab 112000 )"},
        CodecCase{"OpusUsesLibopus", "vp9", "opus", 96000, 2, R"(-acodec "libopus" -ab 96000 )"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FfmpegCommandTest, KeptContainerWithoutAudioLeavesTheAudioOptionsOut)
{
    VideoTask task = Source("silent.mp4");
    task.hasAudio = 0;
    task.audioCodec.clear();
    task.audioBitRate = task.audioSampleRate = task.audioChannels = 0;
    const FfmpegCommand command = Render(task, Container(0), {});
    EXPECT_EQ(
        command.text.toStdString(),
        R"("/app/ffmpeg" -y -i "/v/silent.mp4" -r "25.00" -vcodec "h264" -b:v 1000000 "/out/silent.mp4")");
    EXPECT_EQ(command.arguments.last(), "/out/silent.mp4");
    // A new container still encodes any audio with the parameters.
    EXPECT_TRUE(Render(task, Container(1), {}).text.contains("-acodec aac"));
}

struct RateTextCase {
    const char* text;
    bool isRate;
};

void PrintTo(const RateTextCase& c, std::ostream* out)
{
    *out << '"' << c.text << '"';
}

class FrameRateTextTest : public ::testing::TestWithParam<RateTextCase> {};

TEST_P(FrameRateTextTest, OnlyRatesReachDashR)
{
    VideoTask task = Source("clip.mov");
    task.frameRateText = QString::fromUtf8(GetParam().text);
    EXPECT_EQ(IsFrameRateText(task.frameRateText), GetParam().isRate);
    const FfmpegCommand command = Render(task, Container(1), {});
    EXPECT_EQ(command.arguments.contains("-r"), GetParam().isRate) << command.text.toStdString();
    if (!GetParam().isRate) {
        EXPECT_EQ(
            command.text.toStdString(),
            R"("/app/ffmpeg" -y -i "/v/clip.mov" -vcodec h264 -acodec aac -preset ultrafast -b:v 1000000 -ab 128000 -ar 44100 -ac 2 "/out/clip.mp4")");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FrameRateTextTest,
    ::testing::Values(RateTextCase{"29.970", true}, RateTextCase{"30000/1001", true},
                      RateTextCase{"", false}, RateTextCase{"Unable to load MediaInfo.dll", false},
                      RateTextCase{"0.000", false}, RateTextCase{"30/0", false},
                      RateTextCase{"25,00", false}));

TEST(FfmpegCommandTest, PathsAreWholeArgumentsThatCannotReadAsOptions)
{
    const QString odd = "/v/quote\"s 'x' $HOME 100% [1] 中文.mp4";
    FfmpegCommand command =
        RenderCommand(PlanCommand(Source("x.mp4"), Container(0), {}), "ffmpeg", odd, odd);
    EXPECT_EQ(command.arguments.count(odd), 2);
    // Relative paths are made absolute: "-y.mp4" is no option, "a:b.mp4" no protocol.
    command = RenderCommand(PlanCommand(Source("-y.mp4"), Container(0), {}), "ffmpeg", "-y.mp4",
                            "a:b.mp4");
    EXPECT_EQ(command.arguments[command.arguments.indexOf("-i") + 1],
              QDir::currentPath() + "/-y.mp4");
    EXPECT_EQ(command.arguments.last(), QDir::currentPath() + "/a:b.mp4");
}

// Generates the German locale into the test's home when the system lacks it.
bool UseGermanLocale()
{
    if (std::setlocale(LC_ALL, "de_DE.UTF-8")) return true;
    const QString localedef = QStandardPaths::findExecutable("localedef");
    if (localedef.isEmpty() || !QDir("/usr/share/i18n/locales").exists("de_DE")) return false;
    const QString folder = testenv::Home() + "/locale";
    QDir().mkpath(folder);
    QProcess::execute(localedef, {"-i", "de_DE", "-f", "UTF-8", folder + "/de_DE.UTF-8"});
    qputenv("LOCPATH", folder.toUtf8());
    return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

TEST(FfmpegCommandTest, SameBytesUnderAGermanLocale)
{
    auto renderAll = [] {
        QByteArray all;
        MainPageSnapshot page;
        page.bitRateChecked = true;
        page.bitRateSlider = 33;
        for (const char* name : {"clip.ts", "clip.mov", "movie.avi", "x.wmv"}) {
            for (int type = 0; type <= 4; ++type) {
                for (bool compatible : {false, true}) {
                    page.compatibleChecked = compatible;
                    VideoTask task = Source(name);
                    task.videoBitRate = 1234567;
                    task.frameRateText = "29.970";
                    all += Render(task, Container(type, 1280, 720), page).text.toUtf8() + '\n';
                    all += Render(task, Container(type), page).text.toUtf8() + '\n';
                }
            }
        }
        return all;
    };
    const QByteArray plain = renderAll();
    if (!UseGermanLocale()) GTEST_SKIP() << "the de_DE.UTF-8 locale is not available";
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    char decimal[16];
    std::snprintf(decimal, sizeof decimal, "%.1f", 1.5);
    const QByteArray german = renderAll();
    EXPECT_STREQ(decimal, "1,5");  // the locale is in effect
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(german, plain);
    EXPECT_TRUE(plain.contains("-r \"29.970\""));
}

}  // namespace

namespace {

struct PlannedRuns {
    CommandPlan plan;
    std::vector<FfmpegCommand> runs;
    QStringList notes;
};

// The runs of a mp4 (or other) output of a 2 Mbit/s source under the given choices.
PlannedRuns Runs(int codec, const MainPageSnapshot& page, int videoType = 1,
                 const QString& av1 = "libsvtav1", const VideoTask& task = Source("clip.mov"),
                 int compressType = 0)
{
    CompressSettings values = Container(videoType);
    values.codec = codec;
    values.compressType = compressType;
    PlannedRuns result;
    result.plan = PlanCommand(task, values, page);
    const QString output =
        OutputNameResolver("/out", task.fileName, result.plan.extension).Candidate(1);
    EncoderRuns encode =
        RenderEncoderRuns(result.plan, "/app/ffmpeg", task.filePath, output, "/tmp/pl", av1);
    result.runs = std::move(encode.runs);
    result.notes = std::move(encode.notes);
    return result;
}

// The value after option, or "" when the option is missing.
QString ValueOf(const QStringList& arguments, const QString& option)
{
    const qsizetype at = arguments.indexOf(option);
    return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1] : QString();
}

MainPageSnapshot Page(bool quality, bool twoPass, bool balanced = false)
{
    MainPageSnapshot page;
    page.qualityMode = quality;
    page.twoPass = twoPass;
    page.balancedChecked = balanced;
    return page;
}

}  // namespace

TEST(EncoderChoiceTest, DefaultsLeaveEveryTemplateExactlyAsItIs)
{
    // H.264 in bit-rate mode, one pass: the template's command, whatever the container.
    for (int videoType = 0; videoType <= 4; ++videoType) {
        for (bool compatible : {false, true}) {
            MainPageSnapshot page;
            page.compatibleChecked = compatible;
            const PlannedRuns runs = Runs(0, page, videoType);
            ASSERT_EQ(runs.runs.size(), 1u);
            const FfmpegCommand plain = RenderCommand(runs.plan, "/app/ffmpeg", "/v/clip.mov",
                                                      "/out/clip." + runs.plan.extension);
            EXPECT_EQ(runs.runs[0].text, plain.text);
            EXPECT_EQ(runs.runs[0].arguments, plain.arguments);
            EXPECT_TRUE(runs.notes.isEmpty()) << runs.notes.join('\n').toStdString();
        }
    }
}

TEST(EncoderChoiceTest, CodecsNameTheirEncodersForMp4AndMkvOnly)
{
    const MainPageSnapshot page;
    const FfmpegCommand h265 = Runs(1, page, 1).runs.at(0);
    EXPECT_EQ(ValueOf(h265.arguments, "-vcodec"), "libx265");
    EXPECT_EQ(h265.arguments.count("-vcodec"), 1);
    EXPECT_EQ(ValueOf(h265.arguments, "-tag:v"), "hvc1");   // players of MP4 want this tag
    EXPECT_EQ(ValueOf(h265.arguments, "-b:v"), "1000000");  // the strength's rule holds
    EXPECT_NE(ValueOf(h265.arguments, "-preset"), "ultrafast");
    EXPECT_EQ(ValueOf(h265.arguments, "-acodec"), "aac");
    EXPECT_EQ(h265.arguments.last(), "/out/clip.mp4");
    EXPECT_TRUE(h265.text.contains("-vcodec libx265")) << h265.text.toStdString();

    const FfmpegCommand mkv = Runs(1, page, 4).runs.at(0);
    EXPECT_EQ(ValueOf(mkv.arguments, "-vcodec"), "libx265");
    EXPECT_FALSE(mkv.arguments.contains("-tag:v"));

    // The balanced box trades size for speed with a faster speed than the default one.
    const QStringList svt = Runs(2, page, 4).runs.at(0).arguments;
    const QStringList svtFast = Runs(2, Page(false, false, true), 4).runs.at(0).arguments;
    EXPECT_EQ(ValueOf(svt, "-vcodec"), "libsvtav1");
    EXPECT_GT(ValueOf(svtFast, "-preset").toInt(), ValueOf(svt, "-preset").toInt());
    // At a bit rate SVT-AV1 gets no allowance to overshoot (by a quarter on short clips at its
    // default); a constant quality has none to take.
    EXPECT_EQ(ValueOf(svt, "-svtav1-params"), "overshoot-pct=0");
    EXPECT_FALSE(Runs(2, Page(true, false), 4).runs.at(0).arguments.contains("-svtav1-params"));
    EXPECT_FALSE(Runs(2, page, 4, "libaom-av1").runs.at(0).arguments.contains("-svtav1-params"));
    const QStringList x264 = Runs(0, Page(true, false), 1).runs.at(0).arguments;
    const QStringList x264Fast = Runs(0, Page(true, false, true), 1).runs.at(0).arguments;
    EXPECT_EQ(ValueOf(x264, "-preset"), "medium");
    EXPECT_NE(ValueOf(x264Fast, "-preset"), "medium");
    const FfmpegCommand aom = Runs(2, page, 4, "libaom-av1").runs.at(0);
    EXPECT_EQ(ValueOf(aom.arguments, "-vcodec"), "libaom-av1");
    EXPECT_FALSE(ValueOf(aom.arguments, "-cpu-used").isEmpty());
    EXPECT_FALSE(aom.arguments.contains("-preset"));

    // FLV and MOV keep H.264; a kept container keeps the source's codec; compatible MP4 stays
    // "mpeg4". Each says so.
    const PlannedRuns flv = Runs(1, page, 2);
    EXPECT_EQ(ValueOf(flv.runs.at(0).arguments, "-vcodec"), "h264");
    ASSERT_EQ(flv.notes.size(), 1);
    EXPECT_TRUE(flv.notes[0].startsWith("H.265 applies to MP4 and MKV"))
        << flv.notes[0].toStdString();
    EXPECT_EQ(ValueOf(Runs(2, page, 3).runs.at(0).arguments, "-vcodec"), "h264");
    EXPECT_TRUE(Runs(2, page, 3).notes.value(0).startsWith("AV1 applies"));
    EXPECT_EQ(ValueOf(Runs(1, page, 0).runs.at(0).arguments, "-vcodec"), "h264");
    EXPECT_TRUE(Runs(1, page, 0).notes.value(0).contains("the source's codec"));
    MainPageSnapshot compatible;
    compatible.compatibleChecked = true;
    EXPECT_EQ(ValueOf(Runs(1, compatible, 1).runs.at(0).arguments, "-vcodec"), "mpeg4");
    EXPECT_TRUE(Runs(1, compatible, 1).notes.value(0).contains("MPEG-4"));
}

TEST(EncoderChoiceTest, QualityModeTakesTheStrengthsCrfUnderACapFarAboveTheSource)
{
    const MainPageSnapshot page = Page(true, false);
    for (int codec = 0; codec <= 2; ++codec) {
        const FfmpegCommand command = Runs(codec, page).runs.at(0);
        const QString encoder = ValueOf(command.arguments, "-vcodec");
        EXPECT_FALSE(command.arguments.contains("-b:v")) << codec;
        EXPECT_EQ(ValueOf(command.arguments, "-crf"),
                  QString::number(videocodec::QualityLevel(encoder, 0)));
        // The cap is only a safety bound: above the source's 2 Mbit/s, so the constant quality
        // and not the source's rate sets the size.
        EXPECT_EQ(ValueOf(command.arguments, "-maxrate"), "4000000");
        EXPECT_EQ(ValueOf(command.arguments, "-bufsize"), "8000000");
    }
    EXPECT_EQ(ValueOf(Runs(0, page).runs.at(0).arguments, "-vcodec"), "libx264");
    // The reference AV1 encoder takes its ceiling as the bit rate beside the CRF.
    const FfmpegCommand aom = Runs(2, page, 1, "libaom-av1").runs.at(0);
    EXPECT_EQ(ValueOf(aom.arguments, "-b:v"), "4000000");
    EXPECT_FALSE(aom.arguments.contains("-maxrate"));

    // A source of unknown rate has no cap; a rate near the int range's end does not wrap.
    VideoTask unknown = Source("clip.mov");
    unknown.videoBitRate = 0;
    EXPECT_FALSE(Runs(0, page, 1, "", unknown).runs.at(0).arguments.contains("-maxrate"));
    VideoTask huge = Source("clip.mov");
    huge.videoBitRate = INT_MAX;
    EXPECT_EQ(ValueOf(Runs(1, page, 1, "", huge).runs.at(0).arguments, "-maxrate"),
              QString::number(INT_MAX));

    // Stronger strengths ask for lower quality, on every encoder.
    for (const char* encoder : {"libx264", "libx265", "libsvtav1", "libaom-av1"}) {
        EXPECT_LT(videocodec::QualityLevel(encoder, 0), videocodec::QualityLevel(encoder, 1));
        EXPECT_LT(videocodec::QualityLevel(encoder, 1), videocodec::QualityLevel(encoder, 2));
    }
    const QStringList limit = Runs(1, page, 1, "", Source("clip.mov"), 2).runs.at(0).arguments;
    EXPECT_EQ(ValueOf(limit, "-crf"), QString::number(videocodec::QualityLevel("libx265", 2)));

    // A kept container cannot take quality mode and says so.
    const PlannedRuns kept = Runs(0, page, 0);
    EXPECT_FALSE(kept.runs.at(0).arguments.contains("-crf"));
    EXPECT_TRUE(kept.notes.value(0).startsWith("quality mode applies"))
        << kept.notes.value(0).toStdString();
}

TEST(EncoderChoiceTest, ThinSourcesTakeAFasterAv1SpeedThanCameraFootage)
{
    // 720p at 30 frames a second: 14 Mbit/s is camera footage (0.5 bits per pixel), 400 kbit/s
    // a screen recording (0.014).
    const auto runAt = [](int rate, const QString& frameRate) {
        VideoTask task = Source("clip.mov");
        task.width = 1280;
        task.height = 720;
        task.videoBitRate = rate;
        task.frameRateText = frameRate;
        return Runs(2, Page(true, false), 1, "libsvtav1", task);
    };
    const PlannedRuns camera = runAt(14000000, "30/1"), screen = runAt(400000, "30.00");
    EXPECT_NEAR(camera.plan.sourceBitsPerPixel, 0.506, 0.001);
    EXPECT_NEAR(screen.plan.sourceBitsPerPixel, 0.0145, 0.0001);
    const QStringList dense = camera.runs.at(0).arguments, thin = screen.runs.at(0).arguments;
    EXPECT_GT(ValueOf(thin, "-preset").toInt(), ValueOf(dense, "-preset").toInt());
    EXPECT_NE(ValueOf(thin, "-crf"), ValueOf(dense, "-crf"));
    // Without a frame rate the density is unknown: the default row.
    const PlannedRuns unknown = runAt(400000, "");
    EXPECT_EQ(unknown.plan.sourceBitsPerPixel, 0);
    EXPECT_EQ(ValueOf(unknown.runs.at(0).arguments, "-preset"), ValueOf(dense, "-preset"));
    // x264 has no thin row.
    VideoTask thinH264 = Source("clip.mov");
    thinH264.width = 1280;
    thinH264.height = 720;
    thinH264.videoBitRate = 400000;
    EXPECT_EQ(ValueOf(Runs(0, Page(true, false), 1, "", thinH264).runs.at(0).arguments, "-preset"),
              "medium");
}

TEST(EncoderChoiceTest, EncoderArgumentsVaryOnlyTheConstantQuality)
{
    const PlannedRuns runs = Runs(1, Page(true, false));
    const EncoderPlan plan = PlanEncoder(runs.plan, "libsvtav1");
    const QStringList at20 = EncoderArguments(plan, 20), at30 = EncoderArguments(plan, 30);
    EXPECT_EQ(ValueOf(at20, "-crf"), "20");
    EXPECT_EQ(ValueOf(at30, "-crf"), "30");
    QStringList same = at30;
    same[same.indexOf("-crf") + 1] = "20";
    EXPECT_EQ(same, at20);
    // Every option of the plan's own level appears in the task's command line.
    for (const QString& option : EncoderArguments(plan))
        EXPECT_TRUE(runs.runs.at(0).arguments.contains(option)) << option.toStdString();
    // x264 takes a fractional CRF, printed in its shortest form; whole ones stay whole.
    const EncoderPlan x264 = PlanEncoder(Runs(0, Page(true, false)).plan, "libsvtav1");
    ASSERT_EQ(x264.encoder, "libx264");
    EXPECT_EQ(ValueOf(EncoderArguments(x264, 20.75), "-crf"), "20.75");
    EXPECT_EQ(ValueOf(EncoderArguments(x264, 20.5), "-crf"), "20.5");
    EXPECT_EQ(ValueOf(EncoderArguments(x264, 21.0), "-crf"), "21");
    EXPECT_EQ(ValueOf(EncoderArguments(x264), "-crf"), QString::number(x264.crf));
}

TEST(EncoderChoiceTest, TwoPassRunsWithEveryContainerAndBothPassesSeeTheSameFrames)
{
    const MainPageSnapshot page = Page(false, true);
    // The options that decide which frames an encoder sees: the same in both passes.
    const auto frameOptions = [](const QStringList& arguments) {
        QStringList kept;
        for (const char* option :
             {"-i", "-r", "-s", "-vf", "-fps_mode", "-vcodec", "-preset", "-b:v", "-passlogfile"})
            kept << option << ValueOf(arguments, option);
        return kept;
    };
    MainPageSnapshot compatible = page;
    compatible.compatibleChecked = true;
    VideoTask odd = Source("clip.mov");
    odd.width = 321;
    odd.height = 241;
    VideoTask ts = Source("clip.ts");
    for (int videoType = 0; videoType <= 4; ++videoType) {
        for (const MainPageSnapshot& choice : {page, compatible}) {
            for (const VideoTask& task : {Source("clip.mov"), odd, ts}) {
                const PlannedRuns runs = Runs(0, choice, videoType, "libsvtav1", task);
                const std::string where = runs.runs.at(0).text.toStdString();
                ASSERT_EQ(runs.runs.size(), 2u) << where;
                EXPECT_TRUE(runs.notes.isEmpty()) << where;
                const QStringList& first = runs.runs[0].arguments;
                const QStringList& second = runs.runs[1].arguments;
                EXPECT_EQ(frameOptions(first), frameOptions(second)) << where;
                EXPECT_EQ(ValueOf(first, "-fps_mode"), first.contains("-r") ? "cfr" : "vfr")
                    << where;
                EXPECT_EQ(ValueOf(first, "-pass"), "1");
                EXPECT_EQ(ValueOf(second, "-pass"), "2");
                // The first pass writes nothing and encodes no sound.
                EXPECT_EQ(first.mid(first.size() - 4),
                          QStringList({"-an", "-f", "null", "/dev/null"}));
                EXPECT_FALSE(first.contains("-acodec"));
                EXPECT_EQ(second.last(), "/out/clip." + runs.plan.extension);
                EXPECT_FALSE(ValueOf(second, "-acodec").isEmpty()) << where;
            }
        }
    }
    const PlannedRuns h264 = Runs(0, page);
    EXPECT_EQ(ValueOf(h264.runs[1].arguments, "-vcodec"), "libx264");
    EXPECT_EQ(ValueOf(h264.runs[1].arguments, "-preset"), "medium");
    EXPECT_EQ(ValueOf(h264.runs[1].arguments, "-b:v"), "1000000");  // the same 50 % target
    EXPECT_EQ(ValueOf(h264.runs[0].arguments, "-passlogfile"), "/tmp/pl/pass");

    // x265 reads its passes from its own parameters, in a new container and a kept one.
    const PlannedRuns h265 = Runs(1, page);
    ASSERT_EQ(h265.runs.size(), 2u);
    EXPECT_EQ(ValueOf(h265.runs[0].arguments, "-x265-params"),
              "pass=1:stats=/tmp/pl/x265.log:slow-firstpass=0");
    EXPECT_EQ(ValueOf(h265.runs[1].arguments, "-x265-params"), "pass=2:stats=/tmp/pl/x265.log");
    EXPECT_FALSE(h265.runs[0].arguments.contains("-tag:v"));
    VideoTask hevc = Source("clip.mkv");
    hevc.videoCodec = "hevc";
    const PlannedRuns keptHevc = Runs(0, page, 0, "libsvtav1", hevc);
    ASSERT_EQ(keptHevc.runs.size(), 2u);
    EXPECT_EQ(ValueOf(keptHevc.runs[1].arguments, "-x265-params"), "pass=2:stats=/tmp/pl/x265.log");
}

TEST(EncoderChoiceTest, TwoPassThatCannotApplySaysSo)
{
    // Quality mode needs no first pass.
    const PlannedRuns quality = Runs(0, Page(true, true));
    EXPECT_EQ(quality.runs.size(), 1u);
    EXPECT_EQ(quality.notes, QStringList{"two-pass does not apply to quality mode: one "
                                         "constant-quality pass"});
    // AV1 runs one pass at the same bit rate.
    const PlannedRuns av1 = Runs(2, Page(false, true));
    ASSERT_EQ(av1.runs.size(), 1u);
    EXPECT_EQ(ValueOf(av1.runs[0].arguments, "-vcodec"), "libsvtav1");
    EXPECT_EQ(ValueOf(av1.runs[0].arguments, "-b:v"), "1000000");
    ASSERT_EQ(av1.notes.size(), 1);
    EXPECT_TRUE(av1.notes[0].startsWith("two-pass does not apply to AV1"));
    // A kept codec whose encoder reads no first pass runs once.
    VideoTask prores = Source("clip.mov");
    prores.videoCodec = "prores";
    const PlannedRuns kept = Runs(0, Page(false, true), 0, "libsvtav1", prores);
    EXPECT_EQ(kept.runs.size(), 1u);
    EXPECT_EQ(kept.notes, QStringList{"two-pass does not apply to the prores encoder: one pass"});
    // Quality mode on a kept container: the bit-rate rule, and so two passes, apply.
    const PlannedRuns keptQuality = Runs(0, Page(true, true), 0);
    EXPECT_EQ(keptQuality.runs.size(), 2u);
    EXPECT_EQ(keptQuality.notes.size(), 1);
}

TEST(EncoderChoiceTest, PassLogsLiveInTheUsersCacheFolder)
{
    const QByteArray saved = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", "/c/cache");
    EXPECT_EQ(PassLogRoot(), "/c/cache/LumoCompress");
    qputenv("XDG_CACHE_HOME", "relative/cache");
    EXPECT_EQ(PassLogRoot(), QDir::homePath() + "/.cache/LumoCompress");
    qputenv("XDG_CACHE_HOME", saved);
}
