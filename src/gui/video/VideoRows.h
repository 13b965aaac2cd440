#pragma once

#include <QElapsedTimer>
#include <map>

#include "core/intake/VideoTask.h"
#include "core/video/CompressParams.h"
#include "core/video/VideoEngineSink.h"
#include "gui/intake/RowBatch.h"
#include "gui/intake/RowsContext.h"

class QWidget;
class VideoEngine;

// The video list's side of the video engine, on the UI thread: a row added, queued, started,
// shown as compressing with its progress and time left, its result or failure, cancelled,
// compressing it again, deleting it, the output folder; and the batch's progress on the page
// ("video-batch-label", with "all-cancel" beside it while a batch runs).
//
// A row's button queues it ("压缩"), shows it waiting ("等待中") or running ("压缩中") and then
// cancels it (it reads "取消" under the mouse), and rests once the row has finished
// ("压缩完成"; the row menu's re-compress redoes it).
class VideoRows {
public:
    VideoRows(const RowsContext& context, VideoEngine& engine);

    // Enters the record under a fresh task id and appends its row to "videoList"; returns the id.
    int Add(const VideoTask& task);
    // A row's own button: queues an idle or failed row, cancels a waiting or running one.
    void Start(QWidget* button);
    // Every checked row that is idle or failed, in list order; finished rows are skipped (the row
    // menu's re-compress redoes one), waiting and running ones stay as they are.
    void StartAll();
    // A waiting row leaves the queue at once; a running one's encoder is stopped and its partial
    // output removed, and the row turns idle when the engine reports it (OnCancelled).
    void Cancel(int taskId);
    // Every waiting and running row of the list.
    void CancelAll();

    void OnStarted(int taskId);
    void OnProgress(int taskId, int percent);
    // Shows the result and releases the queue for the next video.
    void OnDone(const VideoDoneRecord& record);
    void OnFailed(const VideoFailRecord& record);
    // The engine stopped a cancelled row: it looks idle again, and the queue goes on.
    void OnCancelled(int taskId);
    // Queues a row that neither waits nor runs again, its earlier results cleared.
    void Recompress(int taskId);
    // Removes a row that neither waits nor runs, with its record and its own parameters;
    // refuses with a notice otherwise.
    void Delete(int taskId);
    // A row's own parameters, saved in the parameter dialog (one record per row; the newer
    // replaces the older), marked on the row by "paramFlag"; reset drops them.
    void SaveParams(const CompressParams& params);
    void ResetParams(int taskId);
    // Shows the output folder in the file manager (image rows share it).
    void OpenOutputFolder();

    const RowBatch& batch() const { return batch_; }

private:
    QWidget* Row(int taskId) const;
    // Shows the row as waiting and counts it in the batch; the caller hands it to the engine.
    void ShowWaiting(int taskId);
    void ShowIdle(QWidget* row);
    void ShowFailed(QWidget* row, const QString& reason);
    void ShowBatch(const QString& text);

    RowsContext context_;
    VideoEngine& engine_;
    RowBatch batch_;
    std::map<int, QElapsedTimer> runningSince_;  // when each running row started
};
