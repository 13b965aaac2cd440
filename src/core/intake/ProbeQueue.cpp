// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/intake/ProbeQueue.h"

#include <QElapsedTimer>

#include <algorithm>

#include "core/intake/MediaProbe.h"

ProbeQueue::ProbeQueue(Reports reports, int workers, QObject* parent)
    : QObject(parent), reports_(std::move(reports)), workerCount_(std::max(1, workers))
{
}

ProbeQueue::~ProbeQueue()
{
    // The owner is going: it hears nothing more, not even the count falling to 0.
    reports_ = Reports{};
    Stop();
}

int ProbeQueue::Add(std::vector<VideoTask> tasks)
{
    if (stopped_ || tasks.empty()) return 0;
    const int batch = ++lastBatch_;
    batchLeft_[batch] = static_cast<int>(tasks.size());
    {
        const std::lock_guard guard(lock_);
        for (VideoTask& task : tasks) jobs_.push_back({nextSequence_++, batch, std::move(task)});
    }
    pending_ += static_cast<int>(tasks.size());
    // The workers start with the first batch; they wait for more until Stop.
    while (static_cast<int>(workers_.size()) < workerCount_)
        workers_.emplace_back([this](std::stop_token stop) { Work(stop); });
    wake_.notify_all();
    if (reports_.pendingChanged) reports_.pendingChanged(pending_);
    return batch;
}

void ProbeQueue::Work(std::stop_token stop)
{
    for (;;) {
        Job job;
        {
            std::unique_lock guard(lock_);
            if (!wake_.wait(guard, stop, [this] { return !jobs_.empty(); })) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        const bool usable = ProbeVideo(job.task.filePath, job.task, stop);
        if (stop.stop_requested()) return;
        QMetaObject::invokeMethod(
            this,
            [this, sequence = job.sequence, done = Done{job.batch, std::move(job.task), usable}] {
                Deliver(sequence, done);
            },
            Qt::QueuedConnection);
    }
}

void ProbeQueue::Deliver(qint64 sequence, Done done)
{
    if (stopped_) return;
    early_.emplace(sequence, std::move(done));
    HandBack();
}

void ProbeQueue::HandBack()
{
    // A report may open a nested event loop that delivers more: the outer call hands them on.
    if (delivering_ || stopped_) return;
    delivering_ = true;
    QElapsedTimer slice;
    slice.start();
    for (auto next = early_.find(nextToDeliver_); next != early_.end() && !stopped_;
         next = early_.find(nextToDeliver_)) {
        if (slice.hasExpired(kHandBackSliceMs)) {
            // The rest after the events that wait (input, painting, timers).
            if (!handBackPosted_) {
                handBackPosted_ = true;
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        handBackPosted_ = false;
                        HandBack();
                    },
                    Qt::QueuedConnection);
            }
            break;
        }
        const Done ready = std::move(next->second);
        early_.erase(next);
        ++nextToDeliver_;
        --pending_;
        if (reports_.pendingChanged) reports_.pendingChanged(pending_);
        if (reports_.probed) reports_.probed(ready.batch, ready.task, ready.usable);
        if (stopped_) break;
        if (--batchLeft_[ready.batch] == 0) {
            batchLeft_.erase(ready.batch);
            if (reports_.batchDone) reports_.batchDone(ready.batch);
        }
    }
    delivering_ = false;
}

void ProbeQueue::Stop()
{
    if (stopped_) return;
    stopped_ = true;
    // Each worker's stop ends its wait or its prober (killed and reaped inside ProbeVideo).
    for (std::jthread& worker : workers_) worker.request_stop();
    for (std::jthread& worker : workers_) worker.join();
    workers_.clear();
    jobs_.clear();
    early_.clear();
    batchLeft_.clear();
    if (pending_ != 0) {
        pending_ = 0;
        if (reports_.pendingChanged) reports_.pendingChanged(0);
    }
}
