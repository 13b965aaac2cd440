// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/platform/TaskQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using platform::TaskQueue;

namespace {

using namespace std::chrono_literals;

// A worker that takes one task from the queue on a thread of its own.
std::future<std::optional<TaskQueue::Taken>> TakeOnWorker(TaskQueue& queue)
{
    return std::async(std::launch::async, [&queue] { return queue.WaitNext(); });
}

bool StillWaiting(const std::future<std::optional<TaskQueue::Taken>>& worker)
{
    return worker.wait_for(200ms) == std::future_status::timeout;
}

TEST(TaskQueueTest, KeepsArrivalOrderWithoutDuplicateWaitingIds)
{
    TaskQueue queue;
    EXPECT_TRUE(queue.Enqueue(4));
    EXPECT_FALSE(queue.Enqueue(4));
    EXPECT_TRUE(queue.EnqueueAll({2, 4, 9, 2}));
    EXPECT_FALSE(queue.EnqueueAll({9, 2}));
    EXPECT_EQ(queue.IdleTasks(), (std::vector<int>{4, 2, 9}));

    EXPECT_EQ(queue.TakeNext()->taskId, 4);
    EXPECT_EQ(queue.BusyTasks(), std::vector<int>{4});
    EXPECT_TRUE(queue.IsQueued(4));
    // A running id may wait again; it is only taken once released.
    EXPECT_TRUE(queue.Enqueue(4));
    EXPECT_EQ(queue.IdleTasks(), (std::vector<int>{2, 9, 4}));

    EXPECT_TRUE(queue.Release(4));
    EXPECT_FALSE(queue.Release(4)) << "a repeated release";
    EXPECT_FALSE(queue.HasBusyTasks());
    EXPECT_TRUE(queue.IsQueued(4)) << "still waiting";
}

TEST(TaskQueueTest, TheNextTaskStartsOnlyAfterTheReleaseAndNotWhilePaused)
{
    TaskQueue queue;
    queue.EnqueueAll({1, 2});
    const auto first = queue.WaitNext();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->taskId, 1);

    auto worker = TakeOnWorker(queue);
    EXPECT_TRUE(StillWaiting(worker)) << "taken while 1 runs";
    // Wakes that do not make a task ready only send the worker back to sleep.
    queue.SetPaused(false);
    queue.Enqueue(3);
    EXPECT_TRUE(StillWaiting(worker));

    queue.SetPaused(true);
    queue.Release(1);
    EXPECT_TRUE(StillWaiting(worker)) << "taken while paused";
    queue.SetPaused(false);
    ASSERT_EQ(worker.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(worker.get()->taskId, 2);
    EXPECT_EQ(queue.IdleTasks(), std::vector<int>{3});
}

TEST(TaskQueueTest, WithTwoRunningPlacesTwoWorkersTakeTasksAtOnceInOrder)
{
    TaskQueue queue;
    queue.SetMaxRunning(2);
    queue.EnqueueAll({1, 2, 3});
    const auto first = queue.WaitNext(), second = queue.WaitNext();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->taskId, 1);
    EXPECT_EQ(second->taskId, 2);
    EXPECT_EQ(queue.BusyTasks(), (std::vector<int>{1, 2}));
    EXPECT_TRUE(queue.Enqueue(1));  // waits again while it runs

    auto third = TakeOnWorker(queue);
    EXPECT_TRUE(StillWaiting(third)) << "a third ran beside two";
    queue.Release(2);
    ASSERT_EQ(third.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(third.get()->taskId, 3);

    // 1 waits again while it runs: it is not taken twice at once, nor is anything behind it.
    queue.Release(3);
    auto again = TakeOnWorker(queue);
    EXPECT_TRUE(StillWaiting(again)) << "the running 1 was taken a second time";
    queue.Release(1);
    ASSERT_EQ(again.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(again.get()->taskId, 1);
}

TEST(TaskQueueTest, StopEndsTheWaitAndStopsTheRunningTaskButKeepsTheWaitingOnes)
{
    TaskQueue queue;
    queue.EnqueueAll({1, 2});
    const auto running = queue.WaitNext();
    ASSERT_TRUE(running);
    auto worker = TakeOnWorker(queue);
    EXPECT_TRUE(StillWaiting(worker));

    queue.Stop();
    ASSERT_EQ(worker.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(worker.get());
    EXPECT_TRUE(running->stop.stop_requested());
    EXPECT_FALSE(queue.IsCancelled(1)) << "stopped, not cancelled";
    EXPECT_EQ(queue.IdleTasks(), std::vector<int>{2});
    EXPECT_FALSE(queue.WaitNext()) << "a stopped queue gives nothing more";
    queue.Release(1);
    // Taken by hand from a stopped queue, a task is stopped from the start.
    EXPECT_TRUE(queue.TakeNext()->stop.stop_requested());
}

TEST(TaskQueueTest, CancelRemovesAWaitingIdAndAsksARunningOneToStop)
{
    TaskQueue queue;
    queue.EnqueueAll({1, 2, 3});
    const auto running = queue.WaitNext();
    ASSERT_TRUE(running);
    std::atomic<int> stopCalls = 0;
    const std::stop_callback onStop(running->stop, [&] { ++stopCalls; });

    EXPECT_EQ(queue.Cancel(2), TaskQueue::Cancelled::Removed);
    EXPECT_EQ(queue.IdleTasks(), std::vector<int>{3});
    EXPECT_EQ(stopCalls, 0);
    EXPECT_EQ(queue.Cancel(2), TaskQueue::Cancelled::NotQueued);

    EXPECT_EQ(queue.Cancel(1), TaskQueue::Cancelled::Stopping);
    EXPECT_EQ(stopCalls, 1);
    EXPECT_TRUE(queue.IsCancelled(1));
    EXPECT_EQ(queue.BusyTasks(), std::vector<int>{1}) << "running until released";
    queue.Release(1);
    EXPECT_FALSE(queue.IsCancelled(1));
    EXPECT_EQ(queue.Cancel(1), TaskQueue::Cancelled::NotQueued);

    // The next run of the same id starts with a fresh stop.
    queue.Enqueue(1);
    const auto next = queue.WaitNext();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->taskId, 3);
    EXPECT_FALSE(next->stop.stop_requested());
}

}  // namespace
