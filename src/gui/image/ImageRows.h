#pragma once

#include "core/image/ImageParams.h"

class CMainWnd;
class QWidget;

// The image list's side of the image engine, on the UI thread: a row shown as compressing, its
// result or failure, compressing it again, deleting it.
class ImageRows {
public:
    explicit ImageRows(CMainWnd& window) : window_(window) {}

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

    CMainWnd& window_;
};
