#pragma once

#include <functional>

#include "core/image/ImageParams.h"
#include "core/intake/VideoTask.h"
#include "gui/intake/RowBatch.h"
#include "gui/intake/RowsContext.h"

class ImageEngine;
class QWidget;

// The image list's side of the image engine, on the UI thread: a row added, queued, shown as
// compressing, its result or failure, cancelled, compressing it again, deleting it; and the
// batch's progress on the page ("image-batch-label", with "all-image-cancel" beside it while a
// batch runs). The row's button behaves as a video row's (see VideoRows.h).
class ImageRows {
public:
    // checkCustomImageSize: the main page's check of its custom width and height, made after
    // the sign-in check before anything is queued; false when it showed a problem.
    ImageRows(const RowsContext& context, ImageEngine& engine,
              std::function<bool()> checkCustomImageSize);

    // Enters the record under a fresh task id and appends its row to "image-list"; returns the
    // id.
    int Add(const ImageTask& task);

    void OnStarted(int taskId);
    // Shows the result and releases the queue for the next image.
    void OnDone(const ImageDoneRecord& record);
    void OnFailed(int taskId, const QString& reason);
    // The engine gave up a cancelled image: the row looks idle again, and the queue goes on.
    void OnCancelled(int taskId);
    // Queues a finished or failed row again (after the sign-in and custom size checks), its
    // earlier results cleared; a row that waits or runs stays as it is.
    void Recompress(int taskId);
    // Removes a row that neither waits nor runs; refuses with a notice otherwise.
    void Delete(int taskId);
    // A row's own button: queues an idle or failed row, cancels a waiting or running one.
    void Start(QWidget* button);
    // Every checked row that is idle or failed, in list order; finished rows are skipped.
    void StartAll();
    // A waiting row leaves the queue at once; a running image is given up within about a
    // second, and the row turns idle when the engine reports it (OnCancelled).
    void Cancel(int taskId);
    void CancelAll();

    const RowBatch& batch() const { return batch_; }

private:
    QWidget* Row(int taskId) const;
    void ShowWaiting(int taskId);
    void ShowIdle(QWidget* row);
    void ShowFailed(QWidget* row, const QString& reason);
    void ShowBatch(const QString& text);

    // The sign-in check, then the custom size check.
    bool MayCompress() const;

    RowsContext context_;
    ImageEngine& engine_;
    std::function<bool()> checkCustomImageSize_;
    RowBatch batch_;
};
