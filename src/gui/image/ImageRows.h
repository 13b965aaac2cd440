#pragma once

#include <functional>

#include "core/image/ImageParams.h"
#include "core/intake/VideoTask.h"
#include "gui/intake/RowsContext.h"

class ImageEngine;
class QWidget;

// The image list's side of the image engine, on the UI thread: a row added, shown as
// compressing, its result or failure, compressing it again, deleting it.
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
    // Queues a finished or failed row again (after the sign-in and custom size checks).
    void Recompress(int taskId);
    // Removes a row that neither waits nor runs; refuses with a notice otherwise.
    void Delete(int taskId);
    // A row's own start button.
    void Start(QWidget* button);
    // Every checked row, in list order.
    void StartAll();

private:
    QWidget* Row(int taskId) const;
    void ShowFailed(QWidget* row, const QString& reason);

    // The sign-in check, then the custom size check.
    bool MayCompress() const;

    RowsContext context_;
    ImageEngine& engine_;
    std::function<bool()> checkCustomImageSize_;
};
