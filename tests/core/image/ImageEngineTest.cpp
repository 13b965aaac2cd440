// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/ImageEngine.h"

#include "core/image/ImagePipeline.h"
#include "core/image/ImageTestSupport.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

using namespace imagetest;

namespace {

// What the engine reported, in order, as the window would receive it.
class RecordingSink : public ImageEngineSink {
public:
    struct Event {
        char kind = 'T';  // 'S' started, 'D' done, 'F' failed, 'C' cancelled, 'T' nothing in time
        int taskId = -1;
        ImageDoneRecord record;
    };

    void TaskStarted(int taskId) override { Push({'S', taskId, {}}); }
    void TaskDone(int taskId, ImageDoneRecord record) override { Push({'D', taskId, record}); }
    void TaskFailed(int taskId, const QString&) override { Push({'F', taskId, {}}); }
    void TaskCancelled(int taskId) override { Push({'C', taskId, {}}); }

    Event Next(int timeoutMs = 30000)
    {
        std::unique_lock lock(mutex_);
        if (!arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [this] { return !events_.empty(); }))
            return {};
        const Event event = events_.front();
        events_.pop_front();
        return event;
    }

private:
    void Push(const Event& event)
    {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
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
        Change([this](ImageSettings& values) { values.outputFolder = OutDir(); });
    }

    // What the engine's reader hands out from now on.
    void Change(const std::function<void(ImageSettings&)>& change)
    {
        std::lock_guard guard(settingsLock_);
        change(settings_);
    }
    ImageSettings Read()
    {
        std::unique_lock lock(settingsLock_);
        released_.wait(lock, [this] { return !held_; });
        return settings_;
    }
    // While held, a task that starts waits for its settings.
    void Hold(bool held)
    {
        {
            std::lock_guard guard(settingsLock_);
            held_ = held;
        }
        released_.notify_all();
    }

    // A row for src/name: the logo in magick's format, or a text file when magick is empty.
    void AddRow(int taskId, const QString& name, const std::string& magick)
    {
        if (magick.empty())
            WriteBytes(Src(name), "not an image\n");
        else
            Save(MakeImage("logo:"), magick, Src(name), 92);
        ImageTask task;
        task.fileName = name;
        task.filePath = Src(name);
        engine_.AddTask(taskId, task);
    }

    // The task starts and ends as given, then holds the queue until it is released.
    RecordingSink::Event ExpectRun(int taskId, char end)
    {
        const auto started = sink_.Next();
        EXPECT_TRUE(started.kind == 'S' && started.taskId == taskId) << started.taskId;
        const auto ended = sink_.Next();
        EXPECT_TRUE(ended.kind == end && ended.taskId == taskId) << ended.kind << ended.taskId;
        EXPECT_EQ(engine_.BusyTasks(), std::vector<int>{taskId});
        EXPECT_EQ(sink_.Next(200).kind, 'T') << "something started before the release";
        EXPECT_TRUE(engine_.Release(taskId));
        return ended;
    }

    std::mutex settingsLock_;
    std::condition_variable released_;
    bool held_ = false;
    ImageSettings settings_;
    RecordingSink sink_;
    ImageEngine engine_{sink_, [this] { return Read(); }};
};

TEST_F(ImageEngineTest, RunsQueuedTasksInOrderOneAtATime)
{
    for (int id : {4, 2, 9}) AddRow(id, QStringLiteral("logo%1.png").arg(id), "PNG");
    engine_.Start();
    engine_.EnqueueAll({4, 2, 9});
    EXPECT_FALSE(engine_.Enqueue(2));  // already waiting
    EXPECT_TRUE(engine_.IsQueued(9));

    for (int id : {4, 2, 9}) {
        const auto done = ExpectRun(id, 'D');
        EXPECT_EQ(done.record.outputPath, Out(QStringLiteral("logo%1.png").arg(id)));
        EXPECT_EQ(done.record.sourceSize,
                  QFileInfo(Src(QStringLiteral("logo%1.png").arg(id))).size());
        EXPECT_EQ(done.record.outputSize, QFileInfo(done.record.outputPath).size());
    }
    EXPECT_FALSE(engine_.Release(4));  // a stale result
    EXPECT_FALSE(engine_.IsQueued(9));
}

TEST_F(ImageEngineTest, FailureReleasesTheQueueLikeASuccess)
{
    AddRow(1, "x.png", "");
    AddRow(2, "logo.png", "PNG");
    engine_.Start();
    engine_.EnqueueAll({1, 3, 2});  // 3 has no row record

    ExpectRun(1, 'F');
    ExpectRun(3, 'F');
    ExpectRun(2, 'D');
    EXPECT_EQ(Entries(OutDir()), QStringList{"logo.png"});
}

TEST_F(ImageEngineTest, SettingsAndPageFieldsApplyAsTheyAreWhenATaskStarts)
{
    for (int id : {1, 2, 3}) AddRow(id, QStringLiteral("logo%1.jpg").arg(id), "JPEG");
    engine_.Start();
    engine_.EnqueueAll({1, 2, 3});
    const auto first = sink_.Next(), firstDone = sink_.Next();

    // Changed while 2 and 3 wait.
    Change([](ImageSettings& values) {
        values.compressType = 2;
        values.page = {" 320 ", "1000", true};
    });
    EXPECT_TRUE(engine_.Release(1));
    const auto second = sink_.Next(), secondDone = sink_.Next();
    const auto params = engine_.FindParams(2);
    ASSERT_TRUE(params.has_value());
    EXPECT_EQ(params->compressType, 2);
    EXPECT_EQ(params->width, 320);

    // An empty width turns the custom size off: the ratio applies.
    Change([](ImageSettings& values) {
        values.ratioIndex = 4;
        values.page = {"", "300", true};
    });
    EXPECT_TRUE(engine_.Release(2));
    const auto third = sink_.Next(), thirdDone = sink_.Next();

    EXPECT_EQ(Identify(firstDone.record.outputPath, "%Q %wx%h"), "73 640x480");
    EXPECT_EQ(Identify(secondDone.record.outputPath, "%Q %wx%h"), "50 320x240");
    EXPECT_EQ(Identify(thirdDone.record.outputPath, "%Q %wx%h"), "50 384x288");
}

TEST_F(ImageEngineTest, StopEndsAWaitingWorkerAndLeavesTheQueue)
{
    EXPECT_TRUE(engine_.Start());
    engine_.Stop();
    EXPECT_FALSE(engine_.Start());  // a stopped engine stays stopped
    engine_.Enqueue(1);
    EXPECT_EQ(sink_.Next(300).kind, 'T');
    EXPECT_EQ(engine_.IdleTasks(), std::vector<int>{1});
}

}  // namespace

namespace {

TEST_F(ImageEngineTest, CancelRemovesAWaitingTaskAndStopsTheRunningOne)
{
    for (int id : {1, 2, 3}) AddRow(id, QStringLiteral("logo%1.png").arg(id), "PNG");
    Hold(true);
    engine_.Start();
    engine_.EnqueueAll({1, 2, 3});
    const auto started = sink_.Next();
    ASSERT_EQ(started.kind, 'S');
    ASSERT_EQ(started.taskId, 1);
    // 1 has started and waits for its settings when it is cancelled: the pipeline never runs.
    EXPECT_TRUE(engine_.Cancel(1));
    EXPECT_TRUE(engine_.Cancel(2));
    EXPECT_FALSE(engine_.Cancel(7));
    EXPECT_TRUE(engine_.IsQueued(1)) << "running until released";
    Hold(false);
    const auto cancelled = sink_.Next();
    EXPECT_TRUE(cancelled.kind == 'C' && cancelled.taskId == 1) << cancelled.kind;
    EXPECT_EQ(sink_.Next(200).kind, 'T') << "something started before the release";
    EXPECT_TRUE(engine_.FindParams(1).has_value()) << "a cancelled run is released like others";
    EXPECT_TRUE(engine_.Release(1));

    ExpectRun(3, 'D');
    EXPECT_EQ(Entries(OutDir()), QStringList{"logo3.png"});
    EXPECT_TRUE(engine_.IdleTasks().empty());
}

// Two workers, as on a two-core machine.
class ParallelImageEngineTest : public ImageEngineTest {
protected:
    RecordingSink sink2_;
    ImageEngine parallel_{sink2_, [this] { return Read(); }, 2};
    void AddTo(int taskId, const QString& name)
    {
        Save(MakeImage("logo:"), "PNG", Src(name), 92);
        ImageTask task;
        task.fileName = name;
        task.filePath = Src(name);
        parallel_.AddTask(taskId, task);
    }
};

TEST_F(ParallelImageEngineTest, TwoImagesRunAtOnceAndFinishInAnyOrder)
{
    for (int id : {1, 2, 3}) AddTo(id, QStringLiteral("logo%1.png").arg(id));
    Hold(true);  // each started task waits for its settings: both must be under way at once
    parallel_.Start();
    parallel_.EnqueueAll({1, 2, 3});
    const auto first = sink2_.Next(), second = sink2_.Next();
    EXPECT_EQ(first.kind, 'S');
    EXPECT_EQ(second.kind, 'S');
    EXPECT_EQ(std::set<int>({first.taskId, second.taskId}), std::set<int>({1, 2}));
    EXPECT_EQ(sink2_.Next(300).kind, 'T') << "a third started beside two";
    EXPECT_EQ(parallel_.IdleTasks(), std::vector<int>{3});
    Hold(false);

    std::set<int> done;
    for (int i = 0; i < 2; ++i) {
        const auto ended = sink2_.Next();
        ASSERT_EQ(ended.kind, 'D');
        done.insert(ended.taskId);
    }
    EXPECT_EQ(done, std::set<int>({1, 2}));
    // One release frees one worker for the third image.
    EXPECT_TRUE(parallel_.Release(2));
    const auto third = sink2_.Next();
    EXPECT_TRUE(third.kind == 'S' && third.taskId == 3);
    EXPECT_EQ(sink2_.Next().kind, 'D');
    EXPECT_TRUE(parallel_.Release(1));
    EXPECT_TRUE(parallel_.Release(3));
    EXPECT_EQ(ImagePipeline::Budget().InUse(), 0u);
    EXPECT_LE(ImagePipeline::Budget().Peak(), ImagePipeline::kMemoryLimit);
    EXPECT_EQ(Entries(OutDir()).size(), 3);
}

TEST_F(ParallelImageEngineTest, AnImageWaitsUntilItsMemoryFitsBesideTheOthers)
{
    AddTo(1, "logo.png");
    MemoryBudget& budget = ImagePipeline::Budget();
    // Everything but a few kilobytes is held, as by other images under way: the 640x480 logo
    // (a few megabytes decoded) cannot start decoding.
    const unsigned long long held = budget.Total() - 4096;
    ASSERT_TRUE(budget.Acquire(held));
    parallel_.Start();
    parallel_.Enqueue(1);
    EXPECT_EQ(sink2_.Next().kind, 'S');
    EXPECT_EQ(sink2_.Next(800).kind, 'T') << "ran beyond the budget";
    budget.Release(held);
    const auto done = sink2_.Next();
    EXPECT_EQ(done.kind, 'D');
    EXPECT_TRUE(parallel_.Release(1));
    EXPECT_EQ(budget.InUse(), 0u);
}

TEST(MemoryBudgetTest, ReservationsWaitForRoomAndTheWholeIsNeverExceeded)
{
    MemoryBudget budget(100);
    ASSERT_EQ(budget.Acquire(60), 60u);
    std::atomic<bool> got{false};
    std::thread other([&] { got = budget.Acquire(50) == 50; });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(got) << "60 + 50 would pass 100";
    budget.Release(60);
    other.join();
    EXPECT_TRUE(got);
    EXPECT_EQ(budget.InUse(), 50u);
    EXPECT_EQ(budget.Peak(), 60u);
    budget.Release(50);
    EXPECT_EQ(budget.InUse(), 0u);
}

TEST(MemoryBudgetTest, AReservationLargerThanTheWholeWaitsToRunAlone)
{
    MemoryBudget budget(100);
    ASSERT_EQ(budget.Acquire(10), 10u);
    std::atomic<unsigned long long> got{0};
    std::thread large([&] { got = budget.Acquire(250); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(got, 0u) << "started beside another";
    budget.Release(10);
    large.join();
    EXPECT_EQ(got, 100u) << "holds the whole budget, no more";
    EXPECT_EQ(budget.Peak(), 100u);
    budget.Release(got);
    EXPECT_EQ(budget.InUse(), 0u);
}

}  // namespace
