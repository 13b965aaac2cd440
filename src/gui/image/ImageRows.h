// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include "core/image/ImageParams.h"
#include "core/intake/VideoTask.h"
#include "gui/intake/MediaRows.h"

class ImageEngine;
class QWidget;

// The image list's side of the image engine, on the UI thread: what both lists share (see
// MediaRows), a row shown as compressing, its result or failure; and the batch's progress on the
// page ("image-batch-label", with "all-image-cancel" beside it while a batch runs).
class ImageRows : public MediaRows {
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

private:
    // The sign-in check, then the custom size check.
    bool MayCompress() const override;
    void ClearProgress(QWidget* row) override;
    std::optional<VideoTask> Task(int taskId) const override;
    void Release(int taskId) override;
    void Forget(int taskId) override;

    ImageEngine& engine_;
    std::function<bool()> checkCustomImageSize_;
};
