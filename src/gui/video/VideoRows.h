// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <functional>
#include <map>

#include "core/intake/VideoTask.h"
#include "core/video/CompressParams.h"
#include "core/video/VideoEngineSink.h"
#include "gui/intake/MediaRows.h"

class QWidget;
class VideoEngine;

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
    std::map<int, QElapsedTimer> runningSince_;  // when each running row started
};
