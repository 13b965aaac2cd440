#pragma once

#include <condition_variable>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "intake/VideoTask.h"

// The video engine's queues: task ids waiting to be compressed (first in, first out) and the
// ids being compressed. The UI thread appends; the worker takes the next id and releases it when
// the UI thread has handled its result.
class VideoEngine {
public:
    VideoEngine() = default;
    VideoEngine(const VideoEngine&) = delete;
    VideoEngine& operator=(const VideoEngine&) = delete;

    // Appends the id unless it already waits, and wakes the worker. False when it was waiting.
    bool Enqueue(int taskId);
    // Appends each id that does not wait yet, in order, and wakes the worker once.
    void EnqueueAll(const std::vector<int>& taskIds);

    // Moves the first waiting id to the running list, or nothing when none waits.
    std::optional<int> TakeNext();
    // Removes the id from the running list and wakes the worker.
    void Release(int taskId);

    // The row records (videoTaskMap), shared with the worker under the queue lock.
    void AddTask(int taskId, const VideoTask& task);
    std::optional<VideoTask> FindTask(int taskId) const;
    void RemoveTask(int taskId);
    std::vector<int> TaskIds() const;

    std::vector<int> IdleTasks() const;
    std::vector<int> BusyTasks() const;
    bool HasBusyTasks() const;

private:
    mutable std::mutex videoQueueLock;
    std::condition_variable_any videoQueueCond;
    std::list<int> idleTaskList;
    std::list<int> busyTaskList;
    std::map<int, VideoTask> videoTaskMap;
};
