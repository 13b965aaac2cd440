#include "gui/image/ImageRows.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QLabel>

#include "core/app/FailureText.h"
#include "core/app/TextUtil.h"
#include "core/image/ImageEngine.h"
#include "gui/intake/RowBuilder.h"
#include "gui/skinlib/Controls.h"
#include "gui/skinlib/SkinList.h"
#include "gui/ui/PromptBoxDialog.h"

namespace {

constexpr char kCannotDeleteText[] = "文件正在压缩中,不能删除!";
constexpr char kEmptyListText[] = "请先添加要压缩的文件!";
constexpr char kListName[] = "image-list";

}  // namespace

ImageRows::ImageRows(const RowsContext& context, ImageEngine& engine,
                     std::function<bool()> checkCustomImageSize)
    : context_(context), engine_(engine), checkCustomImageSize_(std::move(checkCustomImageSize))
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

void ImageRows::OnStarted(int taskId)
{
    QWidget* row = Row(taskId);
    if (!row) return;
    // Images have no progress to show: the state text stands alone.
    SetRowVisible(row, "progress-container", true);
    SetRowVisible(row, "progress-slider", false);
    SetRowVisible(row, "progress-label", true);
    SetRowText(row, "progress-label", QStringLiteral("正在压缩"));
    SetRowVisible(row, "errorLabel", false);
    skin::SetMouseEnabled(row->findChild<QWidget*>("imageCompressBtn"), false);
    SetRowText(row, "imageCompressBtn", QStringLiteral("压缩中"));
}

void ImageRows::OnDone(const ImageDoneRecord& record)
{
    if (!engine_.FindParams(record.task_id)) return;  // a result the engine no longer expects
    QWidget* row = Row(record.task_id);
    const QFileInfo output(record.outputPath);
    const auto task = engine_.FindTask(record.task_id);
    const qint64 sourceSize = task ? task->fileSize : record.sourceSize;
    if (record.sourceKept) {
        SetRowText(row, "progress-label", QStringLiteral("完成"));
        SetRowVisible(row, "progress-container", false);
        SetRowText(row, "imageCompressBtn", QStringLiteral("压缩完成"));
        ShowSourceKept(row, sourceSize);
    } else if (!output.isFile()) {
        // Reported as written, but the file is not there: the user must not see a success.
        ShowFailed(row, QStringLiteral("输出文件不存在"));
    } else {
        const qint64 outputSize = output.size();
        DebugPrint("srcFile.fileSize: %lld\nfileSize: %lld\n", static_cast<long long>(sourceSize),
                   static_cast<long long>(outputSize));
        SetRowText(row, "progress-label", QStringLiteral("完成"));
        // The size and the saving take the state text's place.
        SetRowVisible(row, "progress-container", false);
        SetRowText(row, "imageCompressBtn", QStringLiteral("压缩完成"));
        if (row) row->findChild<QWidget*>("imageCompressBtn")->setToolTip(record.outputPath);
        ShowSaving(row, sourceSize, outputSize);
    }
    engine_.Release(record.task_id);
}

void ImageRows::OnFailed(int taskId, const QString& reason)
{
    if (!engine_.FindParams(taskId)) return;
    ShowFailed(Row(taskId), reason);
    engine_.Release(taskId);
}

void ImageRows::ShowFailed(QWidget* row, const QString& reason)
{
    if (!row) return;
    if (auto* error = row->findChild<QLabel*>("errorLabel"))
        error->setToolTip(ReadableFailure(reason));
    SetRowVisible(row, "progress-container", false);
    SetRowVisible(row, "progress-label", false);
    SetRowVisible(row, "errorLabel", true);
    SetRowText(row, "imageCompressBtn", QStringLiteral("压缩"));
    skin::SetMouseEnabled(row->findChild<QWidget*>("imageCompressBtn"), true);
}

void ImageRows::Recompress(int taskId)
{
    if (!MayCompress()) return;
    QWidget* row = Row(taskId);
    if (!row) return;
    skin::SetMouseEnabled(row->findChild<QWidget*>("imageCompressBtn"), false);
    for (const char* name : {"progress-label", "s1Label", "y1Label"}) SetRowText(row, name, {});
    engine_.Enqueue(taskId);
}

void ImageRows::Delete(int taskId)
{
    if (engine_.IsQueued(taskId)) return PromptBoxDialog::Show(&context_.window, kCannotDeleteText);
    if (QWidget* row = Row(taskId))
        context_.window.FindControl<SkinList>(kListName)->RemoveRow(row);
    engine_.RemoveTask(taskId);
}

void ImageRows::Start(QWidget* button)
{
    if (!MayCompress()) return;
    const int id = static_cast<int>(skin::GetTag(button));
    if (QWidget* row = Row(id))
        skin::SetMouseEnabled(row->findChild<QWidget*>("imageCompressBtn"), false);
    engine_.Enqueue(id);
}

void ImageRows::StartAll()
{
    auto* list = context_.window.FindControl<SkinList>(kListName);
    if (!list || list->Count() == 0) return PromptBoxDialog::Show(&context_.window, kEmptyListText);
    if (!MayCompress()) return;
    std::vector<int> ids;
    for (int i = 0; i < list->Count(); ++i) {
        auto* check = list->RowAt(i)->findChild<QAbstractButton*>("imagecheckBox");
        if (check && check->isChecked()) ids.push_back(static_cast<int>(skin::GetTag(check)));
    }
    engine_.EnqueueAll(ids);
}
