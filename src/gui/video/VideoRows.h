// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <functional>
#include <map>
#include <optional>

#include "core/intake/VideoTask.h"
#include "core/video/CompressParams.h"
#include "core/video/VideoEngineSink.h"
#include "gui/intake/MediaRows.h"

class QWidget;
class VideoEngine;

// A running row's time left, in whole seconds: the rest of its timed stretch of the bar (see
// VideoEngineSink::TaskTimedSpan) takes as long again as the part done so far took, in
// proportion. Empty until the stretch has gone on long and far enough for the figure not to
// jump, on an empty stretch, and once the bar has reached the stretch's end.
std::optional<qint64> RowSecondsLeft(qint64 elapsedInSpanMs, int percent, int fromPercent,
                                     int toPercent);

// The video list's side of the video engine, on the UI thread: what both lists share (see
// MediaRows), and a running row's progress and time left, its result or failure, its own
// parameters; and the batch's progress on the page ("video-batch-label", with "all-cancel" beside
// it while a batch runs).
class VideoRows : public MediaRows {
public:
    // settings: what a row is compressed with besides its own parameters (the settings and the
    // main page), read when a row is queued to say on it which choices do not apply to it.
    VideoRows(const RowsContext& context, VideoEngine& engine,
              std::function<VideoSettings()> settings = {});

    // Enters the record under a fresh task id and appends its row to "videoList"; returns the id.
    int Add(const VideoTask& task);

    void OnStarted(int taskId);
    void OnProgress(int taskId, int percent);
    // The stretch of the row's bar its time left is estimated from, from now on.
    void OnTimedSpan(int taskId, int fromPercent, int toPercent);
    // Shows the result and releases the queue for the next video.
    void OnDone(const VideoDoneRecord& record);
    void OnFailed(const VideoFailRecord& record);
    // The engine's notes on the task (choices it could not take, what a search changed): in
    // the row's status tooltip from now on, the finished row's too.
    void OnNotes(int taskId, const QStringList& notes);
    // A row's own parameters, saved in the parameter dialog (one record per row; the newer
    // replaces the older) with the row's own size limit (0 for none), marked on the row by
    // "paramFlag"; reset drops them.
    void SaveParams(const CompressParams& params, qint64 maxBytes = 0);
    void ResetParams(int taskId);

private:
    void ClearProgress(QWidget* row) override;
    std::optional<VideoTask> Task(int taskId) const override;
    void Release(int taskId) override;
    void Forget(int taskId) override;
    void Queued(int taskId) override;

    VideoEngine& engine_;
    std::function<VideoSettings()> settings_;
    // Each running row's timed stretch of the bar, and the clock since it began.
    struct Timing {
        QElapsedTimer clock;
        int fromPercent = 0;
        int toPercent = 100;
    };
    std::map<int, Timing> timing_;
};
