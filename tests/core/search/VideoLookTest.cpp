// SPDX-License-Identifier: GPL-3.0-or-later
// The look search on real clips: the samples, the probes' commands (the task's own encode at
// another CRF), the search's answer checked against a real encode of the whole clip, a stop
// that kills a running probe, and no probe file left behind.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <utime.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "SearchTestSupport.h"
#include "core/app/Paths.h"
#include "core/platform/ChildProcess.h"
#include "core/search/Ssim.h"
#include "core/search/VideoLook.h"
#include "core/video/EncoderPlan.h"
#include "core/video/VideoSettings.h"

using namespace search;

namespace {

class VideoLookTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        media_ = new QTemporaryDir;
        ASSERT_TRUE(
            searchtest::MakeClip(media_->filePath("grain.mkv"), searchtest::Clip::Grain, 4));
    }
    static void TearDownTestSuite()
    {
        delete media_;
        media_ = nullptr;
    }
    static QString Source() { return media_->filePath("grain.mkv"); }
    static VideoLookRequest Request(double target)
    {
        VideoLookRequest request;
        request.plan = searchtest::LookPlan(Source());
        request.plan.preset = "fast";  // the balanced row: x264 veryfast, quick probes
        request.ffmpeg = FindTool("ffmpeg");
        request.sourcePath = Source();
        request.av1Encoder = videocodec::Av1Encoder(request.ffmpeg);
        request.durationSeconds = 4;
        request.targetSsim = target;
        request.samples = {{0.5, 1.2}, {2.5, 1.2}};
        return request;
    }
    static QStringList LookFolders()
    {
        return QDir(PassLogRoot()).entryList({"look-*"}, QDir::Dirs);
    }
    // The samples' mean luma SSIM and total bytes at a CRF, measured apart from the search: each
    // sample cut as the search cuts it, encoded by the task's run, compared whole.
    static std::pair<double, qint64> MeasureSamples(const VideoLookRequest& request, double crf)
    {
        QTemporaryDir work;
        double ssim = 0;
        qint64 bytes = 0;
        for (size_t i = 0; i < request.samples.size(); ++i) {
            const QString reference = work.filePath(QString("reference%1.mkv").arg(i));
            const QString probe = work.filePath(QString("sample%1.mp4").arg(i));
            if (!searchtest::RunQuietly(
                    request.ffmpeg,
                    ReferenceArguments(request.sourcePath, request.samples[i], reference)))
                return {-1, 0};
            const FfmpegCommand encode = SampleCommand(request.plan, request.ffmpeg, reference,
                                                       probe, request.av1Encoder, crf);
            if (!searchtest::RunQuietly(encode.program, encode.arguments)) return {-1, 0};
            ssim += searchtest::FileSsim(probe, reference) / double(request.samples.size());
            bytes += QFileInfo(probe).size();
        }
        return {ssim, bytes};
    }
    static QTemporaryDir* media_;
};

QTemporaryDir* VideoLookTest::media_ = nullptr;

}  // namespace

TEST(VideoSamplesTest, SpreadOverTheSourceWithinTheirShare)
{
    // A source no longer than a sample is one sample of the whole.
    const auto whole = PlanSamples(2.0);
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_DOUBLE_EQ(whole[0].length, 2.0);
    // Short: one sample in the middle. Long: the most samples, spread, inside, not overlapping.
    const auto shortOne = PlanSamples(6.0);
    ASSERT_EQ(shortOne.size(), 1u);
    EXPECT_NEAR(shortOne[0].start + shortOne[0].length / 2, 3.0, 1e-9);
    for (double duration : {30.0, 61.0, 3600.0}) {
        const auto samples = PlanSamples(duration);
        ASSERT_FALSE(samples.empty());
        EXPECT_LE(samples.size(), 5u);
        double total = 0;
        for (size_t i = 0; i < samples.size(); ++i) {
            EXPECT_GE(samples[i].start, 0);
            EXPECT_LE(samples[i].start + samples[i].length, duration + 1e-9);
            if (i > 0) {
                EXPECT_GE(samples[i].start, samples[i - 1].start + samples[i - 1].length);
            }
            total += samples[i].length;
        }
        EXPECT_LE(total, 0.25 * duration + 1e-9);
    }
    EXPECT_EQ(PlanSamples(3600).size(), 5u);
    EXPECT_TRUE(PlanSamples(0).empty());
}

// Over a minute the search's estimated cost stays within its limit, from just over a minute
// to an hour; under a minute the samples keep their usual share.
TEST(VideoSamplesTest, ALongVideosSearchCostsAtMostHalfItsEncode)
{
    for (double duration : {61.0, 70.0, 100.0, 180.0, 600.0, 3600.0}) {
        const auto samples = PlanSamples(duration);
        ASSERT_FALSE(samples.empty()) << duration;
        const int probes = ProbeLimit(samples, duration, 6);
        EXPECT_GE(probes, 3) << duration;
        EXPECT_LE(probes, 6) << duration;
        EXPECT_LE(SearchCost(samples, duration, probes), kMaxSearchCost + 1e-9) << duration;
        for (const Sample& sample : samples) EXPECT_LE(sample.length, 2.5 + 1e-9);
    }
    // An hour has room for every sample at its whole length, and every probe.
    EXPECT_EQ(ProbeLimit(PlanSamples(3600), 3600, 6), 6);
    EXPECT_DOUBLE_EQ(PlanSamples(3600)[0].length, 2.5);
    // Under a minute nothing is limited.
    const auto half = PlanSamples(30);
    EXPECT_EQ(ProbeLimit(half, 30, 6), 6);
    double total = 0;
    for (const Sample& sample : half) total += sample.length;
    EXPECT_NEAR(total, kSampleFloorSeconds, 1e-9);
    // A source just longer than a sample is one sample of full length.
    ASSERT_EQ(PlanSamples(3.0).size(), 1u);
    EXPECT_DOUBLE_EQ(PlanSamples(3.0)[0].length, 2.5);
    EXPECT_DOUBLE_EQ(SearchCost({}, 70, 4), 0);
}

TEST_F(VideoLookTest, ProbesAreTheTasksOwnEncodeAtAnotherQuality)
{
    const VideoLookRequest request = Request(0.9);
    const CommandPlan& plan = request.plan;
    ASSERT_TRUE(UsesConstantQuality(plan));
    const EncoderPlan encoder = PlanEncoder(plan, request.av1Encoder);
    const EncoderRuns own =
        RenderEncoderRuns(plan, request.ffmpeg, Source(), "/tmp/o.mp4", "/tmp", request.av1Encoder);
    // At the plan's own CRF the runs are the plan's runs, text and all.
    const EncoderRuns same = RenderRunsAtQuality(plan, request.ffmpeg, Source(), "/tmp/o.mp4",
                                                 "/tmp", request.av1Encoder, encoder.crf);
    ASSERT_EQ(same.runs.size(), 1u);
    EXPECT_EQ(same.runs[0].arguments, own.runs[0].arguments);
    EXPECT_EQ(same.runs[0].text, own.runs[0].text);
    // At another, only the CRF's value differs.
    const int other = encoder.crf + 7;
    const EncoderRuns changed = RenderRunsAtQuality(plan, request.ffmpeg, Source(), "/tmp/o.mp4",
                                                    "/tmp", request.av1Encoder, other);
    QStringList expected = own.runs[0].arguments;
    expected[expected.indexOf("-crf") + 1] = QString::number(other);
    EXPECT_EQ(changed.runs[0].arguments, expected);
    EXPECT_TRUE(changed.runs[0].text.contains(QString(" -crf %1 ").arg(other)));
    // x264 at a quarter step: the fraction as it is, the rest unchanged.
    const EncoderRuns quarter = RenderRunsAtQuality(plan, request.ffmpeg, Source(), "/tmp/o.mp4",
                                                    "/tmp", request.av1Encoder, 20.75);
    expected[expected.indexOf("-crf") + 1] = "20.75";
    EXPECT_EQ(quarter.runs[0].arguments, expected);
    EXPECT_TRUE(quarter.runs[0].text.contains(" -crf 20.75 "));

    // A sample: the task's run from the cut sample, without sound.
    const FfmpegCommand sample =
        SampleCommand(plan, request.ffmpeg, "/tmp/r.mkv", "/tmp/s.mp4", request.av1Encoder, other);
    const QStringList& args = sample.arguments;
    EXPECT_EQ(args[args.indexOf("-i") + 1], "/tmp/r.mkv");
    EXPECT_FALSE(args.contains("-acodec"));
    EXPECT_FALSE(args.contains("-ab"));
    EXPECT_EQ(args[args.size() - 2], "-an");
    EXPECT_EQ(args.last(), "/tmp/s.mp4");
    EXPECT_EQ(args[args.indexOf("-crf") + 1], QString::number(other));
    EXPECT_EQ(args[args.indexOf("-vcodec") + 1], encoder.encoder);
}

TEST_F(VideoLookTest, SearchedCrfGivesTheLookOnTheWholeClip)
{
    const double target = 0.93;
    ASSERT_TRUE(LookFolders().isEmpty());
    std::vector<double> fractions;
    const VideoLookResult result =
        SearchVideoLook(Request(target), {}, [&](double f) { fractions.push_back(f); });
    ASSERT_EQ(result.search.status, SearchStatus::Reached)
        << searchtest::ProbeList(result.search, result.crfSteps);
    EXPECT_GE(result.search.value, target);
    // x264: quarter steps.
    EXPECT_EQ(result.crfSteps, 4);
    EXPECT_DOUBLE_EQ(result.Crf(), result.search.setting / 4.0);
    EXPECT_LE(result.search.probes.size(), 6u);
    // The share done rises after every ffmpeg run (a cut, then each probe's encode and
    // comparison) and stays below 1.
    EXPECT_EQ(fractions.size(), 2 + 2 * 2 * result.search.probes.size());
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_GT(fractions.front(), 0);
    EXPECT_LT(fractions.back(), 1);
    EXPECT_GT(result.search.bytes, 0);
    EXPECT_DOUBLE_EQ(result.sampleSeconds, 2.4);
    // The probes are gone with their folder.
    EXPECT_TRUE(LookFolders().isEmpty());
    // Unless the search ended early on a probe close to the target, the next quarter step
    // misses it.
    const bool early = result.search.value - target <= Request(target).tolerance;
    if (!early) {
        bool nextTried = false;
        for (const Probe& probe : result.search.probes) {
            if (probe.setting != result.search.setting + 1) continue;
            nextTried = true;
            EXPECT_LT(probe.measured.value, target);
        }
        EXPECT_TRUE(nextTried) << searchtest::ProbeList(result.search, result.crfSteps);
    }

    // The whole clip encoded at the searched CRF by the task's run keeps the look (the samples
    // are 60 % of it, so within a little).
    QTemporaryDir work;
    const QString output = work.filePath("out.mp4");
    const VideoLookRequest request = Request(target);
    const EncoderRuns runs = RenderRunsAtQuality(request.plan, request.ffmpeg, Source(), output,
                                                 work.path(), request.av1Encoder, result.Crf());
    ASSERT_TRUE(searchtest::RunQuietly(runs.runs[0].program, runs.runs[0].arguments));
    EXPECT_NEAR(searchtest::FileSsim(output, Source()), result.search.value, 0.01);
}

// On grain one whole CRF moves the SSIM by far more than the search's tolerance: with the
// target halfway between two whole CRFs' looks, the search lands between them, on a quarter
// step whose samples reach the target while the next quarter's do not, and writes fewer bytes
// than the whole CRF below it, the best whole steps could do.
TEST_F(VideoLookTest, QuarterStepsLandBetweenTwoWholeCrfs)
{
    VideoLookRequest request = Request(0.9);
    request.tolerance = 0;  // no early end: the boundary itself
    request.maxProbes = 8;
    const EncoderPlan encoder = PlanEncoder(request.plan, request.av1Encoder);
    const int whole = encoder.crf;
    const auto [better, betterBytes] = MeasureSamples(request, whole);
    const auto [worse, worseBytes] = MeasureSamples(request, whole + 1);
    ASSERT_GT(better, 0);
    ASSERT_GT(worse, 0);
    ASSERT_GT(better - worse, 0.004) << "one CRF should move the grain's SSIM by more";
    const double target = (better + worse) / 2;
    request.targetSsim = target;

    const VideoLookResult result = SearchVideoLook(request);
    const std::string probes = searchtest::ProbeList(result.search, result.crfSteps);
    ASSERT_EQ(result.search.status, SearchStatus::Reached) << probes;
    const double crf = result.Crf();
    EXPECT_GT(crf, whole) << probes;
    EXPECT_LT(crf, whole + 1) << probes;
    EXPECT_NE(crf, std::round(crf)) << probes;
    EXPECT_LE(result.search.probes.size(), 8u);
    // Measured apart from the search: the samples reach the target there, not a quarter on.
    const auto [at, atBytes] = MeasureSamples(request, crf);
    const auto [next, nextBytes] = MeasureSamples(request, crf + 0.25);
    EXPECT_NEAR(at, result.search.value, 0.0005);
    EXPECT_GE(at, target - 0.0005);
    EXPECT_LT(next, target) << probes;
    EXPECT_LT(atBytes, betterBytes);
    RecordProperty("quarter_crf", std::to_string(crf));
    RecordProperty("bytes_saved_against_whole", std::to_string(betterBytes - atBytes));
}

TEST_F(VideoLookTest, LookBeyondReachAndPlansThatTakeNoCrf)
{
    VideoLookRequest request = Request(0.99999);
    request.samples = {{1.0, 1.0}};
    request.maxProbes = 4;
    const VideoLookResult high = SearchVideoLook(request);
    EXPECT_EQ(high.search.status, SearchStatus::Unreachable);
    // The best it could do is the lowest CRF it tried.
    for (const Probe& probe : high.search.probes) EXPECT_GE(probe.setting, high.search.setting);
    EXPECT_LT(high.search.value, 0.99999);

    // The figure of all planes: the grain's chroma keeps more than its luma.
    request.targetSsim = 0.5;
    request.maxProbes = 1;
    const double luma = SearchVideoLook(request).search.value;
    request.allPlanes = true;
    const double all = SearchVideoLook(request).search.value;
    EXPECT_GT(all, luma);
    EXPECT_GT(luma, 0.5);

    request.plan.qualityMode = false;
    const VideoLookResult bitRate = SearchVideoLook(request);
    EXPECT_EQ(bitRate.search.status, SearchStatus::Failed);
    EXPECT_TRUE(bitRate.search.probes.empty());
    EXPECT_FALSE(bitRate.search.error.isEmpty());
    EXPECT_TRUE(LookFolders().isEmpty());
}

TEST_F(VideoLookTest, StopKillsTheRunningProbeWithinASecond)
{
    // A sample long enough that its encode is still running when the stop comes.
    VideoLookRequest request = Request(0.9);
    request.samples = {{0, 4}};
    request.plan.preset = "ultrafast";  // x264 medium: the slow row
    std::stop_source source;
    QElapsedTimer clock;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        clock.start();
        source.request_stop();
    });
    const VideoLookResult result = SearchVideoLook(request, source.get_token());
    const qint64 afterStop = clock.elapsed();
    stopper.join();
    EXPECT_EQ(result.search.status, SearchStatus::Stopped);
    EXPECT_LT(afterStop, 1000);
    EXPECT_TRUE(result.search.probes.empty());
    EXPECT_TRUE(LookFolders().isEmpty());
}

TEST(ProbeFoldersTest, LeftoversOfAKilledSearchAreRemovedWhenOld)
{
    const QString root = PassLogRoot();
    for (const char* name : {"look-Old123", "look-New123", "other-Old12"}) {
        ASSERT_TRUE(QDir().mkpath(root + "/" + name));
        QFile file(root + "/" + name + "/sample0.mp4");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const utimbuf dayAgo{time(nullptr) - 2 * 24 * 3600, time(nullptr) - 2 * 24 * 3600};
    for (const char* name : {"look-Old123", "other-Old12"})
        ASSERT_EQ(utime(QFile::encodeName(root + "/" + name).constData(), &dayAgo), 0);
    EXPECT_EQ(RemoveLeftoverProbeFolders(), 1);
    EXPECT_FALSE(QDir(root + "/look-Old123").exists());
    EXPECT_TRUE(QDir(root + "/look-New123").exists());  // a running search's
    EXPECT_TRUE(QDir(root + "/other-Old12").exists());  // not ours
}

// Every codec's probes run and measure: two probes on one short sample, from the strength's
// own CRF.
TEST_F(VideoLookTest, EveryCodecsProbesMeasure)
{
    for (int codec : {videocodec::kH265, videocodec::kAv1}) {
        VideoLookRequest request = Request(0.9);
        request.plan = searchtest::LookPlan(Source(), codec);
        request.plan.preset = "fast";
        request.samples = {{1.0, 0.8}};
        request.maxProbes = 2;
        const VideoLookResult result = SearchVideoLook(request);
        ASSERT_EQ(result.search.probes.size(), 2u)
            << codec << ": " << searchtest::ProbeList(result.search);
        const EncoderPlan encoder = PlanEncoder(request.plan, request.av1Encoder);
        EXPECT_EQ(result.CrfOf(result.search.probes[0].setting), encoder.crf);
        // x265 takes quarter steps; the AV1 encoders only whole CRFs, so every probe is one.
        EXPECT_EQ(result.crfSteps, codec == videocodec::kAv1 ? 1 : 4) << codec;
        for (const Probe& probe : result.search.probes) {
            const double crf = result.CrfOf(probe.setting);
            if (codec == videocodec::kAv1) {
                EXPECT_EQ(crf, std::round(crf)) << crf;
            }
        }
        for (const Probe& probe : result.search.probes) {
            EXPECT_GT(probe.measured.value, 0.2) << codec;
            EXPECT_LE(probe.measured.value, 1.0) << codec;
            EXPECT_GT(probe.measured.bytes, 0) << codec;
        }
        // The lower CRF of the two looks better.
        const auto& [a, b] = std::pair(result.search.probes[0], result.search.probes[1]);
        EXPECT_EQ(a.setting<b.setting, a.measured.value> b.measured.value) << codec;
    }
}

// The comparison pairs each encoded frame with its own source frame whatever the containers
// round their timestamps to (a clip at 30 frames a second in Matroska against MP4 paired every
// third frame with the one before it: SSIM 0.78 for 0.99), and measures luma at full range, as the
// strengths' levels and the image searches do.
TEST(VideoComparisonTest, FramesPairWithTheirOwnSourceFramesAndLumaIsAtFullRange)
{
    QTemporaryDir work;
    const QString source = work.filePath("text.mkv");
    ASSERT_TRUE(searchtest::MakeClip(source, searchtest::Clip::Text, 1, "320x240", false));
    const QString ffmpeg = FindTool("ffmpeg");
    // The same encode into three files: MP4 takes the encoder's exact thirtieths, at its own
    // fine time base or at one of a thirtieth, which cannot hold a shift of 2 ms.
    const QString mkv = work.filePath("encoded.mkv");
    const QString mp4 = work.filePath("encoded.mp4");
    const QString coarse = work.filePath("coarse.mp4");
    for (const QString& output : {mkv, mp4})
        ASSERT_TRUE(
            searchtest::RunQuietly(ffmpeg, {"-v", "error", "-y", "-i", source, "-c:v", "libx264",
                                            "-preset", "fast", "-crf", "30", output}));
    ASSERT_TRUE(searchtest::RunQuietly(ffmpeg, {"-v", "error", "-y", "-i", mkv, "-c", "copy",
                                                "-video_track_timescale", "30", coarse}));
    const double inMkv = searchtest::FileSsim(mkv, source);
    EXPECT_GT(inMkv, 0.9);
    EXPECT_NEAR(searchtest::FileSsim(mp4, source), inMkv, 0.002);
    EXPECT_NEAR(searchtest::FileSsim(coarse, source), inMkv, 0.002);

    // ffmpeg's own figure on grey pictures (full-range luma), where the timestamps agree.
    const auto grey = platform::RunCapture(
        ffmpeg,
        {"-hide_banner", "-nostdin", "-i", mkv, "-i", source, "-lavfi",
         "[0:v]format=gray[x];[1:v]format=gray[y];[x][y]ssim", "-f", "null", "-"},
        60000, 1 << 22);
    const auto figures = ParseSsimReport(grey.output);
    ASSERT_TRUE(figures);
    EXPECT_NEAR(inMkv, figures->luma, 1e-4);
}
