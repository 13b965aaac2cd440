// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>

// Counts the results of one batch (what the engines finish between two idle moments) and, when
// the last queued task of both engines has ended while the window is not the active one, shows
// one summary: how many files were done or failed and how much space they saved. The next
// result after that starts a new batch.
class BatchNotifier {
public:
    struct Hooks {
        std::function<bool()> enginesIdle;   // nothing waits or runs in either engine
        std::function<bool()> windowActive;  // the user is looking at the window already
        std::function<void(const QString& text)> show;
    };

    explicit BatchNotifier(Hooks hooks);

    // Called after the row has handled the result (the engine has released the task).
    // freedBytes: the space that came back when the output replaced its source.
    void TaskDone(qint64 sourceSize, qint64 outputSize, qint64 freedBytes = 0);
    void TaskFailed();
    // Called after a cancel has been handled: when it left both engines idle the batch is over
    // without a summary (the user stopped it), and its results count towards no later batch.
    void TaskCancelled();

    int done() const { return done_; }
    int failed() const { return failed_; }
    // Bytes saved so far in this batch; a file that grew counts against the others.
    qint64 savedBytes() const { return savedBytes_; }
    // Bytes that came back on the disk from outputs that replaced their sources.
    qint64 freedBytes() const { return freedBytes_; }

    // "压缩完成：成功 5 个，失败 1 个，节省 120.5 MB"; a batch that saved nothing says 0 B. With
    // sources replaced in place, "，替换原文件腾出 80.0 MB" follows.
    static QString Text(int done, int failed, qint64 savedBytes, qint64 freedBytes = 0);
    // 1023 B, 1.0 KB, 120.5 MB, 2.3 GB (1024 steps, one decimal).
    static QString FormatBytes(qint64 bytes);

private:
    void EndOfTask();

    Hooks hooks_;
    int done_ = 0;
    int failed_ = 0;
    qint64 savedBytes_ = 0;
    qint64 freedBytes_ = 0;
};
