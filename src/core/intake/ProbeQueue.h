// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "core/intake/VideoTask.h"

// Probes videos on worker threads, as many at once as it has workers (by default one per core),
// and hands each result to the thread that made the queue in the order the files were queued:
// a file probed early waits for the files queued before it. Files are queued in batches (one
// choice of files, one folder); a batch ends after its last result.
//
// Results travel as queued calls to this object, so none arrives once it is gone; Stop (and the
// destructor) kills the probers that run, waits for the workers and drops what is left.
//
// Results that waited for an earlier file are handed back in slices of about kHandBackSliceMs,
// with a turn of the owner's event loop between two slices: a slow first file of a large folder
// releases hundreds of results at once, and handing them all back in one go (a row built for
// each) would hold up the window for as long.
class ProbeQueue : public QObject {
    Q_OBJECT
public:
    static constexpr int kHandBackSliceMs = 20;

    // What the owner thread is told, always in this order for a batch: each file, then the end.
    struct Reports {
        // One probed file: the record with its facts filled in, and whether it is usable.
        std::function<void(int batch, const VideoTask& task, bool usable)> probed;
        // After the last file of a batch.
        std::function<void(int batch)> batchDone;
        // Files queued and not yet handed back changed to this number.
        std::function<void(int pending)> pendingChanged;
    };

    explicit ProbeQueue(Reports reports, int workers = QThread::idealThreadCount(),
                        QObject* parent = nullptr);
    ~ProbeQueue() override;

    // Queues the records (filePath set) as one batch and returns its number (counting from 1);
    // 0 for an empty list, which reports nothing. Ignored after Stop.
    int Add(std::vector<VideoTask> tasks);
    // Files queued and not yet handed back.
    int Pending() const { return pending_; }
    // Ends the probers that run (killed and reaped), drops the waiting files and joins the
    // workers. Nothing is reported afterwards.
    void Stop();

private:
    struct Job {
        qint64 sequence;
        int batch;
        VideoTask task;
    };
    struct Done {
        int batch;
        VideoTask task;
        bool usable;
    };

    void Work(std::stop_token stop);
    void Deliver(qint64 sequence, Done done);
    // Hands back the results that are next in order, for one slice; posts the rest for later.
    void HandBack();

    Reports reports_;
    int workerCount_;

    std::mutex lock_;
    std::condition_variable_any wake_;
    std::deque<Job> jobs_;  // guarded by lock_
    std::vector<std::jthread> workers_;

    // The owner thread's side.
    qint64 nextSequence_ = 0;       // given to the next queued file
    qint64 nextToDeliver_ = 0;      // the file whose result is handed back next
    std::map<qint64, Done> early_;  // results that wait for earlier files
    std::map<int, int> batchLeft_;  // files of each open batch not yet handed back
    int lastBatch_ = 0;
    int pending_ = 0;
    bool delivering_ = false;
    bool handBackPosted_ = false;  // a queued HandBack will come
    bool stopped_ = false;
};
