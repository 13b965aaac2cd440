#pragma once

#include "core/intake/VideoTask.h"
#include "core/video/CompressParams.h"
#include "core/video/VideoEngineSink.h"
#include "gui/intake/RowsContext.h"

class QWidget;
class VideoEngine;

// The video list's side of the video engine, on the UI thread: a row added, started, shown as
// compressing, its progress, its result or failure, compressing it again, deleting it, the
// output folder.
class VideoRows {
public:
    VideoRows(const RowsContext& context, VideoEngine& engine);

    // Enters the record under a fresh task id and appends its row to "videoList"; returns the id.
    int Add(const VideoTask& task);
    // A row's own start button: the row is queued once and its button stops reacting.
    void Start(QWidget* button);
    // Every checked row, in list order (the rows' buttons keep reacting).
    void StartAll();

    void OnStarted(int taskId);
    void OnProgress(int taskId, int percent);
    // Shows the result and releases the queue for the next video.
    void OnDone(const VideoDoneRecord& record);
    void OnFailed(const VideoFailRecord& record);
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

private:
    QWidget* Row(int taskId) const;
    void ShowFailed(QWidget* row, const QString& reason);

    RowsContext context_;
    VideoEngine& engine_;
};
