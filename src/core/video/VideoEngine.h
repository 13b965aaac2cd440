// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <thread>
#include <vector>

#include "core/intake/VideoTask.h"
#include "core/platform/QueuedEngine.h"
#include "core/video/CompressParams.h"
#include "core/video/FfmpegRunner.h"
#include "core/video/VideoEngineSink.h"

// The video engine: a TaskQueue of task ids, the row records and per-row parameters it reads,
// and the worker thread that compresses one task at a time with ffmpeg. No widget code: it
// reports through a VideoEngineSink, and everything else a task is compressed with comes from
// the settings reader, which the worker calls when the task starts (so a change made while a
// task waits reaches it, and never a task already running).
//
// The worker takes the oldest waiting id only while no id is running, so the next task starts
// after the owner has handled the previous task's report and called Release. Every operation is
// thread-safe; the owner's thread calls Enqueue, Release, Cancel, SetParams and the task-map
// operations, the worker reads what they wrote when a task starts.
//
// Cancel (from QueuedEngine): for the running id the encoder is stopped as on Stop (or never
// started) and its partial output removed; the task then reports TaskCancelled instead of
// TaskDone or TaskFailed, and waits for Release like any other. A task whose encoder had
// already ended keeps its report.
class VideoEngine : public platform::QueuedEngine {
public:
    // The sink must stay alive until Stop has returned; the reader is called on the worker.
    VideoEngine(VideoEngineSink& sink, VideoSettingsReader reader);
    // Stops the worker (see Stop).
    ~VideoEngine();

    // Starts the worker thread. False when it was started or stopped before (an engine runs one
    // worker in its life).
    bool Start();
    // Stops the worker and joins it. A running ffmpeg is asked to end, killed when it has not
    // ended within the stop grace, and reaped; its partial output is removed; its task gets no
    // report. Waiting ids stay waiting. Safe to call more than once and without Start.
    void Stop();

    // Takes the id off the running list once the owner has handled its report; false when it
    // was not running.
    bool Release(int taskId);

    // The row records, read by the worker when a task starts.
    void AddTask(int taskId, const VideoTask& task);
    std::optional<VideoTask> FindTask(int taskId) const;
    void RemoveTask(int taskId);
    std::vector<int> TaskIds() const;

    // A row's own parameters (paramList), at most one record per unique_id: a record replaces
    // the one with the same id.
    // With the record goes the row's own size limit (maxBytes, 0 for none), which takes the
    // place of the settings' "max-size" as the record's values take theirs.
    void SetParams(const CompressParams& params, qint64 maxBytes = 0);
    void RemoveParams(int taskId);
    std::optional<CompressParams> FindParams(int taskId) const;
    // The row's own size limit; nothing when the row has no record of its own.
    std::optional<qint64> FindMaxBytes(int taskId) const;
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
    void WorkerProc();
    void RunTask(int taskId, std::stop_token stop, const std::optional<VideoTask>& task,
                 const std::optional<CompressParams>& own, const QString& encoder,
                 std::optional<qint64> ownMaxBytes = std::nullopt);
    void Fail(int taskId, const QString& reason, int exitCode = -1);
    void EndStopped(int taskId);
    void Unreserve(const QString& outputPath);

    VideoEngineSink& sink_;
    const VideoSettingsReader reader_;

    mutable std::mutex lock_;  // guards the members below
    std::map<int, VideoTask> taskMap_;
    std::vector<CompressParams> paramList;
    std::map<int, qint64> ownMaxBytes_;  // beside paramList: each record's own size limit
    std::map<int, QString> outputPathMap;
    std::vector<qint64> ffmpegProcesses;
    std::set<QString> reservedOutputs_;  // outputs of tasks whose encoder has not ended
    QString encoder_;

    std::mutex lifeLock_;  // orders Start and Stop
    bool started_ = false;
    FfmpegRunner runner_;
    std::jthread worker_;  // last: joined before the members above go
};
