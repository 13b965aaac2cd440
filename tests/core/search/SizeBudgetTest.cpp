// SPDX-License-Identifier: GPL-3.0-or-later
// Fitting a video under a size: the rate the size leaves, the retry after an overshoot, the
// picture a low rate affords, and the whole rule on a real encode.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include "SearchTestSupport.h"
#include "core/app/Paths.h"
#include "core/search/SizeBudget.h"

using namespace search;

TEST(SizeBudgetTest, RateLeavesRoomForSoundAndContainer)
{
    const ContainerOverhead mp4 = OverheadOf("mp4");
    const SizeBudget budget = VideoRateForSize(10'000'000, 60, 128000, mp4);
    ASSERT_TRUE(budget.Fits()) << budget.reason.toStdString();
    // The sound alone is 960 kB; picture, sound and container stay under the limit.
    EXPECT_GT(budget.fixedBytes, 960'000);
    const double total = budget.videoBitRate / 8.0 * 60 + double(budget.fixedBytes);
    EXPECT_LE(total, 10'000'000);
    EXPECT_GT(total, 9'000'000);
    // Without sound the picture gets its share.
    EXPECT_GT(VideoRateForSize(10'000'000, 60, 0, mp4).videoBitRate, budget.videoBitRate);
    // MP4's index costs more a frame than Matroska's block headers, MPEG-TS's packets most.
    EXPECT_GT(mp4.bytesPerFrame, OverheadOf("mkv").bytesPerFrame);
    EXPECT_GT(OverheadOf("ts").bytesPerFrame, mp4.bytesPerFrame);
}

TEST(SizeBudgetTest, WhatCannotFitIsSaidBeforeEncoding)
{
    const ContainerOverhead mp4 = OverheadOf("mp4");
    // 128 kbit/s for ten minutes is 9.6 MB: more than 5 MB.
    const SizeBudget sound = VideoRateForSize(5'000'000, 600, 128000, mp4);
    EXPECT_FALSE(sound.Fits());
    EXPECT_EQ(sound.videoBitRate, 0);
    EXPECT_TRUE(sound.reason.contains("sound")) << sound.reason.toStdString();
    // Room for the sound but a picture of a few kbit/s.
    const SizeBudget thin = VideoRateForSize(1'020'000, 60, 128000, mp4);
    EXPECT_FALSE(thin.Fits());
    EXPECT_TRUE(thin.reason.contains("kbit/s")) << thin.reason.toStdString();
    // A small limit is said in kB, where MB with one decimal would read "0.0 MB".
    const SizeBudget small = VideoRateForSize(20'000, 3, 69000, mp4);
    EXPECT_FALSE(small.Fits());
    EXPECT_TRUE(small.reason.contains("in 20.0 kB")) << small.reason.toStdString();
    EXPECT_FALSE(small.reason.contains("0.0 MB")) << small.reason.toStdString();
    EXPECT_FALSE(VideoRateForSize(1'000'000, 0, 128000, mp4).Fits());
    EXPECT_FALSE(VideoRateForSize(0, 10, 128000, mp4).Fits());
}

TEST(SizeBudgetTest, RetryLowersThePictureByItsOvershoot)
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

    EXPECT_FALSE(RetryRate(10'000'000, 9'000'000, 1'000'000, 2'000'000, 0));  // fits
    EXPECT_FALSE(RetryRate(10'000'000, 12'000'000, 1'000'000, 2'000'000, kMaxSizeRetries));
    EXPECT_TRUE(RetryRate(10'000'000, 12'000'000, 1'000'000, 2'000'000, kMaxSizeRetries - 1));
    EXPECT_FALSE(RetryRate(10'000'000, 12'000'000, 1'000'000, 10'000'000, 0));  // no room
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
    const SizeFit tight = FitVideoToSize(5'000'000, 60, 128000, "mp4", hd, 30);
    ASSERT_TRUE(tight.budget.Fits());
    EXPECT_LT(tight.picture.height(), 1080);
    EXPECT_EQ(FitVideoToSize(100'000'000, 60, 128000, "mp4", hd, 30).picture, hd);
}

// The rule end to end: the rate from the budget, a real one-pass encode, at most two retries;
// the file ends under the limit.
TEST(SizeBudgetTest, RealEncodeEndsUnderTheLimit)
{
    QTemporaryDir work;
    const QString source = work.filePath("grain.mkv");
    ASSERT_TRUE(searchtest::MakeClip(source, searchtest::Clip::Grain, 4));
    const qint64 limit = 180'000;
    const SizeBudget budget = VideoRateForSize(limit, 4, 64000, OverheadOf("mp4"));
    ASSERT_TRUE(budget.Fits()) << budget.reason.toStdString();
    int rate = budget.videoBitRate;
    const QString output = work.filePath("out.mp4");
    for (int retries = 0;; ++retries) {
        ASSERT_TRUE(searchtest::RunQuietly(
            FindTool("ffmpeg"),
            {"-v", "error", "-y", "-i", source, "-c:v", "libx264", "-preset", "veryfast", "-b:v",
             QString::number(rate), "-c:a", "aac", "-b:a", "64k", output}));
        const qint64 written = QFileInfo(output).size();
        const auto next = RetryRate(limit, written, rate, budget.fixedBytes, retries);
        if (!next) {
            EXPECT_LE(written, limit) << "after " << retries << " retries";
            break;
        }
        rate = *next;
    }
}
