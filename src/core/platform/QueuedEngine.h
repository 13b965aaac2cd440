// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <vector>

#include "core/platform/TaskQueue.h"

namespace platform {

// The queue operations an engine offers its owner, passed on to the engine's TaskQueue.
// Enqueue and EnqueueAll append ids that do not wait yet and wake the workers; TakeNext moves
// the first waiting id to the running list without starting it (for a paused engine, or one
// without a worker); while paused no task starts. How a cancelled running task ends, and what
// Release does besides taking the id off the running list, is the engine's own.
//
// Every operation is thread-safe, as the queue's are.
class QueuedEngine {
public:
    QueuedEngine(const QueuedEngine&) = delete;
    QueuedEngine& operator=(const QueuedEngine&) = delete;

    bool Enqueue(int taskId);
    bool EnqueueAll(const std::vector<int>& taskIds);
    std::optional<int> TakeNext();
    void SetPaused(bool paused);

    // Takes the id out of the queue: a waiting id is removed at once and gets no report, a
    // running one is asked to stop through its stop token. False when the id was neither
    // waiting nor running.
    bool Cancel(int taskId);

    std::vector<int> IdleTasks() const;
    std::vector<int> BusyTasks() const;
    bool HasBusyTasks() const;
    // Waiting or running: a row that must not be deleted.
    bool IsQueued(int taskId) const;

protected:
    QueuedEngine() = default;
    ~QueuedEngine() = default;

    // The engine's Release takes ids off its running list.
    TaskQueue queue_;
};

}  // namespace platform
