// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <map>
#include <optional>

// The progress of one list's batch: the rows queued since the list was last idle, how many of
// them have ended (done or failed), and an estimate of the time the rest takes. The estimate
// goes by bytes: the part of the batch's bytes already compressed (a running video counts with
// its percentage) against the time the batch has taken, so one large file weighs as it should.
// The estimate shown is damped: it counts down with the clock and moves towards each new
// measurement by the share of a smoothing period that has passed since the last one, so an
// encode whose speed changes (a fast first pass, a slow scene) does not make it swing.
//
// show receives the text after every change, and an empty text once the batch is over (the
// last row ended or was cancelled).
class RowBatch {
public:
    using Clock = std::function<qint64()>;  // milliseconds, from any fixed start

    explicit RowBatch(std::function<void(const QString& text)> show, Clock clock = {});

    // A row joined the batch (a row queued again while it still counts is not added twice).
    void Queued(int taskId, qint64 bytes);
    // A video row's percentage.
    void Progress(int taskId, int percent);
    // The stretch of a running video's bar that moves in step with its time (see
    // VideoEngineSink::TaskTimedSpan). While a row's bar is not in step (from == to) the batch
    // takes no new measurement, its estimate counts down with the clock, and that time is not
    // counted as the batch's work; the row's stretch, ending short of 100 or not, is its whole.
    void TimedSpan(int taskId, int fromPercent, int toPercent);
    // The row finished or failed: it counts as ended.
    void Ended(int taskId);
    // The row was cancelled: it leaves the batch.
    void Dropped(int taskId);

    bool Active() const { return !rows_.empty(); }
    int EndedCount() const;
    int Total() const { return static_cast<int>(rows_.size()); }
    // Seconds the rest of the batch is expected to take, as last shown; empty until there is
    // enough to go by (a second of work and some bytes compressed).
    std::optional<qint64> SecondsLeft() const;
    // The time over which a changed speed takes over the estimate.
    static constexpr qint64 kSmoothingMs = 10000;
    // "已完成 2/5 · 剩余约 1:10", or "已完成 2/5" without an estimate; empty when no batch runs.
    QString Text() const;

private:
    struct Row {
        qint64 bytes = 0;
        double fraction = 0;  // 0..1 compressed
        bool ended = false;
        // The stretch of the bar its time goes by: the part before it took no counted time.
        int fromPercent = 0;
        int endPercent = 100;                  // where the row is expected to end
        bool spanned = false;                  // it reported a stretch
        std::optional<qint64> untimedSinceMs;  // while its bar is not in step with its time
    };
    void Changed();
    // The row's bar is in step again (or it left): the time it was not stops counting.
    void Timed(Row& row);
    // The estimate from the bytes done so far against the batch's time, in milliseconds.
    std::optional<double> MeasuredLeftMs() const;

    std::function<void(const QString&)> show_;
    Clock clock_;
    QElapsedTimer ownClock_;
    qint64 startMs_ = 0;
    qint64 untimedMs_ = 0;  // the batch's time spent where no bar was in step
    std::map<int, Row> rows_;
    std::optional<double> shownLeftMs_;  // the damped estimate
    qint64 shownAtMs_ = 0;               // when it was last worked out
};
