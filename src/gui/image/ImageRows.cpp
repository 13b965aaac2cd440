#include "gui/image/ImageRows.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QLabel>

#include "gui/app/MainWnd.h"
#include "core/app/FailureText.h"
#include "core/app/TextUtil.h"
#include "core/image/ImageEngine.h"
#include "gui/intake/MainPage.h"
#include "gui/intake/RowBuilder.h"
#include "gui/skinlib/Controls.h"
#include "gui/skinlib/SkinList.h"
#include "gui/ui/PromptBoxDialog.h"

namespace {

constexpr char kCannotDeleteText[] = "文件正在压缩中,不能删除!";
constexpr char kEmptyListText[] = "请先添加要压缩的文件!";

}  // namespace

QWidget* ImageRows::Row(int taskId) const
{
    auto* list = window_.FindControl<SkinList>("image-list");
    return list ? list->FindRow(RowName(taskId)) : nullptr;
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
    ImageEngine& engine = window_.imageEngine();
    if (!engine.FindParams(record.task_id)) return;  // a result the engine no longer expects
    QWidget* row = Row(record.task_id);
    const QFileInfo output(record.outputPath);
    const auto task = engine.FindTask(record.task_id);
    const qint64 sourceSize = task ? task->fileSize : record.sourceSize;
    if (!output.isFile()) {
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
    engine.Release(record.task_id);
}

void ImageRows::OnFailed(int taskId, const QString& reason)
{
    ImageEngine& engine = window_.imageEngine();
    if (!engine.FindParams(taskId)) return;
    ShowFailed(Row(taskId), reason);
    engine.Release(taskId);
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
    if (!window_.mainPage().RequireSignIn()) return;
    if (!window_.mainPage().CheckCustomImageSize()) return;
    QWidget* row = Row(taskId);
    if (!row) return;
    skin::SetMouseEnabled(row->findChild<QWidget*>("imageCompressBtn"), false);
    for (const char* name : {"progress-label", "s1Label", "y1Label"}) SetRowText(row, name, {});
    window_.imageEngine().Enqueue(taskId);
}

void ImageRows::Delete(int taskId)
{
    if (window_.imageEngine().IsQueuedOrRunning(taskId))
        return PromptBoxDialog::Show(&window_, kCannotDeleteText);
    if (QWidget* row = Row(taskId)) window_.FindControl<SkinList>("image-list")->RemoveRow(row);
    window_.imageEngine().RemoveTask(taskId);
}

void ImageRows::Start(QWidget* button)
{
    if (!window_.mainPage().RequireSignIn()) return;
    if (!window_.mainPage().CheckCustomImageSize()) return;
    const int id = static_cast<int>(skin::GetTag(button));
    if (QWidget* row = Row(id)) skin::SetMouseEnabled(row->findChild<QWidget*>("imageCompressBtn"), false);
    window_.imageEngine().Enqueue(id);
}

void ImageRows::StartAll()
{
    auto* list = window_.FindControl<SkinList>("image-list");
    if (!list || list->Count() == 0) return PromptBoxDialog::Show(&window_, kEmptyListText);
    if (!window_.mainPage().RequireSignIn()) return;
    if (!window_.mainPage().CheckCustomImageSize()) return;
    std::vector<int> ids;
    for (int i = 0; i < list->Count(); ++i) {
        auto* check = list->RowAt(i)->findChild<QAbstractButton*>("imagecheckBox");
        if (check && check->isChecked()) ids.push_back(static_cast<int>(skin::GetTag(check)));
    }
    window_.imageEngine().EnqueueAll(ids);
}
