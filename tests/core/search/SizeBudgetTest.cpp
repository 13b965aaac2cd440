// SPDX-License-Identifier: GPL-3.0-or-later
// Fitting a video under a size: the rate the size leaves, the sound as really encoded, the
// tries after an overshoot or a file far under, the picture a low rate affords, and the whole
// rule on a real encode.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <thread>
#include <vector>

#include "SearchTestSupport.h"
#include "core/app/Paths.h"
#include "core/platform/ChildProcess.h"
#include "core/search/SizeBudget.h"
#include "core/search/SoundSize.h"

using namespace search;

TEST(SizeBudgetTest, RateLeavesRoomForSoundAndContainer)
{
    const ContainerOverhead mp4 = OverheadOf("mp4");
    const SizeBudget budget = VideoRateForSize(10'000'000, 60, {128000, {}}, mp4);
    ASSERT_TRUE(budget.Fits()) << budget.reason.toStdString();
    // The sound alone is 960 kB; picture, sound and container stay under the limit.
    EXPECT_GT(budget.fixedBytes, 960'000);
    const double total = budget.videoBitRate / 8.0 * 60 + double(budget.fixedBytes);
    EXPECT_LE(total, 10'000'000);
    EXPECT_GT(total, 9'000'000);
    // Without sound the picture gets its share.
    EXPECT_GT(VideoRateForSize(10'000'000, 60, {0, {}}, mp4).videoBitRate, budget.videoBitRate);
    // MP4's index costs more a frame than Matroska's block headers, MPEG-TS's packets most.
    EXPECT_GT(mp4.bytesPerFrame, OverheadOf("mkv").bytesPerFrame);
    EXPECT_GT(OverheadOf("ts").bytesPerFrame, mp4.bytesPerFrame);
}

TEST(SizeBudgetTest, MeasuredSoundAndFramesSetWhatThePictureIsLeft)
{
    const ContainerOverhead mp4 = OverheadOf("mp4");
    // 6 s of a tone at a nominal 128 kbit/s: AAC wrote 84 kB where the rate says 96.
    const SizeBudget nominal = VideoRateForSize(200'000, 6, {128000, {}}, mp4, 25);
    const SizeBudget measured = VideoRateForSize(200'000, 6, SoundCost{128000, 84'000}, mp4, 25);
    ASSERT_TRUE(measured.Fits()) << measured.reason.toStdString();
    // The measured file holds the sound's headers: only the picture's track and its 150
    // frames' index entries come on top.
    EXPECT_GT(measured.fixedBytes, 84'000 + 150 * 20);
    EXPECT_LT(measured.fixedBytes, 84'000 + 150 * 30 + 2048);
    EXPECT_GT(nominal.fixedBytes, measured.fixedBytes + 12'000);
    EXPECT_GT(measured.videoBitRate, nominal.videoBitRate);
    // Aimed at kFirstTryShare of the room the measured sound leaves.
    const double picture = measured.videoBitRate / 8.0 * 6;
    EXPECT_NEAR(picture / double(200'000 - measured.fixedBytes), kFirstTryShare, 0.001);
    // A measured silence is no sound at all, whatever its nominal rate.
    EXPECT_EQ(VideoRateForSize(200'000, 6, SoundCost{128000, 0}, mp4, 25).videoBitRate,
              VideoRateForSize(200'000, 6, {0, {}}, mp4, 25).videoBitRate);
    // More frames, more index: 60 fps leaves the picture less than 25.
    EXPECT_LT(VideoRateForSize(200'000, 6, SoundCost{0, 84'000}, mp4, 60).videoBitRate,
              measured.videoBitRate);
    // A packetized container's headers grow with the picture: less rate for the same room.
    EXPECT_LT(VideoRateForSize(2'000'000, 6, {0, {}}, OverheadOf("ts"), 25).videoBitRate,
              VideoRateForSize(2'000'000, 6, {0, {}}, OverheadOf("mkv"), 25).videoBitRate * 0.96);
    // A measured sound too large says so in bytes, not in a rate.
    const SizeBudget loud = VideoRateForSize(80'000, 6, SoundCost{128000, 84'000}, mp4, 25);
    EXPECT_FALSE(loud.Fits());
    EXPECT_TRUE(loud.reason.contains("84.0 kB as encoded")) << loud.reason.toStdString();
}

TEST(SizeBudgetTest, WhatCannotFitIsSaidBeforeEncoding)
{
    const ContainerOverhead mp4 = OverheadOf("mp4");
    // 128 kbit/s for ten minutes is 9.6 MB: more than 5 MB.
    const SizeBudget sound = VideoRateForSize(5'000'000, 600, {128000, {}}, mp4);
    EXPECT_FALSE(sound.Fits());
    EXPECT_EQ(sound.videoBitRate, 0);
    EXPECT_TRUE(sound.reason.contains("sound")) << sound.reason.toStdString();
    // Room for the sound but a picture of a few kbit/s.
    const SizeBudget thin = VideoRateForSize(1'020'000, 60, {128000, {}}, mp4);
    EXPECT_FALSE(thin.Fits());
    EXPECT_TRUE(thin.reason.contains("kbit/s")) << thin.reason.toStdString();
    // A small limit is said in kB, where MB with one decimal would read "0.0 MB".
    const SizeBudget small = VideoRateForSize(20'000, 3, {69000, {}}, mp4);
    EXPECT_FALSE(small.Fits());
    EXPECT_TRUE(small.reason.contains("in 20.0 kB")) << small.reason.toStdString();
    EXPECT_FALSE(small.reason.contains("0.0 MB")) << small.reason.toStdString();
    EXPECT_FALSE(VideoRateForSize(1'000'000, 0, {128000, {}}, mp4).Fits());
    EXPECT_FALSE(VideoRateForSize(0, 10, {128000, {}}, mp4).Fits());
}

TEST(SizeBudgetTest, RetryScalesThePictureByWhatItTook)
{
    // 12 MB written for a limit of 10 MB, 2 MB of it sound and container: the picture took
    // 10 MB where 8 MB was its room.
    const auto next = RetryRate(10'000'000, 12'000'000, 1'000'000, 2'000'000, 0);
    ASSERT_TRUE(next);
    EXPECT_LT(*next, 800'000);
    EXPECT_GT(*next, 700'000);
    // The same overshoot scaled over the whole file would leave it over the limit.
    const double predicted = 2'000'000 + 10'000'000.0 * *next / 1'000'000;
    EXPECT_LE(predicted, 10'000'000);

    // Close under the limit: no more tries. Far under: up by what the picture left unused.
    EXPECT_FALSE(RetryRate(10'000'000, 9'000'000, 1'000'000, 2'000'000, 0));
    const auto up = RetryRate(10'000'000, 7'000'000, 1'000'000, 2'000'000, 0);
    ASSERT_TRUE(up);
    EXPECT_NEAR(*up, 1'000'000 * 8.0 / 5 * kRetryShare, 1);
    // A picture that took next to nothing is raised at most kMaxRetryRise times.
    EXPECT_EQ(RetryRate(10'000'000, 2'100'000, 1'000'000, 2'000'000, 0),
              static_cast<int>(1'000'000 * kMaxRetryRise));

    EXPECT_FALSE(RetryRate(10'000'000, 12'000'000, 1'000'000, 2'000'000, kMaxSizeRetries));
    EXPECT_FALSE(RetryRate(10'000'000, 7'000'000, 1'000'000, 2'000'000, kMaxSizeRetries));
    EXPECT_TRUE(RetryRate(10'000'000, 12'000'000, 1'000'000, 2'000'000, kMaxSizeRetries - 1));
    EXPECT_FALSE(RetryRate(10'000'000, 12'000'000, 1'000'000, 10'000'000, 0));  // no room
}

TEST(SizeBudgetTest, TriesKeepTheLargestFileThatFits)
{
    // Far under, then over: the third try goes between the two, and when it does no better
    // the first file stays.
    SizeTries tries(1'000'000, 200'000, 1'000'000);
    EXPECT_TRUE(tries.Written(700'000));
    const auto up = tries.Next();
    ASSERT_TRUE(up);
    EXPECT_GT(*up, 1'000'000);
    EXPECT_FALSE(tries.Written(1'050'000));  // over: not the output
    const auto between = tries.Next();
    ASSERT_TRUE(between);
    EXPECT_GT(*between, 1'000'000);
    EXPECT_LT(*between, *up);
    EXPECT_FALSE(tries.Written(690'000));  // fits, but smaller than the first
    EXPECT_FALSE(tries.Next()) << "three tries at most";
    EXPECT_EQ(tries.Tries(), 1 + kMaxSizeRetries);
    EXPECT_EQ(tries.BestBytes(), 700'000);
    EXPECT_EQ(tries.BestRate(), 1'000'000);

    // Over, then close under: done after two, the second is the output.
    SizeTries down(1'000'000, 200'000, 1'000'000);
    EXPECT_FALSE(down.Written(1'100'000));
    EXPECT_FALSE(down.HasBest());
    ASSERT_TRUE(down.Next());
    EXPECT_TRUE(down.Written(960'000));
    EXPECT_FALSE(down.Next());
    EXPECT_EQ(down.BestRate(), down.Rate());
    EXPECT_EQ(down.Tries(), 2);

    // Far under, then over: the third try's rate is where the line through the two files
    // meets 97 % of the picture's room (976 kB).
    SizeTries line(1'000'000, 200'000, 1'000'000);
    EXPECT_TRUE(line.Written(880'000));
    const auto rise = line.Next();
    ASSERT_TRUE(rise);
    EXPECT_FALSE(line.Written(1'300'000));
    const auto aimed = line.Next();
    ASSERT_TRUE(aimed);
    const double slope = (1'300'000.0 - 880'000) / (*rise - 1'000'000);
    EXPECT_NEAR(*aimed, *rise + (976'000 - 1'300'000) / slope, 1);
    EXPECT_GT(*aimed, 1'000'000);

    // An encoder near its coarsest quality: 9 % less rate, 1.5 % smaller. The proportional
    // rule would ask for 137.5 kbit/s, still over; the line through the two files for 125.
    SizeTries floor(51'200, 2'224, 188'067);
    EXPECT_FALSE(floor.Written(61'221));
    const auto second = floor.Next();
    ASSERT_TRUE(second);
    EXPECT_NEAR(*second, 151'438, 200);
    EXPECT_FALSE(floor.Written(54'530));
    const auto third = floor.Next();
    ASSERT_TRUE(third);
    EXPECT_LT(*third, 127'000);
    EXPECT_GT(*third, 120'000);

    // A still picture at the encoder's finest: twice the rate, 4 % more picture. A third try
    // would be no better.
    SizeTries still(1'000'000, 200'000, 1'000'000);
    EXPECT_TRUE(still.Written(500'000));
    const auto twice = still.Next();
    ASSERT_TRUE(twice);
    EXPECT_EQ(*twice, static_cast<int>(1'000'000 * kMaxRetryRise));
    EXPECT_TRUE(still.Written(512'000));
    EXPECT_FALSE(still.Next());
    EXPECT_EQ(still.Tries(), 2);
    EXPECT_EQ(still.BestRate(), *twice);
    // One that follows its rate goes on.
    SizeTries follows(1'000'000, 200'000, 1'000'000);
    EXPECT_TRUE(follows.Written(500'000));
    ASSERT_TRUE(follows.Next());
    EXPECT_TRUE(follows.Written(800'000));
    EXPECT_TRUE(follows.Next());

    // Over three times: nothing fits.
    SizeTries over(1'000'000, 200'000, 1'000'000);
    for (int i = 0; i <= kMaxSizeRetries; ++i) {
        EXPECT_FALSE(over.Written(1'200'000));
        EXPECT_EQ(over.Next().has_value(), i < kMaxSizeRetries);
    }
    EXPECT_FALSE(over.HasBest());
}

TEST(SizeBudgetTest, LowRateScalesThePictureDown)
{
    const QSize hd(1920, 1080);
    // 8 Mbit/s at 30 fps is 0.13 bits per pixel: the picture stays.
    EXPECT_EQ(PictureForRate(hd, 30, 8'000'000), hd);
    // 500 kbit/s affords about 416,000 pixels at 0.04 bits: near 858x482.
    const QSize small = PictureForRate(hd, 30, 500'000);
    EXPECT_LT(small.width(), 900);
    EXPECT_GT(small.width(), 800);
    EXPECT_EQ(small.width() % 2, 0);
    EXPECT_EQ(small.height() % 2, 0);
    EXPECT_NEAR(double(small.width()) / small.height(), 16.0 / 9, 0.02);
    EXPECT_GE(500'000 / (double(small.width()) * small.height() * 30), kMinBitsPerPixel);
    // Never below the floor of lines, never above the source.
    EXPECT_EQ(PictureForRate(hd, 30, 1000).height(), kMinFitHeight);
    EXPECT_EQ(PictureForRate(QSize(160, 90), 30, 1000), QSize(160, 90));
    EXPECT_EQ(PictureForRate(hd, 0, 1000), hd);

    // The whole plan: a minute of 1080p in 5 MB is smaller; in 100 MB it is not.
    const SizeFit tight = FitVideoToSize(5'000'000, 60, {128000, {}}, "mp4", hd, 30);
    ASSERT_TRUE(tight.budget.Fits());
    EXPECT_LT(tight.picture.height(), 1080);
    EXPECT_EQ(FitVideoToSize(100'000'000, 60, {128000, {}}, "mp4", hd, 30).picture, hd);
}

// The rule end to end: the rate from the budget, a real one-pass encode, at most two retries
// that keep the largest file that fits; that file is under the limit and close to it.
TEST(SizeBudgetTest, RealEncodeEndsUnderTheLimit)
{
    QTemporaryDir work;
    const QString source = work.filePath("grain.mkv");
    ASSERT_TRUE(searchtest::MakeClip(source, searchtest::Clip::Grain, 4));
    const qint64 limit = 180'000;
    const SizeBudget budget = VideoRateForSize(limit, 4, {64000, {}}, OverheadOf("mp4"), 25);
    ASSERT_TRUE(budget.Fits()) << budget.reason.toStdString();
    SizeTries tries(limit, budget.fixedBytes, budget.videoBitRate);
    const QString output = work.filePath("out.mp4");
    const QString best = work.filePath("best.mp4");
    for (std::optional<int> rate = budget.videoBitRate; rate; rate = tries.Next()) {
        ASSERT_TRUE(searchtest::RunQuietly(
            FindTool("ffmpeg"),
            {"-v", "error", "-y", "-i", source, "-c:v", "libx264", "-preset", "veryfast", "-b:v",
             QString::number(*rate), "-c:a", "aac", "-b:a", "64k", output}));
        if (tries.Written(QFileInfo(output).size())) {
            QFile::remove(best);
            ASSERT_TRUE(QFile::copy(output, best));
        }
    }
    ASSERT_TRUE(tries.HasBest()) << "nothing fitted in " << tries.Tries() << " tries";
    EXPECT_EQ(QFileInfo(best).size(), tries.BestBytes());
    EXPECT_LE(tries.BestBytes(), limit);
    EXPECT_GE(tries.BestBytes(), limit * 0.85) << "after " << tries.Tries() << " tries";
}

namespace {

// The rate plan of a two-pass MP4 encode of the clip, as a size fit makes it.
CommandPlan FitPlan(const QString& path)
{
    CommandPlan plan = searchtest::LookPlan(path);
    plan.qualityMode = false;
    plan.twoPass = true;
    plan.videoBitRate = 200'000;
    return plan;
}

// The bytes of the file's packets of one kind ("a", "v").
qint64 PacketBytes(const QString& path, const QString& kind)
{
    const auto run = platform::RunCapture(FindTool("ffprobe"),
                                          {"-v", "error", "-select_streams", kind, "-show_entries",
                                           "packet=size", "-of", "csv=p=0", path},
                                          60000, 1 << 22);
    qint64 bytes = 0;
    for (const QByteArray& line : run.output.split('\n')) bytes += line.trimmed().toLongLong();
    return bytes;
}

QStringList SoundFolders()
{
    return QDir(PassLogRoot()).entryList({"sound-*"}, QDir::Dirs | QDir::NoDotAndDotDot);
}

}  // namespace

// The sound written alone by the encode's own options is the sound of the encode: its packets
// and little more, and nothing is left behind.
TEST(SoundSizeTest, MeasuredSoundIsWhatTheEncodeWrites)
{
    QTemporaryDir work;
    const QString source = work.filePath("tone.mkv");
    ASSERT_TRUE(searchtest::MakeClip(source, searchtest::Clip::Screen, 4));
    const CommandPlan plan = FitPlan(source);
    ASSERT_GT(plan.audioBitRate, 0);
    const QString output = work.filePath("out.mp4");
    const EncoderRuns encode =
        RenderEncoderRuns(plan, FindTool("ffmpeg"), source, output, work.path(), QString());
    ASSERT_EQ(encode.runs.size(), 2u);

    const SoundMeasure sound =
        MeasureSound(FindTool("ffmpeg"), encode.runs.back().arguments, plan.extension);
    ASSERT_TRUE(sound.bytes) << sound.error.toStdString();
    EXPECT_TRUE(SoundFolders().isEmpty());

    for (const FfmpegCommand& run : encode.runs)
        ASSERT_TRUE(searchtest::RunQuietly(run.program, run.arguments));
    const qint64 audio = PacketBytes(output, "a");
    ASSERT_GT(audio, 0);
    EXPECT_GE(*sound.bytes, audio);
    EXPECT_LT(*sound.bytes, audio + 4096) << "the sound's file is its packets and headers";
    // With the measured sound, the whole encode's bytes beside the picture stay within what
    // the budget counts for them.
    const SizeBudget budget = VideoRateForSize(
        1'000'000, 4, SoundCost{plan.audioBitRate, sound.bytes}, OverheadOf(plan.extension), 25);
    const qint64 besidePicture = QFileInfo(output).size() - PacketBytes(output, "v");
    EXPECT_LE(besidePicture, budget.fixedBytes);
    EXPECT_GT(besidePicture, budget.fixedBytes - 4096);
}

// A minute of sound with a stamp of a picture, and the size fit's encode of it: the sound takes
// a few seconds to write alone.
struct LongSound {
    QTemporaryDir work;
    CommandPlan plan;
    EncoderRuns encode;

    void Make()
    {
        const QString source = work.filePath("long.mkv");
        ASSERT_TRUE(searchtest::MakeClip(source, searchtest::Clip::Screen, 60, "64x48"));
        plan = FitPlan(source);
        encode = RenderEncoderRuns(plan, FindTool("ffmpeg"), source, work.filePath("out.mp4"),
                                   work.path(), QString());
    }
};

// A long sound's measure tells how far it got, rising to its end, for the row's bar.
TEST(SoundSizeTest, ProgressRisesWithTheSoundWritten)
{
    LongSound source;
    ASSERT_NO_FATAL_FAILURE(source.Make());
    std::vector<double> reports;
    const SoundMeasure measured =
        MeasureSound(FindTool("ffmpeg"), source.encode.runs.back().arguments, source.plan.extension,
                     {}, 60, [&](double fraction) { reports.push_back(fraction); });
    ASSERT_TRUE(measured.bytes) << measured.error.toStdString();
    ASSERT_GE(reports.size(), 2u);
    for (size_t i = 1; i < reports.size(); ++i) EXPECT_GT(reports[i], reports[i - 1]);
    EXPECT_GT(reports.front(), 0);
    EXPECT_GE(reports.back(), 0.95);
    EXPECT_LE(reports.back(), 1.0);
}

TEST(SoundSizeTest, StopEndsTheMeasureWithinASecondAndLeavesNothing)
{
    LongSound source;
    ASSERT_NO_FATAL_FAILURE(source.Make());
    std::stop_source stop;
    QElapsedTimer clock;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        clock.start();
        stop.request_stop();
    });
    const SoundMeasure sound = MeasureSound(FindTool("ffmpeg"), source.encode.runs.back().arguments,
                                            source.plan.extension, stop.get_token());
    const qint64 afterStop = clock.elapsed();
    stopper.join();
    EXPECT_TRUE(sound.stopped);
    EXPECT_FALSE(sound.bytes);
    EXPECT_LT(afterStop, 1000);
    EXPECT_TRUE(SoundFolders().isEmpty());
    EXPECT_EQ(QDir(source.work.path()).entryList(QDir::Files), QStringList{"long.mkv"});
}
