#include "gui/video/VideoRows.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QUrl>
#include <vector>

#include "core/app/FailureText.h"
#include "core/app/Paths.h"
#include "core/app/TextUtil.h"
#include "core/video/VideoEngine.h"
#include "gui/intake/RowBuilder.h"
#include "gui/platform/Shell.h"
#include "gui/skinlib/Controls.h"
#include "gui/skinlib/SkinList.h"
#include "gui/ui/OpenOrTell.h"
#include "gui/ui/PromptBoxDialog.h"

namespace {

constexpr char kCannotDeleteText[] = "文件正在压缩中,不能删除!";
constexpr char kEmptyListText[] = "请先添加要压缩的文件!";
constexpr char kListName[] = "videoList";

void SetProgress(QWidget* row, int percent)
{
    if (auto* bar = row->findChild<QProgressBar*>("progress-slider")) bar->setValue(percent);
    SetRowText(row, "progress-label", QStringLiteral("%1%").arg(percent));
}

QWidget* StartButton(QWidget* row)
{
    return row->findChild<QWidget*>("compressBtn");
}

}  // namespace

VideoRows::VideoRows(const RowsContext& context, VideoEngine& engine)
    : context_(context), engine_(engine)
{
}

QWidget* VideoRows::Row(int taskId) const
{
    auto* list = context_.window.FindControl<SkinList>(kListName);
    return list ? list->FindRow(RowName(taskId)) : nullptr;
}

int VideoRows::Add(const VideoTask& task)
{
    const int id = context_.takeTaskId();
    engine_.AddTask(id, task);
    QWidget* row = BuildVideoRow(id, task, context_.controlFactory);
    context_.window.FindControl<SkinList>(kListName)->AddRow(row);
    return id;
}

void VideoRows::Start(QWidget* button)
{
    if (!context_.requireSignIn()) return;
    const int id = static_cast<int>(skin::GetTag(button));
    if (QWidget* row = Row(id)) skin::SetMouseEnabled(StartButton(row), false);
    engine_.Enqueue(id);
}

void VideoRows::StartAll()
{
    auto* list = context_.window.FindControl<SkinList>(kListName);
    if (!list || list->Count() == 0) return PromptBoxDialog::Show(&context_.window, kEmptyListText);
    if (!context_.requireSignIn()) return;
    std::vector<int> ids;
    for (int i = 0; i < list->Count(); ++i) {
        auto* check = list->RowAt(i)->findChild<QAbstractButton*>("videocheckBox");
        if (check && check->isChecked()) ids.push_back(static_cast<int>(skin::GetTag(check)));
    }
    engine_.EnqueueAll(ids);
}

void VideoRows::OnStarted(int taskId)
{
    QWidget* row = Row(taskId);
    if (!row) return;
    QWidget* container = row->findChild<QWidget*>("progress-container");
    if (container && !container->isVisible()) {
        container->show();
        SetRowVisible(row, "progress-label", true);
        SetRowVisible(row, "errorLabel", false);
    }
    SetRowVisible(row, "progress-slider", true);
    SetProgress(row, 0);
    skin::SetMouseEnabled(StartButton(row), false);
    SetRowText(row, "compressBtn", QStringLiteral("压缩中"));
}

void VideoRows::OnProgress(int taskId, int percent)
{
    if (QWidget* row = Row(taskId)) SetProgress(row, std::clamp(percent, 0, 100));
}

void VideoRows::OnDone(const VideoDoneRecord& record)
{
    QWidget* row = Row(record.taskId);
    const QFileInfo output(record.outputPath);
    if (record.sourceKept) {
        if (row) {
            SetProgress(row, 100);
            SetRowVisible(row, "progress-container", false);
            SetRowText(row, "compressBtn", QStringLiteral("压缩完成"));
            StartButton(row)->setToolTip(record.sourcePath);
            const auto task = engine_.FindTask(record.taskId);
            ShowSourceKept(row, task ? task->fileSize : record.sourceSize);
        }
    } else if (!output.isFile()) {
        // Reported as finished, but the file is not there: the user must not see a success.
        ShowFailed(row, QStringLiteral("输出文件不存在"));
    } else if (row) {
        SetProgress(row, 100);
        // The size and the saving take the progress bar's place.
        SetRowVisible(row, "progress-container", false);
        SetRowText(row, "compressBtn", QStringLiteral("压缩完成"));
        StartButton(row)->setToolTip(record.outputPath);
        const auto task = engine_.FindTask(record.taskId);
        const qint64 sourceSize = task ? task->fileSize : record.sourceSize;
        const qint64 outputSize = output.size();
        const float saving = SavingPercent(sourceSize, outputSize);
        DebugPrint("srcFile.fileSize: %lld\nfileSize: %lld\npercent: %f\n",
                   static_cast<long long>(sourceSize), static_cast<long long>(outputSize),
                   static_cast<double>(saving));
        ShowSaving(row, sourceSize, outputSize);
    }
    engine_.Release(record.taskId);
}

void VideoRows::OnFailed(const VideoFailRecord& record)
{
    DebugPrint("task %d failed: %s\n", record.taskId, qPrintable(record.reason));
    ShowFailed(Row(record.taskId), record.reason);
    engine_.Release(record.taskId);
}

void VideoRows::ShowFailed(QWidget* row, const QString& reason)
{
    if (!row) return;
    SetRowVisible(row, "progress-container", false);
    SetRowVisible(row, "progress-label", false);
    SetRowVisible(row, "errorLabel", true);
    if (auto* error = row->findChild<QLabel*>("errorLabel"))
        error->setToolTip(ReadableFailure(reason));
    SetRowText(row, "compressBtn", QStringLiteral("压 缩"));
    skin::SetMouseEnabled(StartButton(row), true);
}

void VideoRows::Recompress(int taskId)
{
    if (!context_.requireSignIn()) return;
    if (QWidget* row = Row(taskId)) {
        skin::SetMouseEnabled(StartButton(row), false);
        SetRowText(row, "s1Label", {});
        SetRowText(row, "y1Label", {});
        if (auto* bar = row->findChild<QProgressBar*>("progress-slider")) bar->setValue(0);
    }
    engine_.Enqueue(taskId);
}

void VideoRows::Delete(int taskId)
{
    if (engine_.IsQueued(taskId)) return PromptBoxDialog::Show(&context_.window, kCannotDeleteText);
    if (QWidget* row = Row(taskId))
        context_.window.FindControl<SkinList>(kListName)->RemoveRow(row);
    engine_.RemoveTask(taskId);
    engine_.RemoveParams(taskId);
}

void VideoRows::SaveParams(const CompressParams& params)
{
    engine_.SetParams(params);
    SetRowVisible(Row(params.unique_id), "paramFlag", true);
    DebugPrint("paramList.size: %d\n", static_cast<int>(engine_.ParamList().size()));
}

void VideoRows::ResetParams(int taskId)
{
    SetRowVisible(Row(taskId), "paramFlag", false);
    engine_.RemoveParams(taskId);
}

void VideoRows::OpenOutputFolder()
{
    OpenOrTell(&context_.window, QUrl::fromLocalFile(GetOutputFolder()));
}
