#pragma once

#include <QString>

#include <condition_variable>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

#include "core/image/ImageEngineSink.h"
#include "core/image/ImageParams.h"
#include "core/intake/VideoTask.h"

// What the image worker reads from the main page when a task starts. The UI thread keeps the
// engine's copy current (SetPageFields) whenever the user changes one of them, so the worker
// never touches a widget.
struct ImagePageFields {
    QString widthText;         // the "image-width" field as typed
    QString heightText;        // the "image-height" field as typed
    bool defineParam = false;  // the "image-define-param" check box
};

// The image engine: a queue of task ids compressed one at a time, first in, first out, by one
// worker thread through ImagePipeline.
//
// The worker takes the oldest waiting id only when no task is running, moves it to the running
// list in the same step (so an id is always either waiting, running or neither), samples the
// image settings and the page fields, runs the pipeline and reports through the sink. The id
// stays in the running list until the UI thread calls Release, so the next image starts only
// after the previous result has been shown.
//
// Threads: every public function may be called from any thread, except that the sink (called
// from the worker) must not call Stop. One lock (imageQueueLock) guards the lists, the parameter map and the task map; it is
// never held while the sink is called, a setting is read or the pipeline runs.
class ImageEngine {
public:
    explicit ImageEngine(ImageEngineSink& sink);
    ~ImageEngine();  // Stop()
    ImageEngine(const ImageEngine&) = delete;
    ImageEngine& operator=(const ImageEngine&) = delete;

    // Starts the worker; nothing happens when it runs already or has been stopped.
    void Start();
    // Stops the worker and joins it. An image being compressed is finished first (and
    // reported); waiting ids stay where they are.
    void Stop();

    // Appends the id unless it already waits, and wakes the worker. False when it was waiting.
    bool Enqueue(int taskId);
    // Appends each id that does not wait yet, in order, and wakes the worker once.
    void EnqueueAll(const std::vector<int>& taskIds);
    // The UI thread has handled the task's result: forgets its run parameters, removes it from
    // the running list and wakes the worker. False when the id had no run (a stale result).
    bool Release(int taskId);

    // The run parameters of a running or finished-but-unreleased task (imageParamsMap).
    std::optional<ImageParams> FindParams(int taskId) const;

    // The row records (imageTaskMap).
    void AddTask(int taskId, const ImageTask& task);
    std::optional<ImageTask> FindTask(int taskId) const;
    void RemoveTask(int taskId);

    std::vector<int> IdleTasks() const;
    std::vector<int> BusyTasks() const;
    bool IsQueuedOrRunning(int taskId) const;

    void SetPageFields(const ImagePageFields& fields);

private:
    void ImageWorkerProc(std::stop_token stop);
    ImageParams SampleParams(int taskId, const QString& sourcePath) const;

    ImageEngineSink& sink_;

    mutable std::mutex imageQueueLock;
    std::condition_variable_any imageQueueCond;
    std::list<int> idleTaskImageList;
    std::list<int> busyTaskImageList;
    std::map<int, ImageParams> imageParamsMap;
    std::map<int, ImageTask> imageTaskMap;

    mutable std::mutex pageFieldsLock;
    ImagePageFields pageFields;

    std::mutex lifeLock;  // orders Start and Stop
    bool stopped_ = false;
    std::jthread worker_;
};
