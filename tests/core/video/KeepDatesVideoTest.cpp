// SPDX-License-Identifier: GPL-3.0-or-later
// The video engine gives a finished output its source's file times when asked, and leaves it
// dated when it was written otherwise; the same run keeps every track.

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "core/app/Paths.h"
#include "core/intake/MediaProbe.h"
#include "core/platform/ChildProcess.h"
#include "core/video/FfmpegCommand.h"
#include "core/video/VideoEngine.h"
#include "support/TestEnv.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <map>
#include <mutex>

namespace {

// Releases each finished task at once and keeps what was reported.
class DoneSink : public VideoEngineSink {
public:
    VideoEngine* engine = nullptr;
    void TaskStarted(int) override {}
    void TaskProgress(int, int) override {}
    void TaskDone(const VideoDoneRecord& record) override { End(record.taskId, record.outputPath); }
    void TaskFailed(const VideoFailRecord& record) override
    {
        End(record.taskId, QString(), record.reason);
    }
    void TaskCancelled(int taskId) override { End(taskId, QString()); }

    std::map<int, QString> Outputs() const
    {
        std::lock_guard guard(mutex_);
        return outputs_;
    }
    QString Failure(int taskId) const
    {
        std::lock_guard guard(mutex_);
        return failures_.count(taskId) ? failures_.at(taskId) : QString();
    }

private:
    void End(int taskId, const QString& output, const QString& failure = {})
    {
        {
            std::lock_guard guard(mutex_);
            outputs_[taskId] = output;
            failures_[taskId] = failure;
        }
        engine->Release(taskId);
    }
    mutable std::mutex mutex_;
    std::map<int, QString> outputs_;
    std::map<int, QString> failures_;
};

struct stat StatOf(const QString& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info;
}

}  // namespace

TEST(KeepDatesVideoTest, OutputTakesTheSourcesTimesOnlyWhenAsked)
{
    QTemporaryDir work;
    const QString source = work.filePath("clip.mkv");
    // A clip with two audio tracks; the temporary folder's path has no blanks.
    const auto made = platform::RunCapture(
        FindTool("ffmpeg"),
        QString("-v error -y -f lavfi -i testsrc=size=64x48:rate=10:duration=1 -f lavfi -i "
                "sine=duration=1 -map 0 -map 1 -map 1 -c:v libx264 -preset ultrafast -c:a aac %1")
            .arg(source)
            .split(' '),
        30000, 1 << 20);
    ASSERT_TRUE(made.Succeeded()) << made.output.toStdString();
    VideoTask task;
    ASSERT_TRUE(ProbeVideo(source, task));
    // Dated after the probe, which reads the file; the encoder reads it again before the
    // output is written, and the output still takes the times the task started with.
    const struct timespec past[2] = {{1262304000, 123456789}, {1230768000, 987654321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(source).constData(), past, 0), 0);
    task.filePath = source;
    task.fileName = QFileInfo(source).fileName();
    task.fileDir = work.path();

    std::mutex mutex;
    bool keepDates = true;
    DoneSink sink;
    VideoEngine engine{sink, [&] {
                           VideoSettings values;
                           values.outputFolder = work.path();
                           values.settings.videoType = 1;
                           std::lock_guard guard(mutex);
                           values.keepDates = keepDates;
                           values.page.keepTracks = keepDates;
                           return values;
                       }};
    sink.engine = &engine;
    engine.AddTask(1, task);
    engine.AddTask(2, task);
    ASSERT_TRUE(engine.Start());
    engine.Enqueue(1);
    ASSERT_TRUE(testenv::WaitUntil([&] { return sink.Outputs().count(1) > 0; }, 30000));
    {
        std::lock_guard guard(mutex);
        keepDates = false;
    }
    engine.Enqueue(2);
    ASSERT_TRUE(testenv::WaitUntil([&] { return sink.Outputs().count(2) > 0; }, 30000));
    engine.Stop();

    const std::map<int, QString> outputs = sink.Outputs();
    ASSERT_FALSE(outputs.at(1).isEmpty()) << sink.Failure(1).toStdString();
    ASSERT_FALSE(outputs.at(2).isEmpty()) << sink.Failure(2).toStdString();
    EXPECT_GT(StatOf(outputs.at(2)).st_mtim.tv_sec, std::time(nullptr) - 600);
    const struct stat kept = StatOf(outputs.at(1));
    EXPECT_EQ(kept.st_mtim.tv_sec, past[1].tv_sec);
    EXPECT_EQ(kept.st_mtim.tv_nsec, past[1].tv_nsec);
    EXPECT_EQ(kept.st_atim.tv_sec, past[0].tv_sec);
    EXPECT_EQ(kept.st_atim.tv_nsec, past[0].tv_nsec);
    // The engine's check of the written file takes an output with every track.
    EXPECT_EQ(ProbeTracks(outputs.at(1)).streams.size(), 3u);
    EXPECT_EQ(ProbeTracks(outputs.at(2)).streams.size(), 2u);
}
