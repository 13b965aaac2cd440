// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/video/VideoRows.h"

#include <QAbstractButton>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>

#include "core/app/Language.h"
#include "core/app/TextUtil.h"
#include "core/video/VideoEngine.h"
#include "gui/intake/RowBuilder.h"
#include "gui/intake/RowResults.h"
#include "gui/skinlib/Controls.h"
#include "gui/video/ChoiceReach.h"

namespace {

constexpr MediaRows::Names kNames = {"videoList",         "compressBtn", "videocheckBox",
                                     "video-batch-label", "all-cancel",  "压 缩"};

// The time left is shown from the first progress report on (about a second in), once the encode
// has got this far: before, it jumps.
constexpr qint64 kTimeLeftAfterMs = 800;
constexpr int kTimeLeftAfterPercent = 1;

void SetProgress(QWidget* row, int percent)
{
    skin::SetProgressValue(row->findChild<QProgressBar*>("progress-slider"), percent);
    SetRowText(row, "progress-label", QStringLiteral("%1%").arg(percent));
}

}  // namespace

std::optional<qint64> RowSecondsLeft(qint64 elapsedInSpanMs, int percent, int fromPercent,
                                     int toPercent)
{
    const int done = percent - fromPercent;
    if (toPercent <= fromPercent || percent >= toPercent || elapsedInSpanMs < kTimeLeftAfterMs ||
        done < kTimeLeftAfterPercent)
        return std::nullopt;
    return (elapsedInSpanMs * (toPercent - percent) / done + 999) / 1000;
}

VideoRows::VideoRows(const RowsContext& context, VideoEngine& engine,
                     std::function<VideoSettings()> settings)
    : MediaRows(context, engine, kNames), engine_(engine), settings_(std::move(settings))
{
}

int VideoRows::Add(const VideoTask& task)
{
    const int id = context_.takeTaskId();
    engine_.AddTask(id, task);
    QWidget* row = BuildVideoRow(id, task, context_.controlFactory);
    Append(row);
    return id;
}

void VideoRows::ClearProgress(QWidget* row)
{
    SetProgress(row, 0);
}

std::optional<VideoTask> VideoRows::Task(int taskId) const
{
    return engine_.FindTask(taskId);
}

void VideoRows::Release(int taskId)
{
    engine_.Release(taskId);
}

void VideoRows::Forget(int taskId)
{
    engine_.RemoveTask(taskId);
    engine_.RemoveParams(taskId);
}

void VideoRows::Queued(int taskId)
{
    // The choices that cannot apply to this row are named on its status, not dropped silently.
    const auto task = engine_.FindTask(taskId);
    if (!Row(taskId) || !task || !settings_) return;
    const VideoSettings values = settings_();
    // A row's own record brings its own size limit, as the engine reads it.
    const SearchChoice search{values.look, engine_.FindMaxBytes(taskId).value_or(values.maxBytes)};
    const ChoiceReach reach =
        ReachOf(*task, ResolveCompressSettings(engine_.FindParams(taskId), values.settings),
                values.page, search);
    SetQueuedNotes(taskId, reach.notes);
}

void VideoRows::OnNotes(int taskId, const QStringList& notes)
{
    if (!Row(taskId) || notes.isEmpty()) return;
    QStringList readable;
    for (const QString& note : notes) readable << ReadableNote(note);
    AddEngineNotes(taskId, readable);
}

void VideoRows::OnStarted(int taskId)
{
    QWidget* row = Row(taskId);
    if (!row) return;
    SetRowState(row, RowState::Running);
    timing_[taskId] = Timing{};
    timing_[taskId].clock.start();
    ShowStatusParts(row, {.bar = true, .label = true});
    // The widest percentage decides the label's width, so the bar does not move as it fills.
    if (auto* label = row->findChild<QLabel*>("progress-label"))
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("100%")));
    SetProgress(row, 0);
    SetButton(row, Texts::tr("压缩中"), Texts::tr("取消"), true);
}

void VideoRows::OnProgress(int taskId, int percent)
{
    QWidget* row = Row(taskId);
    if (!row || GetRowState(row) != RowState::Running) return;
    percent = std::clamp(percent, 0, 100);
    SetProgress(row, percent);
    batch_.Progress(taskId, percent);

    const auto timing = timing_.find(taskId);
    if (timing == timing_.end()) return;
    const Timing& span = timing->second;
    const auto left =
        RowSecondsLeft(span.clock.elapsed(), percent, span.fromPercent, span.toPercent);
    if (!left) return;
    SetRowText(row, "time-left-label",
               Texts::tr("剩余 %1").arg(FormatClock(std::max<qint64>(*left, 0))));
    SetRowVisible(row, "time-left-label", true);
}

void VideoRows::OnTimedSpan(int taskId, int fromPercent, int toPercent)
{
    const auto timing = timing_.find(taskId);
    if (timing == timing_.end()) return;
    timing->second.fromPercent = fromPercent;
    timing->second.toPercent = toPercent;
    timing->second.clock.start();
    batch_.TimedSpan(taskId, fromPercent, toPercent);
    // What the last stretch said of its own end is no estimate for this one.
    if (QWidget* row = Row(taskId)) SetRowVisible(row, "time-left-label", false);
}

void VideoRows::OnDone(const VideoDoneRecord& record)
{
    timing_.erase(record.taskId);
    if (QWidget* row = Row(record.taskId)) SetProgress(row, 100);
    ShowDone(record.taskId, record.outputPath, record.sourceKept, record.sourceSize,
             {VideoSearchText(record), record.replacedSource, record.freedBytes});
    Ended(record.taskId);
}

void VideoRows::OnFailed(const VideoFailRecord& record)
{
    DebugPrint("task %d failed: %s\n", record.taskId, qPrintable(record.reason));
    timing_.erase(record.taskId);
    ShowFailed(Row(record.taskId), record.reason);
    Ended(record.taskId);
}

void VideoRows::SaveParams(const CompressParams& params, qint64 maxBytes)
{
    engine_.SetParams(params, maxBytes);
    SetRowVisible(Row(params.unique_id), "paramFlag", true);
    DebugPrint("paramList.size: %d\n", static_cast<int>(engine_.ParamList().size()));
}

void VideoRows::ResetParams(int taskId)
{
    SetRowVisible(Row(taskId), "paramFlag", false);
    engine_.RemoveParams(taskId);
}
