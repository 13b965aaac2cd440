// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/platform/QueuedEngine.h"

namespace platform {

bool QueuedEngine::Enqueue(int taskId)
{
    return queue_.Enqueue(taskId);
}

bool QueuedEngine::EnqueueAll(const std::vector<int>& taskIds)
{
    return queue_.EnqueueAll(taskIds);
}

std::optional<int> QueuedEngine::TakeNext()
{
    const auto taken = queue_.TakeNext();
    if (!taken) return std::nullopt;
    return taken->taskId;
}

void QueuedEngine::SetPaused(bool paused)
{
    queue_.SetPaused(paused);
}

bool QueuedEngine::Cancel(int taskId)
{
    return queue_.Cancel(taskId) != TaskQueue::Cancelled::NotQueued;
}

std::vector<int> QueuedEngine::IdleTasks() const
{
    return queue_.IdleTasks();
}

std::vector<int> QueuedEngine::BusyTasks() const
{
    return queue_.BusyTasks();
}

bool QueuedEngine::HasBusyTasks() const
{
    return queue_.HasBusyTasks();
}

bool QueuedEngine::IsQueued(int taskId) const
{
    return queue_.IsQueued(taskId);
}

}  // namespace platform
