#include "video/VideoEngine.h"

#include <algorithm>

bool VideoEngine::Enqueue(int taskId)
{
    bool added = false;
    {
        std::lock_guard guard(videoQueueLock);
        if (std::find(idleTaskList.begin(), idleTaskList.end(), taskId) == idleTaskList.end()) {
            idleTaskList.push_back(taskId);
            added = true;
        }
    }
    videoQueueCond.notify_all();
    return added;
}

void VideoEngine::EnqueueAll(const std::vector<int>& taskIds)
{
    {
        std::lock_guard guard(videoQueueLock);
        for (int id : taskIds) {
            if (std::find(idleTaskList.begin(), idleTaskList.end(), id) == idleTaskList.end())
                idleTaskList.push_back(id);
        }
    }
    videoQueueCond.notify_all();
}

std::optional<int> VideoEngine::TakeNext()
{
    std::lock_guard guard(videoQueueLock);
    if (idleTaskList.empty()) return std::nullopt;
    const int id = idleTaskList.front();
    idleTaskList.pop_front();
    busyTaskList.push_back(id);
    return id;
}

void VideoEngine::Release(int taskId)
{
    {
        std::lock_guard guard(videoQueueLock);
        busyTaskList.remove(taskId);
    }
    videoQueueCond.notify_all();
}

std::vector<int> VideoEngine::IdleTasks() const
{
    std::lock_guard guard(videoQueueLock);
    return {idleTaskList.begin(), idleTaskList.end()};
}

std::vector<int> VideoEngine::BusyTasks() const
{
    std::lock_guard guard(videoQueueLock);
    return {busyTaskList.begin(), busyTaskList.end()};
}

bool VideoEngine::HasBusyTasks() const
{
    std::lock_guard guard(videoQueueLock);
    return !busyTaskList.empty();
}

void VideoEngine::AddTask(int taskId, const VideoTask& task)
{
    std::lock_guard guard(videoQueueLock);
    videoTaskMap[taskId] = task;
}

std::optional<VideoTask> VideoEngine::FindTask(int taskId) const
{
    std::lock_guard guard(videoQueueLock);
    const auto it = videoTaskMap.find(taskId);
    if (it == videoTaskMap.end()) return std::nullopt;
    return it->second;
}

void VideoEngine::RemoveTask(int taskId)
{
    std::lock_guard guard(videoQueueLock);
    videoTaskMap.erase(taskId);
}

std::vector<int> VideoEngine::TaskIds() const
{
    std::lock_guard guard(videoQueueLock);
    std::vector<int> ids;
    for (const auto& entry : videoTaskMap) ids.push_back(entry.first);
    return ids;
}
