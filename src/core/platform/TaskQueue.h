// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <vector>

namespace platform {

// The waiting and running lists of an engine that works through task ids first in, first out,
// one at a time with one worker thread, or up to SetMaxRunning at once with as many workers.
//
// An id is waiting, running or neither, never both. The worker takes the oldest waiting id only
// while nothing runs, the queue is not paused and not stopped, and moves it to the running list
// in the same step; it stays there until the owner calls Release, so the next task starts only
// after the owner has handled the previous one's result.
//
// Each running task has a stop token that turns requested when the task is cancelled or the
// queue is stopped; the worker hands it to whatever can be interrupted.
//
// Every operation is thread-safe. No call is made to anything outside while the queue's lock is
// held, so the queue's lock never nests inside an engine's own lock or the other way round.
class TaskQueue {
public:
    // A task the worker took: its id, and the token that asks it to stop.
    struct Taken {
        int taskId = 0;
        std::stop_token stop;
    };

    // What Cancel did.
    enum class Cancelled {
        NotQueued,  // the id was neither waiting nor running
        Removed,    // the id was waiting and waits no longer
        Stopping,   // the id is running: its stop token is requested
    };

    TaskQueue() = default;
    TaskQueue(const TaskQueue&) = delete;
    TaskQueue& operator=(const TaskQueue&) = delete;

    // Appends the id unless it already waits, and wakes the worker. False (and no wake) when it
    // was waiting. A running id may wait again: it starts once it has been released.
    bool Enqueue(int taskId);
    // Appends each id that does not wait yet, in order, and wakes the worker once. True when
    // any was added.
    bool EnqueueAll(const std::vector<int>& taskIds);

    // Blocks until a task may start (not paused, nothing running, an id waiting) and takes it,
    // or until Stop; nullopt once stopped. The condition is tested again after every wake, so
    // a spurious or early wake only goes back to sleep.
    std::optional<Taken> WaitNext();
    // Takes the oldest waiting id at once, whatever runs and even while paused or stopped;
    // nullopt when none waits. For an owner that drives a queue without a worker.
    std::optional<Taken> TakeNext();

    // Removes the id from the running list and wakes the worker. False when it was not running
    // (a stale or repeated release).
    bool Release(int taskId);

    // Removes a waiting id, or asks a running one to stop (see Cancelled). A running id stays
    // running until it is released.
    Cancelled Cancel(int taskId);
    // True while the running id has been cancelled (until it is released).
    bool IsCancelled(int taskId) const;

    // How many ids may run at once (default 1, at least 1). A waiting id that runs already waits
    // for its release, and the ids behind it with it.
    void SetMaxRunning(int count);

    // While paused no task is taken by WaitNext (a running one goes on); resuming wakes the
    // worker.
    void SetPaused(bool paused);
    bool Paused() const;

    // Ends WaitNext for good and requests the running tasks' stop tokens. Waiting ids stay
    // waiting. Safe to call more than once.
    void Stop();
    bool Stopped() const;

    std::vector<int> IdleTasks() const;
    std::vector<int> BusyTasks() const;
    bool HasBusyTasks() const;
    // Waiting or running: a task whose row must stay.
    bool IsQueued(int taskId) const;

private:
    Taken TakeFront();  // with lock_ held and an id waiting

    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::list<int> idle_;
    std::list<int> busy_;
    std::map<int, std::stop_source> running_;  // the stop of each running id
    std::set<int> cancelled_;                  // running ids that were cancelled
    std::size_t maxRunning_ = 1;
    bool paused_ = false;
    bool stopped_ = false;
};

}  // namespace platform
