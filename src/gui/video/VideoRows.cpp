#include "gui/video/VideoRows.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QUrl>
#include <algorithm>
#include <vector>

#include "core/app/FailureText.h"
#include "core/app/Language.h"
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

constexpr char kCannotDeleteText[] = QT_TRANSLATE_NOOP("LumoCompress", "文件正在压缩中,不能删除!");
constexpr char kEmptyListText[] = QT_TRANSLATE_NOOP("LumoCompress", "请先添加要压缩的文件!");
constexpr char kListName[] = "videoList";
constexpr char kButtonName[] = "compressBtn";

// The time left is shown from the first progress report on (about a second in), once the encode
// has got this far: before, it jumps.
constexpr qint64 kTimeLeftAfterMs = 800;
constexpr int kTimeLeftAfterPercent = 1;

QAbstractButton* StartButton(QWidget* row)
{
    return row ? row->findChild<QAbstractButton*>(kButtonName) : nullptr;
}

void SetButton(QWidget* row, const QString& text, const QString& hoverText, bool reacts)
{
    QAbstractButton* button = StartButton(row);
    skin::SetButtonTexts(button, text, hoverText);
    skin::SetMouseEnabled(button, reacts);
}

void SetProgress(QWidget* row, int percent)
{
    skin::SetProgressValue(row->findChild<QProgressBar*>("progress-slider"), percent);
    SetRowText(row, "progress-label", QStringLiteral("%1%").arg(percent));
}

}  // namespace

VideoRows::VideoRows(const RowsContext& context, VideoEngine& engine)
    : context_(context), engine_(engine), batch_([this](const QString& text) { ShowBatch(text); })
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

void VideoRows::ShowWaiting(int taskId)
{
    QWidget* row = Row(taskId);
    if (!row) return;
    SetRowState(row, RowState::Waiting);
    // Nothing of an earlier run stays: no old size or saving, no bar over them.
    ClearResults(row);
    ShowStatusParts(row, {});
    SetProgress(row, 0);
    StartButton(row)->setToolTip({});
    SetButton(row, Texts::tr("等待中"), Texts::tr("取消"), true);
    const auto task = engine_.FindTask(taskId);
    batch_.Queued(taskId, task ? task->fileSize : 0);
}

void VideoRows::ShowIdle(QWidget* row)
{
    if (!row) return;
    SetRowState(row, RowState::Idle);
    ClearResults(row);
    ShowStatusParts(row, {});
    SetButton(row, Texts::tr("压缩"), {}, true);
}

void VideoRows::Start(QWidget* button)
{
    const int id = static_cast<int>(skin::GetTag(button));
    QWidget* row = Row(id);
    if (IsRowQueued(row)) return Cancel(id);
    if (GetRowState(row) == RowState::Finished) return;
    if (!context_.requireSignIn()) return;
    ShowWaiting(id);
    engine_.Enqueue(id);
}

void VideoRows::StartAll()
{
    auto* list = context_.window.FindControl<SkinList>(kListName);
    if (!list || list->Count() == 0)
        return PromptBoxDialog::Show(&context_.window, language::Tr(kEmptyListText));
    if (!context_.requireSignIn()) return;
    std::vector<int> ids;
    for (int i = 0; i < list->Count(); ++i) {
        QWidget* row = list->RowAt(i);
        auto* check = row->findChild<QAbstractButton*>("videocheckBox");
        if (!check || !check->isChecked()) continue;
        const RowState state = GetRowState(row);
        if (state != RowState::Idle && state != RowState::Failed) continue;
        const int id = static_cast<int>(skin::GetTag(check));
        ShowWaiting(id);
        ids.push_back(id);
    }
    engine_.EnqueueAll(ids);
}

void VideoRows::Cancel(int taskId)
{
    QWidget* row = Row(taskId);
    if (!IsRowQueued(row)) return;
    engine_.Cancel(taskId);
    if (engine_.IsQueued(taskId)) {
        // Running: the encoder is being stopped; the report turns the row idle.
        SetButton(row, Texts::tr("取消中"), {}, false);
        return;
    }
    runningSince_.erase(taskId);
    batch_.Dropped(taskId);
    ShowIdle(row);
}

void VideoRows::CancelAll()
{
    auto* list = context_.window.FindControl<SkinList>(kListName);
    if (!list) return;
    std::vector<int> ids;
    for (int i = 0; i < list->Count(); ++i) {
        if (IsRowQueued(list->RowAt(i)))
            ids.push_back(static_cast<int>(skin::GetTag(list->RowAt(i))));
    }
    for (int id : ids) Cancel(id);
}

void VideoRows::OnStarted(int taskId)
{
    QWidget* row = Row(taskId);
    if (!row) return;
    SetRowState(row, RowState::Running);
    runningSince_[taskId].start();
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

    // The rest takes as long again as the part done so far took, in proportion.
    const auto since = runningSince_.find(taskId);
    if (since == runningSince_.end()) return;
    const qint64 elapsedMs = since->second.elapsed();
    if (elapsedMs < kTimeLeftAfterMs || percent < kTimeLeftAfterPercent || percent >= 100) return;
    const qint64 leftSeconds = (elapsedMs * (100 - percent) / percent + 999) / 1000;
    SetRowText(row, "time-left-label",
               Texts::tr("剩余 %1").arg(FormatClock(std::max<qint64>(leftSeconds, 0))));
    SetRowVisible(row, "time-left-label", true);
}

void VideoRows::OnDone(const VideoDoneRecord& record)
{
    QWidget* row = Row(record.taskId);
    runningSince_.erase(record.taskId);
    const QFileInfo output(record.outputPath);
    if (record.sourceKept) {
        if (row) {
            SetProgress(row, 100);
            SetRowVisible(row, "progress-container", false);
            SetRowText(row, "compressBtn", Texts::tr("压缩完成"));
            StartButton(row)->setToolTip(record.sourcePath);
            const auto task = engine_.FindTask(record.taskId);
            ShowSourceKept(row, task ? task->fileSize : record.sourceSize);
        }
    } else if (!output.isFile()) {
        // Reported as finished, but the file is not there: the user must not see a success.
        ShowFailed(row, Texts::tr("输出文件不存在"));
    } else if (row) {
        SetRowState(row, RowState::Finished);
        SetProgress(row, 100);
        // The size and the saving take the progress bar's place.
        ShowStatusParts(row, {.results = true});
        SetButton(row, Texts::tr("压缩完成"), {}, false);
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
    batch_.Ended(record.taskId);
}

void VideoRows::OnFailed(const VideoFailRecord& record)
{
    DebugPrint("task %d failed: %s\n", record.taskId, qPrintable(record.reason));
    runningSince_.erase(record.taskId);
    ShowFailed(Row(record.taskId), record.reason);
    engine_.Release(record.taskId);
    batch_.Ended(record.taskId);
}

void VideoRows::OnCancelled(int taskId)
{
    DebugPrint("task %d cancelled\n", taskId);
    runningSince_.erase(taskId);
    ShowIdle(Row(taskId));
    engine_.Release(taskId);
    batch_.Dropped(taskId);
}

void VideoRows::ShowFailed(QWidget* row, const QString& reason)
{
    if (!row) return;
    SetRowState(row, RowState::Failed);
    ShowStatusParts(row, {.error = true});
    if (auto* error = row->findChild<QLabel*>("errorLabel"))
        error->setToolTip(ReadableFailure(reason));
    SetButton(row, Texts::tr("压 缩"), {}, true);
}

void VideoRows::Recompress(int taskId)
{
    QWidget* row = Row(taskId);
    // A row that waits or runs is compressed once; a second turn would write a second copy.
    if (!row || IsRowQueued(row) || engine_.IsQueued(taskId)) return;
    if (!context_.requireSignIn()) return;
    ShowWaiting(taskId);
    engine_.Enqueue(taskId);
}

void VideoRows::Delete(int taskId)
{
    if (engine_.IsQueued(taskId))
        return PromptBoxDialog::Show(&context_.window, language::Tr(kCannotDeleteText));
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

void VideoRows::ShowBatch(const QString& text)
{
    if (auto* label = context_.window.FindControl<QLabel>("video-batch-label")) {
        label->setText(text);
        label->setVisible(!text.isEmpty());
    }
    if (QWidget* cancelAll = context_.window.FindControl("all-cancel"))
        cancelAll->setVisible(batch_.Active());
}
