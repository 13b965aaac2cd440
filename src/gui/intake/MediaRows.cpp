// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/intake/MediaRows.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QLabel>
#include <QUrl>
#include <vector>

#include "core/app/FailureText.h"
#include "core/app/Language.h"
#include "core/app/Paths.h"
#include "core/app/TextUtil.h"
#include "core/platform/QueuedEngine.h"
#include "gui/intake/RowBuilder.h"
#include "gui/intake/RowResults.h"
#include "gui/skinlib/Controls.h"
#include "gui/skinlib/SkinList.h"
#include "gui/ui/OpenOrTell.h"
#include "gui/ui/PromptBoxDialog.h"

namespace {

constexpr char kCannotDeleteText[] = QT_TRANSLATE_NOOP("LumoCompress", "文件正在压缩中,不能删除!");
constexpr char kEmptyListText[] = QT_TRANSLATE_NOOP("LumoCompress", "请先添加要压缩的文件!");
constexpr char kNoneTickedText[] = QT_TRANSLATE_NOOP("LumoCompress", "请先勾选要压缩的文件!");
constexpr char kAllDoneText[] = QT_TRANSLATE_NOOP(
    "LumoCompress",
    "勾选的文件都已压缩完成。要再压缩一个文件,请在它的菜单(右侧的“⋯”)中选择“重新压缩”。");

bool IsEnded(RowState state)
{
    return state == RowState::Finished || state == RowState::Kept;
}

}  // namespace

MediaRows::MediaRows(const RowsContext& context, platform::QueuedEngine& engine, const Names& names)
    : context_(context),
      batch_([this](const QString& text) { ShowBatch(text); }),
      queue_(engine),
      names_(names)
{
}

QWidget* MediaRows::Row(int taskId) const
{
    auto* list = context_.window.FindControl<SkinList>(names_.list);
    return list ? list->FindRow(RowName(taskId)) : nullptr;
}

void MediaRows::Append(QWidget* row)
{
    context_.window.FindControl<SkinList>(names_.list)->AddRow(row);
}

QAbstractButton* MediaRows::StartButton(QWidget* row) const
{
    return row ? row->findChild<QAbstractButton*>(names_.button) : nullptr;
}

void MediaRows::SetButton(QWidget* row, const QString& text, const QString& hoverText, bool reacts)
{
    QAbstractButton* button = StartButton(row);
    skin::SetButtonTexts(button, text, hoverText);
    skin::SetMouseEnabled(button, reacts);
}

qint64 MediaRows::SourceBytes(int taskId) const
{
    const auto task = Task(taskId);
    return task ? task->fileSize : 0;
}

QString MediaRows::SourcePath(int taskId) const
{
    const auto task = Task(taskId);
    return task ? task->filePath : QString();
}

void MediaRows::ShowWaiting(int taskId)
{
    QWidget* row = Row(taskId);
    if (!row) return;
    SetRowState(row, RowState::Waiting);
    // Nothing of an earlier run stays: no old size or saving, no bar over them.
    ClearResults(row);
    ShowStatusParts(row, {});
    ClearProgress(row);
    StartButton(row)->setToolTip({});
    queuedNotes_.erase(taskId);
    engineNotes_.erase(taskId);
    ShowNotes(taskId);
    SetButton(row, Texts::tr("等待中"), Texts::tr("取消"), true);
    batch_.Queued(taskId, SourceBytes(taskId));
    Queued(taskId);
}

void MediaRows::ShowIdle(QWidget* row)
{
    if (!row) return;
    SetRowState(row, RowState::Idle);
    ClearResults(row);
    ClearProgress(row);
    ShowStatusParts(row, {});
    SetButton(row, Texts::tr("压缩"), {}, true);
}

void MediaRows::ShowFailed(QWidget* row, const QString& reason)
{
    if (!row) return;
    SetRowState(row, RowState::Failed);
    ShowStatusParts(row, {.error = true});
    if (auto* error = row->findChild<QLabel*>("errorLabel"))
        error->setToolTip(ReadableFailure(reason));
    SetButton(row, Texts::tr(names_.failedText), {}, true);
}

void MediaRows::SetQueuedNotes(int taskId, const QStringList& notes)
{
    queuedNotes_[taskId] = notes;
    ShowNotes(taskId);
}

void MediaRows::AddEngineNotes(int taskId, const QStringList& notes)
{
    engineNotes_[taskId] << notes;
    ShowNotes(taskId);
}

QStringList MediaRows::Notes(int taskId) const
{
    // The engine knows what it did: its notes take the place of what was foreseen.
    if (const auto it = engineNotes_.find(taskId); it != engineNotes_.end() && !it->second.empty())
        return it->second;
    const auto it = queuedNotes_.find(taskId);
    return it == queuedNotes_.end() ? QStringList() : it->second;
}

void MediaRows::ShowNotes(int taskId)
{
    QWidget* row = Row(taskId);
    QWidget* status = row ? row->findChild<QWidget*>("statusColumn") : nullptr;
    // A finished row's tooltip is set with its results.
    if (!status || IsEnded(GetRowState(row))) return;
    status->setToolTip(Notes(taskId).join(u'\n'));
}

void MediaRows::ShowDone(int taskId, const QString& outputPath, bool sourceKept,
                         qint64 reportedSize, const RowDone& done)
{
    const auto task = Task(taskId);
    const qint64 sourceSize = task ? task->fileSize : reportedSize;
    QWidget* row = Row(taskId);
    const QFileInfo output(outputPath);
    if (!sourceKept && !output.isFile()) {
        // Reported as finished, but the file is not there: the user must not see a success.
        return ShowFailed(row, Texts::tr("输出文件不存在"));
    }
    if (!row) return;
    SetRowState(row, sourceKept ? RowState::Kept : RowState::Finished);
    // The sizes take the progress's place.
    ShowStatusParts(row, {.results = true});
    const bool replaced = done.replacedSource && !sourceKept;
    SetButton(row, replaced ? Texts::tr("已替换") : Texts::tr("压缩完成"), {}, false);
    if (QWidget* status = row->findChild<QWidget*>("statusColumn"))
        status->setToolTip(FinishedTip(done.searchText, replaced, done.freedBytes, Notes(taskId)));
    if (sourceKept)
        outputPaths_.erase(taskId);
    else
        outputPaths_[taskId] = outputPath;
    if (sourceKept) {
        StartButton(row)->setToolTip(SourcePath(taskId));
        ShowSourceKept(row, sourceSize);
        return;
    }
    StartButton(row)->setToolTip(replaced ? ReplacedText(done.freedBytes) + u'\n' + outputPath
                                          : outputPath);
    const qint64 outputSize = output.size();
    DebugPrint("srcFile.fileSize: %lld\nfileSize: %lld\n", static_cast<long long>(sourceSize),
               static_cast<long long>(outputSize));
    ShowSaving(row, sourceSize, outputSize);
}

void MediaRows::Ended(int taskId)
{
    Release(taskId);
    batch_.Ended(taskId);
}

void MediaRows::Start(QWidget* button)
{
    const int id = static_cast<int>(skin::GetTag(button));
    QWidget* row = Row(id);
    if (IsRowQueued(row)) return Cancel(id);
    if (IsEnded(GetRowState(row))) return;
    if (!MayCompress()) return;
    ShowWaiting(id);
    queue_.Enqueue(id);
}

void MediaRows::StartAll()
{
    auto* list = context_.window.FindControl<SkinList>(names_.list);
    if (!list || list->Count() == 0)
        return PromptBoxDialog::Show(&context_.window, language::Tr(kEmptyListText));
    if (!MayCompress()) return;
    std::vector<int> ids;
    bool ticked = false, ended = false;
    for (int i = 0; i < list->Count(); ++i) {
        QWidget* row = list->RowAt(i);
        auto* check = row->findChild<QAbstractButton*>(names_.check);
        if (!check || !check->isChecked()) continue;
        ticked = true;
        const RowState state = GetRowState(row);
        ended = ended || IsEnded(state);
        if (state != RowState::Idle && state != RowState::Failed) continue;
        const int id = static_cast<int>(skin::GetTag(check));
        ShowWaiting(id);
        ids.push_back(id);
    }
    queue_.EnqueueAll(ids);
    // A click that starts nothing says why; rows that wait or run already need no word.
    if (!ids.empty()) return;
    if (!ticked) return PromptBoxDialog::Show(&context_.window, language::Tr(kNoneTickedText));
    if (ended && !batch_.Active())
        PromptBoxDialog::Show(&context_.window, language::Tr(kAllDoneText));
}

void MediaRows::Cancel(int taskId)
{
    QWidget* row = Row(taskId);
    if (!IsRowQueued(row)) return;
    queue_.Cancel(taskId);
    if (queue_.IsQueued(taskId)) {
        // Running: the engine is stopping it; its report turns the row idle.
        SetButton(row, Texts::tr("取消中"), {}, false);
        return;
    }
    batch_.Dropped(taskId);
    ShowIdle(row);
}

void MediaRows::CancelAll()
{
    auto* list = context_.window.FindControl<SkinList>(names_.list);
    if (!list) return;
    std::vector<int> ids;
    for (int i = 0; i < list->Count(); ++i) {
        if (IsRowQueued(list->RowAt(i)))
            ids.push_back(static_cast<int>(skin::GetTag(list->RowAt(i))));
    }
    for (int id : ids) Cancel(id);
}

void MediaRows::OnCancelled(int taskId)
{
    DebugPrint("task %d cancelled\n", taskId);
    ShowIdle(Row(taskId));
    Release(taskId);
    batch_.Dropped(taskId);
}

void MediaRows::Recompress(int taskId)
{
    QWidget* row = Row(taskId);
    // A row that waits or runs is compressed once; a second turn would write a second copy.
    if (!row || IsRowQueued(row) || queue_.IsQueued(taskId)) return;
    if (!MayCompress()) return;
    ShowWaiting(taskId);
    queue_.Enqueue(taskId);
}

void MediaRows::Delete(int taskId)
{
    if (queue_.IsQueued(taskId))
        return PromptBoxDialog::Show(&context_.window, language::Tr(kCannotDeleteText));
    if (QWidget* row = Row(taskId))
        context_.window.FindControl<SkinList>(names_.list)->RemoveRow(row);
    queuedNotes_.erase(taskId);
    engineNotes_.erase(taskId);
    outputPaths_.erase(taskId);
    Forget(taskId);
}

void MediaRows::OpenFolder(int taskId)
{
    if (GetRowState(Row(taskId)) == RowState::Kept) {
        const QString source = SourcePath(taskId);
        if (!source.isEmpty()) {
            OpenOrTell(&context_.window, QUrl::fromLocalFile(QFileInfo(source).path()));
            return;
        }
    }
    if (const auto it = outputPaths_.find(taskId); it != outputPaths_.end()) {
        OpenOrTell(&context_.window, QUrl::fromLocalFile(QFileInfo(it->second).path()));
        return;
    }
    OpenOrTell(&context_.window, QUrl::fromLocalFile(GetOutputFolder()));
}

void MediaRows::ShowBatch(const QString& text)
{
    if (auto* label = context_.window.FindControl<QLabel>(names_.batchLabel)) {
        label->setText(text);
        label->setVisible(!text.isEmpty());
    }
    if (QWidget* cancelAll = context_.window.FindControl(names_.cancelAll))
        cancelAll->setVisible(batch_.Active());
}
