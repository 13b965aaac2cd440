#include "gui/image/ImageRows.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QLabel>

#include "core/app/FailureText.h"
#include "core/app/Language.h"
#include "core/app/TextUtil.h"
#include "core/image/ImageEngine.h"
#include "gui/intake/RowBuilder.h"
#include "gui/skinlib/Controls.h"
#include "gui/skinlib/SkinList.h"
#include "gui/ui/PromptBoxDialog.h"

namespace {

constexpr char kCannotDeleteText[] = QT_TRANSLATE_NOOP("LumoCompress", "文件正在压缩中,不能删除!");
constexpr char kEmptyListText[] = QT_TRANSLATE_NOOP("LumoCompress", "请先添加要压缩的文件!");
constexpr char kListName[] = "image-list";
constexpr char kButtonName[] = "imageCompressBtn";

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

}  // namespace

ImageRows::ImageRows(const RowsContext& context, ImageEngine& engine,
                     std::function<bool()> checkCustomImageSize)
    : context_(context),
      engine_(engine),
      checkCustomImageSize_(std::move(checkCustomImageSize)),
      batch_([this](const QString& text) { ShowBatch(text); })
{
}

QWidget* ImageRows::Row(int taskId) const
{
    auto* list = context_.window.FindControl<SkinList>(kListName);
    return list ? list->FindRow(RowName(taskId)) : nullptr;
}

int ImageRows::Add(const ImageTask& task)
{
    const int id = context_.takeTaskId();
    engine_.AddTask(id, task);
    QWidget* row = BuildImageRow(id, task, context_.controlFactory);
    context_.window.FindControl<SkinList>(kListName)->AddRow(row);
    return id;
}

bool ImageRows::MayCompress() const
{
    return context_.requireSignIn() && checkCustomImageSize_();
}

void ImageRows::ShowWaiting(int taskId)
{
    QWidget* row = Row(taskId);
    if (!row) return;
    SetRowState(row, RowState::Waiting);
    ClearResults(row);
    SetRowText(row, "progress-label", {});
    ShowStatusParts(row, {});
    StartButton(row)->setToolTip({});
    SetButton(row, Texts::tr("等待中"), Texts::tr("取消"), true);
    const auto task = engine_.FindTask(taskId);
    batch_.Queued(taskId, task ? task->fileSize : 0);
}

void ImageRows::ShowIdle(QWidget* row)
{
    if (!row) return;
    SetRowState(row, RowState::Idle);
    ClearResults(row);
    SetRowText(row, "progress-label", {});
    ShowStatusParts(row, {});
    SetButton(row, Texts::tr("压缩"), {}, true);
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
    QWidget* row = Row(record.task_id);
    const QFileInfo output(record.outputPath);
    const auto task = engine_.FindTask(record.task_id);
    const qint64 sourceSize = task ? task->fileSize : record.sourceSize;
    if (record.sourceKept) {
        SetRowText(row, "progress-label", Texts::tr("完成"));
        SetRowVisible(row, "progress-container", false);
        SetRowText(row, "imageCompressBtn", Texts::tr("压缩完成"));
        ShowSourceKept(row, sourceSize);
    } else if (!output.isFile()) {
        // Reported as written, but the file is not there: the user must not see a success.
        ShowFailed(row, Texts::tr("输出文件不存在"));
    } else if (row) {
        const qint64 outputSize = output.size();
        DebugPrint("srcFile.fileSize: %lld\nfileSize: %lld\n", static_cast<long long>(sourceSize),
                   static_cast<long long>(outputSize));
        SetRowState(row, RowState::Finished);
        SetRowText(row, "progress-label", Texts::tr("完成"));
        // The size and the saving take the state text's place.
        ShowStatusParts(row, {.results = true});
        SetButton(row, Texts::tr("压缩完成"), {}, false);
        StartButton(row)->setToolTip(record.outputPath);
        ShowSaving(row, sourceSize, outputSize);
    }
    engine_.Release(record.task_id);
    batch_.Ended(record.task_id);
}

void ImageRows::OnFailed(int taskId, const QString& reason)
{
    if (!engine_.FindParams(taskId)) return;
    ShowFailed(Row(taskId), reason);
    engine_.Release(taskId);
    batch_.Ended(taskId);
}

void ImageRows::OnCancelled(int taskId)
{
    ShowIdle(Row(taskId));
    engine_.Release(taskId);
    batch_.Dropped(taskId);
}

void ImageRows::ShowFailed(QWidget* row, const QString& reason)
{
    if (!row) return;
    SetRowState(row, RowState::Failed);
    if (auto* error = row->findChild<QLabel*>("errorLabel"))
        error->setToolTip(ReadableFailure(reason));
    ShowStatusParts(row, {.error = true});
    SetButton(row, Texts::tr("压缩"), {}, true);
}

void ImageRows::Recompress(int taskId)
{
    QWidget* row = Row(taskId);
    if (!row || IsRowQueued(row) || engine_.IsQueued(taskId)) return;
    if (!MayCompress()) return;
    ShowWaiting(taskId);
    engine_.Enqueue(taskId);
}

void ImageRows::Delete(int taskId)
{
    if (engine_.IsQueued(taskId))
        return PromptBoxDialog::Show(&context_.window, language::Tr(kCannotDeleteText));
    if (QWidget* row = Row(taskId))
        context_.window.FindControl<SkinList>(kListName)->RemoveRow(row);
    engine_.RemoveTask(taskId);
}

void ImageRows::Start(QWidget* button)
{
    const int id = static_cast<int>(skin::GetTag(button));
    QWidget* row = Row(id);
    if (IsRowQueued(row)) return Cancel(id);
    if (GetRowState(row) == RowState::Finished) return;
    if (!MayCompress()) return;
    ShowWaiting(id);
    engine_.Enqueue(id);
}

void ImageRows::StartAll()
{
    auto* list = context_.window.FindControl<SkinList>(kListName);
    if (!list || list->Count() == 0)
        return PromptBoxDialog::Show(&context_.window, language::Tr(kEmptyListText));
    if (!MayCompress()) return;
    std::vector<int> ids;
    for (int i = 0; i < list->Count(); ++i) {
        QWidget* row = list->RowAt(i);
        auto* check = row->findChild<QAbstractButton*>("imagecheckBox");
        if (!check || !check->isChecked()) continue;
        const RowState state = GetRowState(row);
        if (state != RowState::Idle && state != RowState::Failed) continue;
        const int id = static_cast<int>(skin::GetTag(check));
        ShowWaiting(id);
        ids.push_back(id);
    }
    engine_.EnqueueAll(ids);
}

void ImageRows::Cancel(int taskId)
{
    QWidget* row = Row(taskId);
    if (!IsRowQueued(row)) return;
    engine_.Cancel(taskId);
    if (engine_.IsQueued(taskId)) {
        SetButton(row, Texts::tr("取消中"), {}, false);
        return;
    }
    batch_.Dropped(taskId);
    ShowIdle(row);
}

void ImageRows::CancelAll()
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

void ImageRows::ShowBatch(const QString& text)
{
    if (auto* label = context_.window.FindControl<QLabel>("image-batch-label")) {
        label->setText(text);
        label->setVisible(!text.isEmpty());
    }
    if (QWidget* cancelAll = context_.window.FindControl("all-image-cancel"))
        cancelAll->setVisible(batch_.Active());
}
