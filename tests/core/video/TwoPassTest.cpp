// SPDX-License-Identifier: GPL-3.0-or-later
// Two passes run by the real ffmpeg, for each kind of output, on sources whose timestamps make
// muxers disagree about the frames: one with a frame missing (MP4 repeats one to keep the rate,
// the null muxer of the first pass does not) and one of odd size (scaled in both passes).

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <vector>

#include "core/app/Paths.h"
#include "core/intake/MediaProbe.h"
#include "core/intake/MediaScan.h"
#include "core/platform/ChildProcess.h"
#include "core/search/SearchTestSupport.h"
#include "core/video/FfmpegCommand.h"
#include "core/video/FfmpegRunner.h"
#include "core/video/VideoSettings.h"
#include "support/Printers.h"

namespace {

struct TwoPassCase {
    const char* name;
    const char* source;  // "gap.mkv", "gap.ts" or "odd.mkv"
    int videoType;       // 0 keeps the container
    int codec;
    bool compatible;
};

void PrintTo(const TwoPassCase& c, std::ostream* out)
{
    *out << c.name;
}

class TwoPassTest : public ::testing::TestWithParam<TwoPassCase> {
protected:
    static void SetUpTestSuite()
    {
        media_ = new QTemporaryDir;
        ASSERT_TRUE(media_->isValid());
        // 30 frames a second with frame 10 left out; the odd one in MPEG-4, which takes odd
        // sizes, where x264 and x265 need the scale filter.
        const QString ffmpeg = FindTool("ffmpeg");
        const QString drop = "select='not(eq(n\\,10))'";
        const QList<QStringList> sources = {
            {"-i", "testsrc=size=96x64:rate=30:duration=1", "-vf", drop, "-c:v", "libx264",
             "-preset", "ultrafast", media_->filePath("gap.mkv")},
            {"-i", "testsrc=size=96x64:rate=30:duration=1", "-vf", drop, "-c:v", "libx264",
             "-preset", "ultrafast", media_->filePath("gap.ts")},
            {"-i", "testsrc=size=97x65:rate=30:duration=1", "-vf", drop, "-c:v", "mpeg4",
             media_->filePath("odd.mkv")},
        };
        for (const QStringList& source : sources) {
            const auto made = platform::RunCapture(
                ffmpeg, QStringList{"-v", "error", "-y", "-f", "lavfi"} + source, 30000, 1 << 20);
            ASSERT_TRUE(made.Succeeded()) << made.output.toStdString();
        }
    }
    static void TearDownTestSuite()
    {
        delete media_;
        media_ = nullptr;
    }
    static QTemporaryDir* media_;
};

QTemporaryDir* TwoPassTest::media_ = nullptr;

}  // namespace

TEST_P(TwoPassTest, BothPassesSeeTheSameFramesAndTheOutputHoldsThem)
{
    const TwoPassCase& c = GetParam();
    VideoTask task = MakeVideoTask(media_->path() + "/", c.source);
    ASSERT_TRUE(ProbeVideo(task.filePath, task));
    CompressSettings values;
    values.videoType = c.videoType;
    values.codec = c.codec;
    MainPageSnapshot page;
    page.twoPass = true;
    page.compatibleChecked = c.compatible;
    const CommandPlan plan = PlanCommand(task, values, page);
    ASSERT_TRUE(RunsTwoPasses(plan));

    QTemporaryDir work;
    const QString output = work.filePath("out." + plan.extension);
    const QString ffmpeg = FindTool("ffmpeg");
    const EncoderRuns encode = RenderEncoderRuns(plan, ffmpeg, task.filePath, output, work.path(),
                                                 videocodec::Av1Encoder(ffmpeg));
    ASSERT_EQ(encode.runs.size(), 2u);
    FfmpegRunner runner;
    for (const FfmpegCommand& run : encode.runs) {
        const FfmpegOutcome outcome = runner.Run(
            run.program, run.arguments, [](qint64) {}, [](const FfmpegEvent&) {});
        ASSERT_EQ(outcome.kind, FfmpegOutcome::Kind::Done) << outcome.reason.toStdString() << "\n"
                                                           << run.text.toStdString();
    }
    VideoInfo written;
    ASSERT_TRUE(ProbeVideo(output, written)) << output.toStdString();
    EXPECT_EQ(written.width % 2, plan.videoFilter.isEmpty() ? task.width % 2 : 0);
    const double seconds =
        written.formatDuration > 0 ? written.formatDuration : written.videoDuration;
    EXPECT_NEAR(seconds, 1.0, 0.1);
    // The first pass wrote only into the pass folder: no file beside the output.
    EXPECT_EQ(QDir(work.path()).entryList(QDir::Files).filter("out.").size(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, TwoPassTest,
    ::testing::Values(TwoPassCase{"KeptMkvH264", "gap.mkv", 0, 0, false},
                      TwoPassCase{"KeptMkvMpeg4OddSize", "odd.mkv", 0, 0, false},
                      TwoPassCase{"KeptTsWithoutRate", "gap.ts", 0, 0, false},
                      TwoPassCase{"Mp4H264", "gap.mkv", 1, 0, false},
                      TwoPassCase{"Mp4H264FromTs", "gap.ts", 1, 0, false},
                      TwoPassCase{"Mp4H264OddSize", "odd.mkv", 1, 0, false},
                      TwoPassCase{"Mp4Compatible", "gap.mkv", 1, 0, true},
                      TwoPassCase{"FlvH264", "gap.mkv", 2, 0, false},
                      TwoPassCase{"MovH264", "gap.mkv", 3, 0, false},
                      TwoPassCase{"MkvH265", "gap.mkv", 4, 1, false},
                      TwoPassCase{"Mp4H265OddSize", "odd.mkv", 1, 1, false}),
    [](const ::testing::TestParamInfo<TwoPassCase>& info) { return info.param.name; });

// Scrolling text at a thin rate: x264's fast first pass misjudged such frames and the second
// pass wrote a worse look than one constant-quality pass at the same bytes. Two passes now do
// at least as well as that one pass.
TEST(TwoPassLook, ScrollingTextAtAThinRateLooksAsOnePassDoesAtTheSameBytes)
{
    QTemporaryDir work;
    const QString source = work.filePath("text.mkv");
    ASSERT_TRUE(searchtest::MakeClip(source, searchtest::Clip::Text, 2, "320x240", false));
    VideoTask task = MakeVideoTask(work.path() + "/", "text.mkv");
    ASSERT_TRUE(ProbeVideo(task.filePath, task));
    CompressSettings values;
    values.videoType = 1;  // MP4, H.264
    MainPageSnapshot page;
    page.twoPass = true;
    CommandPlan plan = PlanCommand(task, values, page);
    ASSERT_TRUE(RunsTwoPasses(plan));
    plan.videoBitRate = 50000;  // about 12 kB for the 2 s

    const QString ffmpeg = FindTool("ffmpeg");
    const QString output = work.filePath("two.mp4");
    const EncoderRuns encode = RenderEncoderRuns(plan, ffmpeg, task.filePath, output, work.path(),
                                                 videocodec::Av1Encoder(ffmpeg));
    ASSERT_EQ(encode.runs.size(), 2u);
    for (const FfmpegCommand& run : encode.runs)
        ASSERT_TRUE(searchtest::RunQuietly(run.program, run.arguments)) << run.text.toStdString();
    const double bytes = QFileInfo(output).size();
    const double ssim = searchtest::FileSsim(output, source);

    // One pass of the same preset at two constant qualities around those bytes.
    struct Point {
        double bytes;
        double ssim;
    };
    std::vector<Point> curve;
    for (const char* crf : {"41", "44"}) {
        const QString one = work.filePath(QString("crf%1.mp4").arg(crf));
        ASSERT_TRUE(
            searchtest::RunQuietly(ffmpeg, {"-v", "error", "-y", "-i", source, "-c:v", "libx264",
                                            "-preset", "medium", "-crf", crf, one}));
        curve.push_back({double(QFileInfo(one).size()), searchtest::FileSsim(one, source)});
    }
    ASSERT_LT(curve[1].bytes, bytes);
    ASSERT_GT(curve[0].bytes, bytes);
    const double at = std::log(bytes / curve[1].bytes) / std::log(curve[0].bytes / curve[1].bytes);
    const double onePass = curve[1].ssim + at * (curve[0].ssim - curve[1].ssim);
    RecordProperty("two_pass_ssim", std::to_string(ssim));
    RecordProperty("one_pass_ssim_at_its_bytes", std::to_string(onePass));
    // The fast first pass gave 0.006 below that curve here (SSIM 0.874 for 0.922 now).
    EXPECT_GE(ssim, onePass) << bytes << " bytes";
}
