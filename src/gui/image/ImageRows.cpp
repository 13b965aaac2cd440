// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/image/ImageRows.h"

#include "core/app/Language.h"
#include "core/image/ImageEngine.h"
#include "gui/intake/RowBuilder.h"
#include "gui/intake/RowResults.h"

namespace {

constexpr MediaRows::Names kNames = {"image-list",        "imageCompressBtn", "imagecheckBox",
                                     "image-batch-label", "all-image-cancel", "压缩"};

}  // namespace

ImageRows::ImageRows(const RowsContext& context, ImageEngine& engine,
                     std::function<bool()> checkCustomImageSize)
    : MediaRows(context, engine, kNames),
      engine_(engine),
      checkCustomImageSize_(std::move(checkCustomImageSize))
{
}

int ImageRows::Add(const ImageTask& task)
{
    const int id = context_.takeTaskId();
    engine_.AddTask(id, task);
    QWidget* row = BuildImageRow(id, task, context_.controlFactory);
    Append(row);
    return id;
}

bool ImageRows::MayCompress() const
{
    return context_.requireSignIn() && checkCustomImageSize_();
}

void ImageRows::ClearProgress(QWidget* row)
{
    SetRowText(row, "progress-label", {});
}

std::optional<VideoTask> ImageRows::Task(int taskId) const
{
    return engine_.FindTask(taskId);
}

void ImageRows::Release(int taskId)
{
    engine_.Release(taskId);
}

void ImageRows::Forget(int taskId)
{
    engine_.RemoveTask(taskId);
}

void ImageRows::OnStarted(int taskId)
{
    QWidget* row = Row(taskId);
    if (!row) return;
    SetRowState(row, RowState::Running);
    // Images have no progress to show: the state text stands alone, as wide as it needs.
    ShowStatusParts(row, {.label = true});
    SetRowText(row, "progress-label", Texts::tr("正在压缩"));
    SetButton(row, Texts::tr("压缩中"), Texts::tr("取消"), true);
}

void ImageRows::OnDone(const ImageDoneRecord& record)
{
    if (!engine_.FindParams(record.task_id)) return;  // a result the engine no longer expects
    SetRowText(Row(record.task_id), "progress-label", Texts::tr("完成"));
    ShowDone(record.task_id, record.outputPath, record.sourceKept, record.sourceSize,
             {ImageSearchText(record), record.replacedSource, record.freedBytes});
    Ended(record.task_id);
}

void ImageRows::OnFailed(int taskId, const QString& reason)
{
    if (!engine_.FindParams(taskId)) return;
    ShowFailed(Row(taskId), reason);
    Ended(taskId);
}
