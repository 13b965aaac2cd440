#include "image/ImageEngine.h"

#include "app/Settings.h"
#include "image/ImageTestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

using namespace imagetest;

namespace {

// What the engine reported, in order, as the window would receive it.
class RecordingSink : public ImageEngineSink {
public:
    struct Event {
        char kind = 'T';  // 'S' started, 'D' done, 'F' failed, 'T' nothing came in time
        int taskId = -1;
        ImageDoneRecord record;
    };

    void TaskStarted(int taskId) override { Push({'S', taskId, {}}); }
    void TaskDone(int taskId, ImageDoneRecord record) override { Push({'D', taskId, record}); }
    void TaskFailed(int taskId) override { Push({'F', taskId, {}}); }

    Event Next(int timeoutMs = 30000)
    {
        std::unique_lock lock(mutex_);
        if (!arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [this] { return !events_.empty(); }))
            return {};
        Event event = events_.front();
        events_.pop_front();
        return event;
    }

private:
    void Push(Event event)
    {
        {
            std::lock_guard lock(mutex_);
            events_.push_back(std::move(event));
        }
        arrived_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Event> events_;
};

class ImageEngineTest : public ImageFolderTest {
protected:
    void SetUp() override
    {
        ImageFolderTest::SetUp();
        ASSERT_TRUE(WriteSetting(settings::kOutputDir, OutDir()));
    }

    void AddImage(int taskId, const QString& name, const std::string& magick, int quality = 0)
    {
        if (magick.empty()) {
            QFile file(Src(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("not an image\n");
        } else {
            Save(Builtin("logo:"), magick, Src(name), quality);
        }
        ImageTask task;
        task.fileName = name;
        task.filePath = Src(name);
        task.fileDir = Src("");
        engine_.AddTask(taskId, task);
    }

    // Expects the task to start and end as given, then checks it holds the queue until released.
    RecordingSink::Event ExpectRun(int taskId, char end)
    {
        const auto started = sink_.Next();
        EXPECT_EQ(started.kind, 'S');
        EXPECT_EQ(started.taskId, taskId);
        const auto ended = sink_.Next();
        EXPECT_EQ(ended.kind, end);
        EXPECT_EQ(ended.taskId, taskId);
        EXPECT_EQ(engine_.BusyTasks(), std::vector<int>{taskId});
        EXPECT_TRUE(engine_.IsQueuedOrRunning(taskId));
        return ended;
    }

    RecordingSink sink_;
    ImageEngine engine_{sink_};
};

TEST_F(ImageEngineTest, RunsQueuedTasksInOrderOneAtATime)
{
    for (int id : {4, 2, 9}) AddImage(id, QStringLiteral("logo%1.png").arg(id), "PNG");
    engine_.Start();
    engine_.EnqueueAll({4, 2, 9});
    EXPECT_FALSE(engine_.Enqueue(2));  // already waiting

    std::vector<int> waiting{2, 9};
    for (int id : {4, 2, 9}) {
        const auto done = ExpectRun(id, 'D');
        EXPECT_EQ(done.record.task_id, id);
        EXPECT_EQ(done.record.outputPath, Out(QStringLiteral("logo%1.png").arg(id)));
        EXPECT_EQ(done.record.sourceSize, QFile(Src(QStringLiteral("logo%1.png").arg(id))).size());
        EXPECT_EQ(done.record.outputSize, QFile(done.record.outputPath).size());
        EXPECT_EQ(engine_.IdleTasks(), waiting);
        // Nothing else starts while the result is unreleased.
        EXPECT_EQ(sink_.Next(300).kind, 'T');
        EXPECT_TRUE(engine_.Release(id));
        if (!waiting.empty()) waiting.erase(waiting.begin());
    }
    EXPECT_FALSE(engine_.Release(4));  // a stale result
    EXPECT_FALSE(engine_.IsQueuedOrRunning(9));
    EXPECT_EQ(Entries(OutDir()).size(), 3);
}

TEST_F(ImageEngineTest, FailureReleasesTheQueueLikeASuccess)
{
    AddImage(1, "x.png", "");  // not an image
    AddImage(2, "logo.png", "PNG");
    engine_.Start();
    engine_.EnqueueAll({1, 3, 2});  // 3 has no row record

    ExpectRun(1, 'F');
    EXPECT_TRUE(engine_.Release(1));
    ExpectRun(3, 'F');
    EXPECT_TRUE(engine_.Release(3));
    ExpectRun(2, 'D');
    EXPECT_TRUE(engine_.Release(2));
    EXPECT_EQ(Entries(OutDir()), QStringList{"logo.png"});
}

TEST_F(ImageEngineTest, SettingsAndPageFieldsApplyAsTheyAreWhenATaskStarts)
{
    for (int id : {1, 2, 3}) AddImage(id, QStringLiteral("logo%1.jpg").arg(id), "JPEG", 92);
    engine_.Start();
    engine_.EnqueueAll({1, 2, 3});
    const auto first = ExpectRun(1, 'D');

    // Changed while tasks 2 and 3 wait.
    ASSERT_TRUE(WriteSetting(settings::kImageCompressType, 2));
    engine_.SetPageFields({" 320 ", "1000", true});
    EXPECT_TRUE(engine_.Release(1));
    const auto second = ExpectRun(2, 'D');
    const auto params = engine_.FindParams(2);
    ASSERT_TRUE(params.has_value());
    EXPECT_EQ(params->compressType, 2);
    EXPECT_EQ(params->width, 320);
    EXPECT_EQ(params->defineParam, 1);

    // An empty width turns the custom size off: the ratio applies.
    ASSERT_TRUE(WriteSetting(settings::kImageRatioIndex, 4));
    engine_.SetPageFields({"", "300", true});
    EXPECT_TRUE(engine_.Release(2));
    const auto third = ExpectRun(3, 'D');
    EXPECT_TRUE(engine_.Release(3));

    EXPECT_EQ(Identify(first.record.outputPath, "%Q %wx%h"), "73 640x480");
    EXPECT_EQ(Identify(second.record.outputPath, "%Q %wx%h"), "50 320x240");
    EXPECT_EQ(Identify(third.record.outputPath, "%Q %wx%h"), "50 384x288");
}

TEST_F(ImageEngineTest, StopEndsAWaitingWorkerAndLeavesTheQueue)
{
    AddImage(1, "logo.png", "PNG");
    engine_.Start();
    engine_.Stop();
    engine_.Start();  // a stopped engine stays stopped
    engine_.Enqueue(1);
    EXPECT_EQ(sink_.Next(300).kind, 'T');
    EXPECT_EQ(engine_.IdleTasks(), std::vector<int>{1});
}

}  // namespace
