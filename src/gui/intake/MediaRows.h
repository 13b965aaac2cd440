// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <map>
#include <optional>

#include "core/intake/VideoTask.h"

#include "gui/intake/RowBatch.h"
#include "gui/intake/RowsContext.h"

class QAbstractButton;
class QWidget;

namespace platform {
class QueuedEngine;
}

// What a finished row shows besides its sizes (see RowResults.h): the search's line, and whether
// the output replaced its source and how much space that gave back.
struct RowDone {
    QString searchText;
    bool replacedSource = false;
    qint64 freedBytes = 0;
};

// What the video and the image list do alike with their rows, on the UI thread: the row's own
// button (queue, cancel), start-all, cancel and cancel-all, compressing again, deleting, the
// waiting, idle, failed and finished looks (an output kept, or the source kept because the
// output was not smaller), the folder a row's menu opens, and the batch's progress on the page.
//
// A row's button queues it ("压缩"), shows it waiting ("等待中") or running ("压缩中") and then
// cancels it (it reads "取消" under the mouse), and rests once the row has finished
// ("压缩完成", or "已保留原文件" when the source was kept; the row menu's re-compress redoes it).
class MediaRows {
public:
    // The controls of one list, by object name.
    struct Names {
        const char* list;        // "videoList"
        const char* button;      // the row's start button, "compressBtn"
        const char* check;       // the row's tick box, "videocheckBox"
        const char* batchLabel;  // the page's batch progress, "video-batch-label"
        const char* cancelAll;   // the page's cancel-all button, "all-cancel"
        const char* failedText;  // the button's text on a failed row
    };

    virtual ~MediaRows() = default;
    MediaRows(const MediaRows&) = delete;
    MediaRows& operator=(const MediaRows&) = delete;

    // A row's own button: queues an idle or failed row, cancels a waiting or running one.
    void Start(QWidget* button);
    // Every ticked row that is idle or failed, in list order; finished rows are skipped (the row
    // menu's re-compress redoes one), waiting and running ones stay as they are. When nothing
    // could be queued, a notice says why (every ticked row is done, or none is ticked).
    void StartAll();
    // A waiting row leaves the queue at once; a running one is stopped by its engine, and the
    // row turns idle when the engine reports it (OnCancelled).
    void Cancel(int taskId);
    // Every waiting and running row of the list.
    void CancelAll();
    // Queues a row that neither waits nor runs again, its earlier results cleared.
    void Recompress(int taskId);
    // Removes a row that neither waits nor runs, with its record; refuses with a notice
    // otherwise.
    void Delete(int taskId);
    // The engine gave up a cancelled row: it looks idle again, and the queue goes on.
    void OnCancelled(int taskId);
    // The folder the row menu's "open folder" shows: the folder of the row's output (the output
    // folder, a folder of its tree, the source's own folder for outputs beside or in place of
    // their sources), the source's folder for a row whose source was kept (its output is gone),
    // and the output folder before the row has an output.
    void OpenFolder(int taskId);

    const RowBatch& batch() const { return batch_; }

protected:
    MediaRows(const RowsContext& context, platform::QueuedEngine& engine, const Names& names);

    QWidget* Row(int taskId) const;
    // Appends a built row to the list.
    void Append(QWidget* row);
    QAbstractButton* StartButton(QWidget* row) const;
    void SetButton(QWidget* row, const QString& text, const QString& hoverText, bool reacts);

    // Shows the row as waiting and counts it in the batch; the caller hands it to the engine.
    void ShowWaiting(int taskId);
    void ShowIdle(QWidget* row);
    void ShowFailed(QWidget* row, const QString& reason);
    // The finished looks: the output's size and the saving, or the source's size and that it
    // was kept. outputPath is the written file (its size is read from the disk); a row whose
    // output is reported but missing fails instead. The source's size is the row's record's,
    // or reportedSize when the record is gone.
    // done: what the engine's record adds (see RowDone); the status column's tooltip gives it
    // with the row's notes.
    void ShowDone(int taskId, const QString& outputPath, bool sourceKept, qint64 reportedSize,
                  const RowDone& done = RowDone());
    // The row's notes, shown in its status column's tooltip: what was said when it was queued
    // (the choices that do not reach it), replaced by what its engine says once it starts.
    void SetQueuedNotes(int taskId, const QStringList& notes);
    void AddEngineNotes(int taskId, const QStringList& notes);
    QStringList Notes(int taskId) const;
    // A row that finished or failed leaves the running list and counts as ended in the batch.
    void Ended(int taskId);

    // What the sign-in (and for images the custom size) check allows.
    virtual bool MayCompress() const { return context_.requireSignIn(); }
    // The progress parts of the waiting and idle looks, emptied.
    virtual void ClearProgress(QWidget* row) = 0;
    // The engine's record of the row, its Release, and the removal of the row's records.
    virtual std::optional<VideoTask> Task(int taskId) const = 0;
    virtual void Release(int taskId) = 0;
    virtual void Forget(int taskId) = 0;
    // A row was queued (after ShowWaiting): the list may mark what applies to it.
    virtual void Queued(int /*taskId*/) {}

    RowsContext context_;
    RowBatch batch_;

private:
    void ShowBatch(const QString& text);
    qint64 SourceBytes(int taskId) const;
    QString SourcePath(int taskId) const;

    void ShowNotes(int taskId);

    platform::QueuedEngine& queue_;
    Names names_;
    std::map<int, QStringList> queuedNotes_;
    std::map<int, QStringList> engineNotes_;
    std::map<int, QString> outputPaths_;  // the last output of each finished row
};
