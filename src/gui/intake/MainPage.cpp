#include "gui/intake/MainPage.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>

#include "core/app/Settings.h"
#include "gui/skinlib/SkinList.h"
#include "gui/skinlib/WindowImplBase.h"
#include "gui/ui/PromptBoxDialog.h"

namespace {

struct OptionValue {
    const char* option;
    const IntSetting* setting;
    int value;
};

// What each option of the page writes when it is selected.
const OptionValue kOptions[] = {
    {"compress-type-general", &settings::kCompressType, 0},
    {"compress-type-deep", &settings::kCompressType, 1},
    {"compress-type-limit", &settings::kCompressType, 2},
    {"radio-ori", &settings::kVideoType, 0},
    {"radio-mp4", &settings::kVideoType, 1},
    {"radio-flv", &settings::kVideoType, 2},
    {"radio-mov", &settings::kVideoType, 3},
    {"radio-mkv", &settings::kVideoType, 4},
    {"image-compress-type-general", &settings::kImageCompressType, 0},
    {"image-compress-type-deep", &settings::kImageCompressType, 1},
    {"image-compress-type-limit", &settings::kImageCompressType, 2},
    {"image-format-original", &settings::kImageType, 0},
    {"image-format-jpg", &settings::kImageType, 1},
};

using choices::kResolutions;
constexpr int kImageRatioRows = 6;
constexpr int kGifDropFrameRows = 5;

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
    for (const OptionValue& option : kOptions) {
        if (!Is(msg, option.option)) continue;
        if (msg.wParam) WriteSetting(*option.setting, option.value);
        return true;
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
        if (row >= 0 && row < kImageRatioRows) WriteSetting(settings::kImageRatioIndex, row);
    } else if (Is(msg, "gif-drop-frame")) {
        if (row >= 0 && row < kGifDropFrameRows) WriteSetting(settings::kGifDropFrameIndex, row);
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
    const Field fields[] = {{"image-width", "请输入图片的宽度!", "图片宽度必须为数字!"},
                            {"image-height", "请输入图片的高度!", "图片高度必须为数字!"}};
    for (const Field& field : fields) {
        auto* edit = window_.FindControl<QLineEdit>(field.name);
        const QString text = edit ? edit->text().trimmed() : QString();
        if (text.isEmpty()) {
            PromptBoxDialog::Show(&window_, field.emptyText);
            return false;
        }
        if (!IsDecimal(text)) {
            PromptBoxDialog::Show(&window_, field.notNumberText);
            return false;
        }
    }
    return true;
}
