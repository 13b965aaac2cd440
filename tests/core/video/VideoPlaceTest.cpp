// SPDX-License-Identifier: GPL-3.0-or-later
// The video engine's outputs in place of their sources on real clips: the original goes to the
// trash of the test's home only once the smaller output is encoded and read back; a trash that
// refuses leaves it where it was; a file not made smaller stays. And the tree of an added folder.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>

#include <map>
#include <mutex>

#include "core/app/Paths.h"
#include "core/intake/MediaProbe.h"
#include "core/intake/MediaScan.h"
#include "core/platform/ChildProcess.h"
#include "core/video/OutputCheck.h"
#include "core/video/VideoEngine.h"
#include "support/TestEnv.h"

namespace {

// Releases each finished task at once and keeps what was reported.
class PlaceSink : public VideoEngineSink {
public:
    VideoEngine* engine = nullptr;
    void TaskStarted(int) override {}
    void TaskProgress(int, int) override {}
    void TaskDone(const VideoDoneRecord& record) override
    {
        {
            std::lock_guard guard(mutex_);
            done_[record.taskId] = record;
        }
        engine->Release(record.taskId);
    }
    void TaskFailed(const VideoFailRecord& record) override
    {
        {
            std::lock_guard guard(mutex_);
            failed_[record.taskId] = record.reason;
        }
        engine->Release(record.taskId);
    }
    void TaskCancelled(int taskId) override { TaskFailed({taskId, "cancelled", 0}); }

    bool Ended(int taskId) const
    {
        std::lock_guard guard(mutex_);
        return done_.count(taskId) > 0 || failed_.count(taskId) > 0;
    }
    std::optional<VideoDoneRecord> Done(int taskId) const
    {
        std::lock_guard guard(mutex_);
        if (!done_.count(taskId)) return std::nullopt;
        return done_.at(taskId);
    }
    QString Failure(int taskId) const
    {
        std::lock_guard guard(mutex_);
        return failed_.count(taskId) ? failed_.at(taskId) : QString();
    }

private:
    mutable std::mutex mutex_;
    std::map<int, VideoDoneRecord> done_;
    std::map<int, QString> failed_;
};

// A 1 s clip; lossless makes it large, a low rate makes it hard to shrink.
void MakeClip(const QString& path, const QStringList& video)
{
    const QStringList args =
        QStringList{
            "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=96x64:rate=25:duration=1"} +
        video + QStringList{"-an", path};
    const auto made = platform::RunCapture(FindTool("ffmpeg"), args, 30000, 1 << 20);
    ASSERT_TRUE(made.Succeeded()) << made.output.toStdString();
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QString Trash(const QString& name)
{
    return qEnvironmentVariable("XDG_DATA_HOME") + "/Trash" + name;
}

class VideoPlaceTest : public ::testing::Test {
protected:
    // Runs one task of the file in the folder to its end.
    void Run(const QString& folder, const QString& name, const PlaceChoice& where, int videoType,
             const QString& addedRoot = {})
    {
        VideoTask task = MakeVideoTask(folder, name, addedRoot);
        ASSERT_TRUE(ProbeVideo(task.filePath, task));
        PlaceSink sink;
        VideoEngine engine{sink, [&] {
                               VideoSettings values;
                               values.outputFolder = work_.filePath("out");
                               values.settings.videoType = videoType;
                               values.place = where;
                               return values;
                           }};
        sink.engine = &engine;
        engine.AddTask(1, task);
        ASSERT_TRUE(engine.Start());
        engine.Enqueue(1);
        ASSERT_TRUE(testenv::WaitUntil([&] { return sink.Ended(1); }, 60000));
        engine.Stop();
        done_ = sink.Done(1);
        failure_ = sink.Failure(1);
    }

    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(work_.filePath("src")));
        ASSERT_TRUE(QDir().mkpath(work_.filePath("out")));
    }
    QString Src(const QString& name) const { return work_.filePath("src/" + name); }

    QTemporaryDir work_;
    std::optional<VideoDoneRecord> done_;
    QString failure_;
};

}  // namespace

TEST_F(VideoPlaceTest, InPlaceTheSmallerClipTakesTheNameAndTheOriginalGoesToTheTrash)
{
    MakeClip(Src("clip.mp4"), {"-c:v", "libx264", "-qp", "0", "-preset", "ultrafast"});
    const QByteArray original = testenv::ReadFile(Src("clip.mp4"));
    const struct timespec past[2] = {{1262304000, 111111111}, {1230768000, 222222222}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(Src("clip.mp4")).constData(), past, 0), 0);

    Run(work_.filePath("src"), "clip.mp4", {place::kInPlace, "_small"}, 0);
    ASSERT_TRUE(done_) << failure_.toStdString();
    EXPECT_TRUE(done_->replacedSource);
    EXPECT_EQ(done_->outputPath, Src("clip.mp4"));
    const qint64 written = QFileInfo(Src("clip.mp4")).size();
    EXPECT_EQ(done_->outputSize, written);
    EXPECT_EQ(done_->sourceSize, original.size());
    EXPECT_EQ(done_->freedBytes, original.size() - written);
    EXPECT_GT(done_->freedBytes, 0);
    EXPECT_EQ(Entries(Src("")), QStringList{"clip.mp4"});
    EXPECT_TRUE(Entries(work_.filePath("out")).isEmpty());
    // A whole clip under the name, with the original's dates.
    const ReadBack back = ReadBackVideo(Src("clip.mp4"));
    EXPECT_TRUE(back.readable) << back.problem.toStdString();
    EXPECT_NEAR(back.seconds, 1.0, 0.2);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(Src("clip.mp4")).constData(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, past[1].tv_sec);
    EXPECT_EQ(info.st_mtim.tv_nsec, past[1].tv_nsec);

    EXPECT_EQ(testenv::ReadFile(Trash("/files/clip.mp4")), original);
    const QByteArray record = testenv::ReadFile(Trash("/info/clip.mp4.trashinfo"));
    EXPECT_TRUE(record.contains("Path=" + QFile::encodeName(Src("clip.mp4")))) << record.data();
}

TEST_F(VideoPlaceTest, InPlaceANewContainerKeepsItsExtension)
{
    MakeClip(Src("clip.mkv"), {"-c:v", "libx264", "-qp", "0", "-preset", "ultrafast"});
    const QByteArray original = testenv::ReadFile(Src("clip.mkv"));
    Run(work_.filePath("src"), "clip.mkv", {place::kInPlace, "_small"}, 1);  // mp4
    ASSERT_TRUE(done_) << failure_.toStdString();
    EXPECT_EQ(done_->outputPath, Src("clip.mp4"));
    EXPECT_EQ(Entries(Src("")), QStringList{"clip.mp4"});
    EXPECT_EQ(testenv::ReadFile(Trash("/files/clip.mkv")), original);
}

TEST_F(VideoPlaceTest, InPlaceATrashThatRefusesFailsAndLeavesTheOriginal)
{
    MakeClip(Src("clip.mp4"), {"-c:v", "libx264", "-qp", "0", "-preset", "ultrafast"});
    const QByteArray original = testenv::ReadFile(Src("clip.mp4"));
    ASSERT_TRUE(testenv::WriteFile(Trash(""), "a file where the trash folder would be"));
    Run(work_.filePath("src"), "clip.mp4", {place::kInPlace, "_small"}, 0);
    EXPECT_FALSE(done_);
    EXPECT_TRUE(failure_.contains("trash")) << failure_.toStdString();
    EXPECT_EQ(testenv::ReadFile(Src("clip.mp4")), original);
    EXPECT_EQ(Entries(Src("")), QStringList{"clip.mp4"});  // no hidden output left
}

TEST_F(VideoPlaceTest, InPlaceAClipNotMadeSmallerStays)
{
    // Already at a rate far below what the encoder reaches at this size.
    MakeClip(Src("tiny.mp4"), {"-c:v", "libx264", "-b:v", "8k", "-preset", "veryslow"});
    const QByteArray original = testenv::ReadFile(Src("tiny.mp4"));
    Run(work_.filePath("src"), "tiny.mp4", {place::kInPlace, "_small"}, 0);
    ASSERT_TRUE(done_) << failure_.toStdString();
    EXPECT_TRUE(done_->sourceKept);
    EXPECT_FALSE(done_->replacedSource);
    EXPECT_EQ(testenv::ReadFile(Src("tiny.mp4")), original);
    EXPECT_EQ(Entries(Src("")), QStringList{"tiny.mp4"});
}

TEST_F(VideoPlaceTest, TreeKeepsTheAddedFolderAndItsSubfolders)
{
    ASSERT_TRUE(QDir().mkpath(Src("trips/2023")));
    MakeClip(Src("trips/2023/clip.mp4"), {"-c:v", "libx264", "-preset", "ultrafast"});
    Run(Src("trips/2023"), "clip.mp4", {place::kTree, "_small"}, 0, Src("trips"));
    ASSERT_TRUE(done_) << failure_.toStdString();
    EXPECT_EQ(done_->outputPath, work_.filePath("out/trips/2023/clip.mp4"));
    EXPECT_TRUE(QFileInfo::exists(Src("trips/2023/clip.mp4")));
}
