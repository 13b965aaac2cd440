// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/platform/TaskQueue.h"

#include <algorithm>

namespace platform {

namespace {

bool Contains(const std::list<int>& list, int taskId)
{
    return std::find(list.begin(), list.end(), taskId) != list.end();
}

}  // namespace

bool TaskQueue::Enqueue(int taskId)
{
    {
        std::lock_guard guard(lock_);
        if (Contains(idle_, taskId)) return false;
        idle_.push_back(taskId);
    }
    wake_.notify_all();
    return true;
}

bool TaskQueue::EnqueueAll(const std::vector<int>& taskIds)
{
    bool added = false;
    {
        std::lock_guard guard(lock_);
        for (int taskId : taskIds) {
            if (Contains(idle_, taskId)) continue;
            idle_.push_back(taskId);
            added = true;
        }
    }
    if (added) wake_.notify_all();
    return added;
}

TaskQueue::Taken TaskQueue::TakeFront()
{
    const int taskId = idle_.front();
    idle_.pop_front();
    busy_.push_back(taskId);
    // A fresh stop for this run; one of a queue already stopped starts out requested.
    std::stop_source& stop = running_[taskId] = std::stop_source();
    if (stopped_) stop.request_stop();
    return {taskId, stop.get_token()};
}

std::optional<TaskQueue::Taken> TaskQueue::WaitNext()
{
    std::unique_lock lock(lock_);
    wake_.wait(lock, [this] {
        return stopped_ || (!paused_ && busy_.size() < maxRunning_ && !idle_.empty() &&
                            std::find(busy_.begin(), busy_.end(), idle_.front()) == busy_.end());
    });
    if (stopped_) return std::nullopt;
    return TakeFront();
}

std::optional<TaskQueue::Taken> TaskQueue::TakeNext()
{
    std::lock_guard guard(lock_);
    if (idle_.empty()) return std::nullopt;
    return TakeFront();
}

bool TaskQueue::Release(int taskId)
{
    {
        std::lock_guard guard(lock_);
        const auto it = std::find(busy_.begin(), busy_.end(), taskId);
        if (it == busy_.end()) return false;
        busy_.erase(it);
        running_.erase(taskId);
        cancelled_.erase(taskId);
    }
    wake_.notify_all();
    return true;
}

TaskQueue::Cancelled TaskQueue::Cancel(int taskId)
{
    std::stop_source stop;
    {
        std::lock_guard guard(lock_);
        if (const auto it = std::find(idle_.begin(), idle_.end(), taskId); it != idle_.end()) {
            idle_.erase(it);
            return Cancelled::Removed;
        }
        const auto running = running_.find(taskId);
        if (running == running_.end()) return Cancelled::NotQueued;
        cancelled_.insert(taskId);
        stop = running->second;
    }
    // Outside the lock: the token's callbacks run here and may be anything.
    stop.request_stop();
    return Cancelled::Stopping;
}

bool TaskQueue::IsCancelled(int taskId) const
{
    std::lock_guard guard(lock_);
    return cancelled_.count(taskId) > 0;
}

void TaskQueue::SetPaused(bool paused)
{
    {
        std::lock_guard guard(lock_);
        paused_ = paused;
    }
    wake_.notify_all();
}

bool TaskQueue::Paused() const
{
    std::lock_guard guard(lock_);
    return paused_;
}

void TaskQueue::Stop()
{
    std::vector<std::stop_source> running;
    {
        std::lock_guard guard(lock_);
        stopped_ = true;
        for (const auto& entry : running_) running.push_back(entry.second);
    }
    wake_.notify_all();
    for (std::stop_source& stop : running) stop.request_stop();
}

bool TaskQueue::Stopped() const
{
    std::lock_guard guard(lock_);
    return stopped_;
}

std::vector<int> TaskQueue::IdleTasks() const
{
    std::lock_guard guard(lock_);
    return {idle_.begin(), idle_.end()};
}

std::vector<int> TaskQueue::BusyTasks() const
{
    std::lock_guard guard(lock_);
    return {busy_.begin(), busy_.end()};
}

bool TaskQueue::HasBusyTasks() const
{
    std::lock_guard guard(lock_);
    return !busy_.empty();
}

bool TaskQueue::IsQueued(int taskId) const
{
    std::lock_guard guard(lock_);
    return Contains(idle_, taskId) || Contains(busy_, taskId);
}

void TaskQueue::SetMaxRunning(int count)
{
    {
        std::lock_guard guard(lock_);
        maxRunning_ = static_cast<std::size_t>(std::max(1, count));
    }
    wake_.notify_all();
}

}  // namespace platform
