// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/image/ImageEngineSink.h"
#include "core/image/ImageParams.h"
#include "core/image/ImageSettings.h"
#include "core/intake/VideoTask.h"
#include "core/platform/QueuedEngine.h"

// The image engine: a TaskQueue of task ids started first in, first out, by as many worker threads
// as the engine was made with (the window and the command line: one per core), each compressing
// one image at a time through ImagePipeline. Images run side by side and finish in any order;
// together they stay within the pipeline's memory budget.
//
// A worker takes the oldest waiting id only while fewer tasks than workers are running, moves it
// to the running list in the same step (so an id is always either waiting, running or neither),
// asks the settings reader for what the task is compressed with, runs the pipeline and reports
// through the sink. The id stays in the running list until the owner calls Release, so a worker
// starts its next image only after a result has been shown.
//
// Threads: every public function may be called from any thread, except that the sink and the
// reader (called from the worker) must not call Stop. The engine's lock guards the parameter
// map and the task map; it is never held while the sink or the reader is called or the pipeline
// runs.
//
// Cancel (from QueuedEngine): the running image is given up within about a second wherever the
// pipeline is (what it wrote is removed), and the task reports TaskCancelled instead of TaskDone
// or TaskFailed, then waits for Release like any other.
class ImageEngine : public platform::QueuedEngine {
public:
    // The sink must stay alive until Stop has returned; the reader is called on the workers.
    // workers: how many images run at once (at least 1).
    ImageEngine(ImageEngineSink& sink, ImageSettingsReader reader, int workers = 1);
    ~ImageEngine();  // Stop()

    // Starts the workers. False when they were started or stopped before (an engine starts its
    // workers once in its life).
    bool Start();
    // Stops the workers and joins them. Images being compressed are given up within about a
    // second, write nothing and get no report (one that was already written keeps its report);
    // waiting ids stay where they are.
    void Stop();

    // The owner has handled the task's result: forgets its run parameters, takes it off the
    // running list and wakes the worker. False when the id was not running (a stale result).
    bool Release(int taskId);

    int WorkerCount() const { return workerCount_; }

    // The run parameters of a running or finished-but-unreleased task (imageParamsMap).
    std::optional<ImageParams> FindParams(int taskId) const;

    // The row records.
    void AddTask(int taskId, const ImageTask& task);
    std::optional<ImageTask> FindTask(int taskId) const;
    void RemoveTask(int taskId);

private:
    void WorkerProc();
    ImageParams SampleParams(int taskId, const QString& sourcePath,
                             const QString& addedRoot = {}) const;

    ImageEngineSink& sink_;
    const ImageSettingsReader reader_;

    mutable std::mutex lock_;  // guards the two maps
    std::map<int, ImageParams> imageParamsMap;
    std::map<int, ImageTask> taskMap_;

    const int workerCount_;
    std::mutex lifeLock_;  // orders Start and Stop
    bool started_ = false;
    std::vector<std::jthread> workers_;
};
