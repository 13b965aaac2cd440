#pragma once

#include <QString>

#include <condition_variable>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <thread>
#include <vector>

#include "core/intake/VideoTask.h"
#include "core/video/CompressParams.h"
#include "core/video/FfmpegRunner.h"
#include "core/video/VideoEngineSink.h"

// The video engine: the waiting and running lists, the row records and per-row parameters it
// reads, and the worker thread that compresses one task at a time with ffmpeg. No widget code:
// it reports through a VideoEngineSink, and what it needs of the main page reaches it as a
// MainPageSnapshot that the UI thread keeps current.
//
// The worker takes the oldest waiting id only while no id is running, so the next task starts
// after the owner has handled the previous task's TaskDone or TaskFailed and called Release.
// Every operation is thread-safe; the UI thread calls Enqueue, Release, SetMainPage, SetParams
// and the task-map operations, the worker reads what they wrote when a task starts.
class VideoEngine {
public:
    VideoEngine() = default;
    // Stops the worker (see Stop).
    ~VideoEngine();
    VideoEngine(const VideoEngine&) = delete;
    VideoEngine& operator=(const VideoEngine&) = delete;

    // Starts the worker thread, which reports to sink until Stop. False when a worker was
    // already started (an engine runs one worker in its life).
    bool Start(VideoEngineSink& sink);
    // Stops the worker and joins it. A running ffmpeg is asked to end, killed when it has not
    // ended within the stop grace, and reaped; its partial output is removed; its task gets no
    // report. Waiting ids stay waiting. Safe to call more than once and without Start. The sink
    // must stay alive until Stop has returned.
    void Stop();

    // Appends the id unless it already waits, and wakes the worker. False (and no wake) when it
    // was waiting.
    bool Enqueue(int taskId);
    // Appends each id that does not wait yet, in order, and wakes the worker once.
    void EnqueueAll(const std::vector<int>& taskIds);

    // Moves the first waiting id to the running list without starting an encoder, or nothing
    // when none waits. The worker takes ids itself; this is for an engine without a worker or a
    // paused one (a test that needs a task in the running state).
    std::optional<int> TakeNext();
    // While paused the worker starts no task (a running one goes on); resuming wakes it.
    void SetPaused(bool paused);
    // Removes the id from the running list and wakes the worker: the owner calls it when it has
    // handled the task's TaskDone or TaskFailed.
    void Release(int taskId);

    // The row records (videoTaskMap), read by the worker when a task starts.
    void AddTask(int taskId, const VideoTask& task);
    std::optional<VideoTask> FindTask(int taskId) const;
    void RemoveTask(int taskId);
    std::vector<int> TaskIds() const;

    std::vector<int> IdleTasks() const;
    std::vector<int> BusyTasks() const;
    bool HasBusyTasks() const;
    // Waiting or running: a row that must not be deleted.
    bool IsQueued(int taskId) const;

    // The main page's values, set by the UI thread whenever one changes.
    void SetMainPage(const MainPageSnapshot& page);
    MainPageSnapshot MainPage() const;

    // A row's own parameters (paramList), at most one record per unique_id: a record replaces
    // the one with the same id.
    void SetParams(const CompressParams& params);
    void RemoveParams(int taskId);
    std::optional<CompressParams> FindParams(int taskId) const;
    std::vector<CompressParams> ParamList() const;

    // The output path of the compression last started for the id (outputPathMap): recorded
    // before its encoder starts, kept after it ended.
    std::optional<QString> OutputPath(int taskId) const;
    // The process ids of every ffmpeg started, in order.
    std::vector<qint64> FfmpegProcesses() const;

    // The encoder to run; empty (the default) finds "ffmpeg" beside the executable or on PATH
    // when each task starts.
    void SetEncoder(const QString& program);
    // How long a stopped ffmpeg may take to end before it is killed (default 3000 ms).
    void SetStopGrace(int ms);

private:
    void WorkerProc(std::stop_token stop);
    void RunTask(int taskId, const std::optional<VideoTask>& task,
                 const std::optional<CompressParams>& own, const MainPageSnapshot& page,
                 const QString& encoder);
    void Fail(int taskId, const QString& reason, int exitCode = -1);
    void Unreserve(const QString& outputPath);

    mutable std::mutex videoQueueLock;
    std::condition_variable_any videoQueueCond;
    std::list<int> idleTaskList;
    std::list<int> busyTaskList;
    std::map<int, VideoTask> videoTaskMap;
    std::vector<CompressParams> paramList;
    std::map<int, QString> outputPathMap;
    std::vector<qint64> ffmpegProcesses;
    std::set<QString> reservedOutputs_;  // outputs of tasks whose encoder has not ended
    MainPageSnapshot mainPage_;
    QString encoder_;
    int stopGraceMs_ = 3000;
    bool paused_ = false;

    VideoEngineSink* sink_ = nullptr;
    FfmpegRunner runner_;
    std::jthread worker_;  // last: stopped and joined before the members above go
};
