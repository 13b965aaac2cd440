// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/ImageEngine.h"
#include "core/image/ImagePipeline.h"

#include "core/image/ImageTestSupport.h"
#include "support/TestEnv.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

using namespace imagetest;

namespace {

// A run is given up within about a second of the stop: 100 to 800 ms on an idle machine. The
// image library's PNG decoder asks its monitor once per pass, not per line, so a stop during the
// decoding of this image waits for it; on a machine busy with other builds and tests that alone
// has taken up to two seconds. Without the stop a run takes one to three seconds
// (one encode per strength), so the stops below come early in it.
constexpr qint64 kPromptMs = 2500;
// A progressive JPEG is entropy-coded as a whole once its last line is in, inside the encoder,
// where nothing can interrupt it: on this image that phase alone takes over a second.
constexpr qint64 kJpegEncoderMs = 3000;

// 4000x4000 pixels of noise: seconds of work in every step of the pipeline (decoding, colour
// reduction, packing), made once for the whole suite.
class LargeNoise : public ImageFolderTest {
protected:
    static void SetUpTestSuite()
    {
        folder_ = new QTemporaryDir;
        ASSERT_TRUE(testenv::Convert(
            {"-size", "4000x4000", "xc:gray", "+noise", "Random", folder_->path() + "/noise.png"}));
        ASSERT_TRUE(testenv::Convert(
            {folder_->path() + "/noise.png", "-quality", "95", folder_->path() + "/noise.jpg"}));
    }
    static void TearDownTestSuite()
    {
        delete folder_;
        folder_ = nullptr;
    }
    static QString Noise(const char* extension) { return folder_->path() + "/noise." + extension; }
    ImageParams NoiseParams(const char* extension, int compressType)
    {
        ImageParams params = Params(QStringLiteral("noise.%1").arg(extension));
        params.sourcePath = Noise(extension);
        params.compressType = compressType;
        return params;
    }

    static QTemporaryDir* folder_;
};

QTemporaryDir* LargeNoise::folder_ = nullptr;

struct StopPoint {
    const char* extension;
    int compressType;
    int afterMs;  // the stop comes this long after the run started
    qint64 boundMs = kPromptMs;
    int imageType = 0;  // the output format: the source's, or 3 AVIF
    bool look = false;  // the quality searched for the strength's look
};

class PipelineStop : public LargeNoise, public ::testing::WithParamInterface<StopPoint> {};

TEST_P(PipelineStop, EndsPromptlyAndWritesNothing)
{
    const StopPoint point = GetParam();
    std::stop_source stop;
    ImageParams params = NoiseParams(point.extension, point.compressType);
    params.imageType = point.imageType;
    params.look = point.look;
    auto run = std::async(std::launch::async,
                          [&] { return ImagePipeline::Run(params, stop.get_token()); });
    if (point.afterMs > 0) {
        ASSERT_EQ(run.wait_for(std::chrono::milliseconds(point.afterMs)),
                  std::future_status::timeout)
            << "the run ended before the stop: the image is too small to test it";
    }
    QElapsedTimer sinceStop;
    sinceStop.start();
    stop.request_stop();
    const ImageRunResult result = run.get();
    const qint64 tookMs = sinceStop.elapsed();

    EXPECT_LT(tookMs, point.boundMs);
    EXPECT_TRUE(result.stopped);
    EXPECT_FALSE(result.done.has_value());
    EXPECT_EQ(Entries(OutDir()), QStringList()) << "no output, not even a partial one";
    EXPECT_EQ(Entries(TmpDir()), QStringList()) << "no intermediate file left";
    RecordProperty("stop_to_return_ms", static_cast<int>(tookMs));
}

INSTANTIATE_TEST_SUITE_P(Points, PipelineStop,
                         ::testing::Values(StopPoint{"png", 0, 0}, StopPoint{"png", 0, 300},
                                           StopPoint{"png", 2, 700}, StopPoint{"png", 2, 1300},
                                           StopPoint{"jpg", 2, 250, kJpegEncoderMs},
                                           StopPoint{"jpg", 2, 450, kJpegEncoderMs},
                                           // The AV1 encoder cannot be interrupted: the run
                                           // leaves it and returns (an encode of this image takes
                                           // several seconds, a search several of them).
                                           StopPoint{"jpg", 0, 2000, kPromptMs, 3},
                                           StopPoint{"jpg", 1, 2000, kPromptMs, 3, true}),
                         [](const auto& info) {
                             return std::string(info.param.extension) +
                                    (info.param.imageType == 3 ? "_avif" : "") +
                                    (info.param.look ? "_look" : "") + "_strength" +
                                    std::to_string(info.param.compressType) + "_after" +
                                    std::to_string(info.param.afterMs) + "ms";
                         });

TEST_F(LargeNoise, AnUnstoppedRunOfTheSameImageStillSucceeds)
{
    // The checks that end a stopped run must not end one that nobody stops.
    const ImageRunResult result =
        ImagePipeline::Run(NoiseParams("jpg", 0), std::stop_source().get_token());
    ASSERT_TRUE(result.done.has_value()) << result.failure;
    EXPECT_FALSE(result.stopped);
    EXPECT_TRUE(QFileInfo(result.done->outputPath).isFile());
}

// What the engine reported and when, as the window would receive it.
class TimedSink : public ImageEngineSink {
public:
    void TaskStarted(int taskId) override { Push('S', taskId); }
    void TaskDone(int taskId, ImageDoneRecord) override { Push('D', taskId); }
    void TaskFailed(int taskId, const QString&) override { Push('F', taskId); }
    void TaskCancelled(int taskId) override { Push('C', taskId); }

    // The next report's kind ('T' when none came in time), and the moment it came.
    std::pair<char, std::chrono::steady_clock::time_point> Next(int timeoutMs)
    {
        std::unique_lock lock(mutex_);
        if (!arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [this] { return !events_.empty(); }))
            return {'T', std::chrono::steady_clock::now()};
        const auto event = events_.front();
        events_.erase(events_.begin());
        return event;
    }

private:
    void Push(char kind, int)
    {
        std::lock_guard lock(mutex_);
        events_.emplace_back(kind, std::chrono::steady_clock::now());
        arrived_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::pair<char, std::chrono::steady_clock::time_point>> events_;
};

class EngineAbort : public LargeNoise {
protected:
    void SetUp() override
    {
        LargeNoise::SetUp();
        ImageTask task;
        task.fileName = "noise.png";
        task.filePath = Noise("png");
        engine_.AddTask(1, task);
        engine_.Start();
        engine_.Enqueue(1);
        ASSERT_EQ(sink_.Next(10000).first, 'S');
        // Well inside the run: decoding alone takes longer.
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        ASSERT_TRUE(engine_.IsQueued(1));
    }
    ImageSettings Settings() const
    {
        ImageSettings values;
        values.compressType = 2;
        values.outputFolder = OutDir();
        return values;
    }

    TimedSink sink_;
    ImageEngine engine_{sink_, [this] { return Settings(); }};
};

TEST_F(EngineAbort, CancelEndsTheRunningImageWithinASecond)
{
    const auto cancelledAt = std::chrono::steady_clock::now();
    ASSERT_TRUE(engine_.Cancel(1));
    const auto [kind, at] = sink_.Next(10000);
    const auto tookMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(at - cancelledAt).count();
    EXPECT_EQ(kind, 'C');
    EXPECT_LT(tookMs, kPromptMs);
    RecordProperty("cancel_to_report_ms", static_cast<int>(tookMs));
    EXPECT_TRUE(engine_.Release(1));
    EXPECT_FALSE(engine_.IsQueued(1));
    EXPECT_EQ(Entries(OutDir()), QStringList());
}

TEST_F(EngineAbort, StopEndsTheRunningImageWithinASecondWithoutAReport)
{
    QElapsedTimer stopping;
    stopping.start();
    engine_.Stop();
    EXPECT_LT(stopping.elapsed(), kPromptMs) << "a quit waits this long for the image worker";
    EXPECT_EQ(sink_.Next(300).first, 'T') << "a stopped run reports nothing";
    EXPECT_EQ(Entries(OutDir()), QStringList());
}

}  // namespace
