#include "gui/intake/MainPage.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>

#include "core/app/Language.h"
#include "core/app/Settings.h"
#include "gui/skinlib/SkinList.h"
#include "gui/skinlib/WindowImplBase.h"
#include "gui/ui/PromptBoxDialog.h"

namespace {

using choices::kResolutions;

bool Is(const skin::Notification& msg, const char* name)
{
    return msg.senderName == QLatin1String(name);
}

// Digits only, in the narrow encoding (so no full-width or other scripts' digits).
bool IsDecimal(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    for (char c : bytes) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

}  // namespace

bool MainPage::Notify(const skin::Notification& msg)
{
    if (msg.type == QLatin1String(skin::kClick)) return OnClick(msg);
    if (msg.type == QLatin1String(skin::kSelectChanged)) return OnSelectChanged(msg);
    if (msg.type == QLatin1String(skin::kItemSelect)) return OnItemSelect(msg);
    if (msg.type == QLatin1String(skin::kValueChanged) && Is(msg, "video-compress-slider")) {
        if (auto* label = window_.FindControl<QLabel>("video-compress-label"))
            label->setText(QStringLiteral("%1%").arg(msg.wParam));
        return true;
    }
    return false;
}

bool MainPage::OnClick(const skin::Notification& msg)
{
    if (Is(msg, "videoCheckBoxAll")) {
        SelectAll(msg.sender, "videoList", "videocheckBox");
    } else if (Is(msg, "imageCheckBoxAll")) {
        SelectAll(msg.sender, "image-list", "imagecheckBox");
    } else {
        return false;
    }
    return true;
}

bool MainPage::OnSelectChanged(const skin::Notification& msg)
{
    // Selecting an option writes its position in the group.
    for (const ChoiceSetting& group : choices::kPageOptionGroups) {
        for (size_t row = 0; row < group.rows.size(); ++row) {
            if (!Is(msg, group.rows[row].pageOption)) continue;
            if (msg.wParam) WriteSetting(*group.setting, static_cast<int>(row));
            return true;
        }
    }
    if (Is(msg, "image-define-param")) {
        WriteSetting(settings::kImageDefineParam, msg.wParam ? 1 : 0);
        return true;
    }
    if (Is(msg, "gif-define-param")) {
        WriteSetting(settings::kGifDefineParam, msg.wParam ? 1 : 0);
        return true;
    }
    return false;
}

bool MainPage::OnItemSelect(const skin::Notification& msg)
{
    const int row = static_cast<int>(msg.wParam);
    if (Is(msg, "video-ratio")) {
        if (row < 0 || row >= static_cast<int>(kResolutions.size())) return true;
        WriteSetting(settings::kVideoRatioIndex, row);
        WriteSetting(settings::kVideoRatioWidth, kResolutions[row].width);
        WriteSetting(settings::kVideoRatioHeight, kResolutions[row].height);
    } else if (Is(msg, "image-ratio")) {
        if (row >= 0 && row < choices::kImageRatioRows)
            WriteSetting(settings::kImageRatioIndex, row);
    } else if (Is(msg, "gif-drop-frame")) {
        if (row >= 0 && row < choices::kGifDropFrameRows)
            WriteSetting(settings::kGifDropFrameIndex, row);
    } else {
        return false;
    }
    return true;
}

void MainPage::SelectAll(QWidget* selectAll, const char* listName, const char* checkName)
{
    // The click has already toggled the box: the rows follow the state it switched to.
    auto* box = qobject_cast<QAbstractButton*>(selectAll);
    auto* list = window_.FindControl<SkinList>(listName);
    if (!box || !list) return;
    for (int i = 0; i < list->Count(); ++i) {
        if (auto* check = list->RowAt(i)->findChild<QAbstractButton*>(checkName))
            check->setChecked(box->isChecked());
    }
}

bool MainPage::CheckCustomImageSize()
{
    auto* custom = window_.FindControl<QAbstractButton>("image-define-param");
    if (!custom || !custom->isChecked()) return true;
    struct Field {
        const char* name;
        const char* emptyText;
        const char* notNumberText;
    };
    const Field fields[] = {{"image-width", QT_TRANSLATE_NOOP("LumoCompress", "请输入图片的宽度!"),
                             QT_TRANSLATE_NOOP("LumoCompress", "图片宽度必须为数字!")},
                            {"image-height", QT_TRANSLATE_NOOP("LumoCompress", "请输入图片的高度!"),
                             QT_TRANSLATE_NOOP("LumoCompress", "图片高度必须为数字!")}};
    for (const Field& field : fields) {
        auto* edit = window_.FindControl<QLineEdit>(field.name);
        const QString text = edit ? edit->text().trimmed() : QString();
        if (text.isEmpty()) {
            PromptBoxDialog::Show(&window_, language::Tr(field.emptyText));
            return false;
        }
        if (!IsDecimal(text)) {
            PromptBoxDialog::Show(&window_, language::Tr(field.notNumberText));
            return false;
        }
    }
    return true;
}
