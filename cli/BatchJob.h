// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <vector>

#include "BatchItem.h"
#include "CliOptions.h"
#include "core/image/ImageEngine.h"
#include "core/image/ImageEngineSink.h"
#include "core/video/VideoEngine.h"
#include "core/video/VideoEngineSink.h"

class ConsoleView;

// One run of the command-line program: the files taken in from the paths, the two engines the
// window uses, and each file's result. The engines' reports arrive on their worker threads and
// are handed to the main thread, where the run records them and releases the task, as the
// window does, so each engine goes on with its next file.
class BatchJob : public QObject {
    Q_OBJECT
public:
    BatchJob(const CliOptions& options, const QString& outputFolder, ConsoleView& view);
    ~BatchJob() override;

    // Takes in the paths in order, as the window's intake does: a folder's videos (probed; a
    // damaged one is refused with the window's words) and its images, then with --recursive
    // its subfolders (a link only to a folder inside the one named, each folder once; the links
    // not followed are named on stderr). False when stopRequested turned true on the way.
    bool Intake(const std::function<bool()>& stopRequested);
    const std::vector<BatchItem>& Items() const { return items_; }

    // A dry run: prints each taken file with the output it would get; nothing is written.
    // Returns the exit status (1 when a file was refused).
    int DryRun();

    // Hands every taken file to its engine and starts both; finished comes when every file
    // has its result.
    void Start();
    // Stops the run: the video engine ends its encoder and removes the unfinished output, the
    // image engine finishes the image it is on; nothing else starts. finished follows at once.
    void Interrupt();

signals:
    // exitCode 0 when every file was compressed, else 1; message is one line for stderr
    // (empty on success).
    void finished(int exitCode, const QString& message);

private:
    class VideoSink;
    class ImageSink;

    // root: the canonical path of the folder named, which links must not lead out of; added:
    // that folder as named (absolute), the files' addedRoot.
    void IntakeFolder(const QString& folder, const QString& shown, const QString& root,
                      const QString& added, QSet<QString>& visited,
                      const std::function<bool()>& stopRequested, bool& stopped);
    void AddVideo(const QString& dir, const QString& name, const QString& shown,
                  const QString& addedRoot = {});
    void AddImage(const QString& path, const QString& name, const QString& shown,
                  const QString& addedRoot = {});
    // A file that is not taken (not a regular file, a name we cannot use): a failed result
    // with the reason, no task.
    void Refuse(BatchItem::Kind kind, const QString& shown, const QString& path,
                const QString& reason, const QString& code = QStringLiteral("not-taken"));
    // The output a dry run names for a file: where the place puts it, by the engines' name rule
    // against the folder as it is and the names planned before it. Empty with *error set when
    // it cannot be placed.
    QString PlanOutput(const QString& sourcePath, const QString& addedRoot,
                       const QString& extension, QString* error);
    BatchItem* Find(int taskId);
    qint64 Now() const { return clock_.elapsed(); }

    void OnStarted(int taskId);
    void OnVideoProgress(int taskId, int percent);
    void OnVideoDone(const VideoDoneRecord& record);
    void OnVideoFailed(const VideoFailRecord& record);
    void OnImageDone(int taskId, const ImageDoneRecord& record);
    void OnImageFailed(int taskId, const QString& reason);
    void OnCancelled(int taskId);
    void Conclude(BatchItem& item, const QString& outputPath);
    // The output was not smaller than the source and is gone: the source stays the result.
    void KeepSource(BatchItem& item);
    void Fail(BatchItem& item, const QString& error);
    void FinishIfDone();
    void Finish();

    CliOptions options_;
    QString outputFolder_;
    ConsoleView& view_;
    QElapsedTimer clock_;
    QTimer tick_;
    std::vector<BatchItem> items_;  // not resized once the intake is over
    std::map<int, size_t> byTaskId_;
    int nextTaskId_ = 0;
    QSet<QString> planned_;  // a dry run's outputs so far
    bool stopping_ = false;
    bool finished_ = false;

    // The sinks outlive the engines, which are stopped and joined first.
    std::unique_ptr<VideoSink> videoSink_;
    std::unique_ptr<ImageSink> imageSink_;
    std::unique_ptr<VideoEngine> videoEngine_;
    std::unique_ptr<ImageEngine> imageEngine_;
};
