// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// The result of a finished compression, handed over by value.
struct VideoDoneRecord {
    int taskId = 0;
    QString sourcePath;
    QString outputPath;
    qint64 sourceSize = 0;  // the row's fileSize
    qint64 outputSize = 0;  // the output file's size on disk
    qint64 durationMs = 0;  // the source duration ffmpeg printed, 0 when it printed none
    // The output was not smaller than the source and "keep-smaller" is on: it is removed,
    // outputPath is empty and outputSize 0.
    bool sourceKept = false;
    // "Same look, smallest file": the CRF the search found (fractional for x264 and x265, in
    // quarter steps) and the samples' mean luma SSIM at it; 0 when no search ran.
    double searchedCrf = 0;
    double ssim = 0;
    // A size limit: the video bit rate of the encode that fitted, and how many encodes it took.
    int fittedBitRate = 0;
    int sizeTries = 0;
    // In place of the source: the output took the source's name and the original went to the
    // trash; freedBytes is sourceSize - outputSize, the space the disk got back.
    bool replacedSource = false;
    qint64 freedBytes = 0;
};

// Why a compression failed, handed over by value.
struct VideoFailRecord {
    int taskId = 0;
    QString reason;     // one line for the log: what went wrong, with ffmpeg's last message
    int exitCode = -1;  // the encoder's exit status, -1 when it did not exit by itself
};

// What the engine tells its owner. Every call comes from the engine's worker thread, never with
// the engine's lock held; an implementation posts what it needs to the UI thread and returns.
// After VideoEngine::Stop has returned no call comes any more.
//
// Each started task ends with exactly one TaskDone, TaskFailed or TaskCancelled (none for the
// task that Stop ends); the owner then calls VideoEngine::Release with its id, and only then does
// the next waiting task start.
class VideoEngineSink {
public:
    virtual ~VideoEngineSink() = default;

    // The worker has taken the task: the row gets its compressing look.
    virtual void TaskStarted(int taskId) = 0;
    // The encoder runs as process processId with this command line (for logs and measurement).
    virtual void EncoderStarted(int taskId, qint64 processId, const QString& program,
                                const QStringList& arguments)
    {
    }
    // Choices the task cannot take (a codec, quality mode or two-pass that does not apply to
    // its output), one sentence each; before its encoder starts.
    virtual void TaskNotes(int taskId, const QStringList& notes) {}
    // Percentage of the source encoded so far, 0 to 100, at most once a second.
    virtual void TaskProgress(int taskId, int percent) = 0;
    // The bar from fromPercent to toPercent moves in step with the time the work takes, and the
    // task is expected to end at toPercent: a time left is estimated from that stretch alone.
    // An empty stretch (from == to) says the bar is not in step for now, as while a size-limited
    // task measures its sound. A task that reports none moves its whole bar in step.
    virtual void TaskTimedSpan(int taskId, int fromPercent, int toPercent) {}
    virtual void TaskDone(const VideoDoneRecord& record) = 0;
    virtual void TaskFailed(const VideoFailRecord& record) = 0;
    // VideoEngine::Cancel stopped the task: its encoder is gone and its partial output removed.
    virtual void TaskCancelled(int taskId) = 0;
};
