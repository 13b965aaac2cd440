// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/intake/RowBatch.h"

#include <algorithm>
#include <cmath>
#include "core/app/Language.h"
#include "core/app/TextUtil.h"

namespace {

// Before this much work an estimate is a guess.
constexpr qint64 kFirstEstimateMs = 1000;

}  // namespace

RowBatch::RowBatch(std::function<void(const QString&)> show, Clock clock)
    : show_(std::move(show)), clock_(std::move(clock))
{
    if (!clock_) {
        ownClock_.start();
        clock_ = [this] { return ownClock_.elapsed(); };
    }
}

void RowBatch::Queued(int taskId, qint64 bytes)
{
    if (rows_.empty()) {
        startMs_ = clock_();
        untimedMs_ = 0;
    }
    Row& row = rows_[taskId];
    if (row.ended) row = Row{};  // compressed again within the same batch: it counts anew
    row.bytes = std::max<qint64>(bytes, 1);
    Changed();
}

void RowBatch::Progress(int taskId, int percent)
{
    const auto it = rows_.find(taskId);
    if (it == rows_.end() || it->second.ended) return;
    const Row& row = it->second;
    it->second.fraction = std::clamp(
        double(percent - row.fromPercent) / double(row.endPercent - row.fromPercent), 0.0, 1.0);
    Changed();
}

void RowBatch::TimedSpan(int taskId, int fromPercent, int toPercent)
{
    const auto it = rows_.find(taskId);
    if (it == rows_.end() || it->second.ended) return;
    Row& row = it->second;
    Timed(row);
    if (toPercent <= fromPercent)
        row.untimedSinceMs = clock_();
    else {
        // A retry's stretch carries the row's end on: what the row did before it stays done.
        if (!row.spanned) row.fromPercent = std::clamp(fromPercent, 0, 99);
        row.spanned = true;
        row.endPercent = std::clamp(toPercent, row.fromPercent + 1, 100);
    }
    Changed();
}

void RowBatch::Timed(Row& row)
{
    if (!row.untimedSinceMs) return;
    untimedMs_ += std::max<qint64>(clock_() - *row.untimedSinceMs, 0);
    row.untimedSinceMs.reset();
}

void RowBatch::Ended(int taskId)
{
    const auto it = rows_.find(taskId);
    if (it == rows_.end()) return;
    Timed(it->second);
    it->second.ended = true;
    it->second.fraction = 1;
    Changed();
}

void RowBatch::Dropped(int taskId)
{
    const auto it = rows_.find(taskId);
    if (it == rows_.end()) return;
    Timed(it->second);
    rows_.erase(it);
    Changed();
}

int RowBatch::EndedCount() const
{
    return static_cast<int>(std::count_if(rows_.begin(), rows_.end(),
                                          [](const auto& row) { return row.second.ended; }));
}

std::optional<double> RowBatch::MeasuredLeftMs() const
{
    double total = 0, done = 0;
    for (const auto& [id, row] : rows_) {
        if (row.untimedSinceMs) return std::nullopt;
        total += static_cast<double>(row.bytes);
        done += static_cast<double>(row.bytes) * row.fraction;
    }
    const qint64 elapsedMs = clock_() - startMs_ - untimedMs_;
    if (elapsedMs < kFirstEstimateMs || done <= 0) return std::nullopt;
    return static_cast<double>(elapsedMs) * (total - done) / done;
}

std::optional<qint64> RowBatch::SecondsLeft() const
{
    if (!shownLeftMs_) return std::nullopt;
    return static_cast<qint64>(std::ceil(std::max(*shownLeftMs_, 0.0) / 1000.0));
}

QString RowBatch::Text() const
{
    if (rows_.empty()) return {};
    QString text = Texts::tr("已完成 %1/%2").arg(EndedCount()).arg(Total());
    if (EndedCount() < Total()) {
        if (const auto left = SecondsLeft())
            text += Texts::tr(" · 剩余约 %1").arg(FormatClock(*left));
    }
    return text;
}

void RowBatch::Changed()
{
    // The batch is over once every row in it has ended.
    if (!rows_.empty() && EndedCount() == Total()) rows_.clear();
    if (rows_.empty()) {
        shownLeftMs_.reset();
    } else if (const auto measured = MeasuredLeftMs()) {
        const qint64 now = clock_();
        if (!shownLeftMs_) {
            shownLeftMs_ = *measured;
        } else {
            const double passed = static_cast<double>(std::max<qint64>(now - shownAtMs_, 0));
            const double counted = std::max(*shownLeftMs_ - passed, 0.0);
            const double weight = std::min(1.0, passed / static_cast<double>(kSmoothingMs));
            shownLeftMs_ = counted + (*measured - counted) * weight;
        }
        shownAtMs_ = now;
    } else if (shownLeftMs_) {
        const qint64 now = clock_();
        shownLeftMs_ = std::max(*shownLeftMs_ - static_cast<double>(now - shownAtMs_), 0.0);
        shownAtMs_ = now;
    }
    if (show_) show_(Text());
}
