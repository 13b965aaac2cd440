#include "gui/intake/MainPage.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <array>
#include <vector>

#include "gui/app/LoginDialog.h"
#include "gui/app/MainWnd.h"
#include "core/app/Settings.h"
#include "core/app/UserAccount.h"
#include "gui/intake/RowBuilder.h"
#include "gui/skinlib/Controls.h"
#include "gui/skinlib/SkinList.h"
#include "gui/ui/PromptBoxDialog.h"
#include "core/video/VideoEngine.h"

namespace {

constexpr char kEmptyListText[] = "请先添加要压缩的文件!";

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
    if (Is(msg, "login") || Is(msg, "register") || Is(msg, "username")) {
        if (!UserAccount::Instance().IsSignedIn()) LoginDialog::Run(&window_);
        UpdateAccountArea();
    } else if (Is(msg, "compressBtn")) {
        StartVideoRow(msg.sender);
    } else if (Is(msg, "all-compress")) {
        StartAllVideoRows();
    } else if (Is(msg, "videoCheckBoxAll")) {
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

bool MainPage::RequireSignIn()
{
    if (UserAccount::Instance().IsSignedIn()) return true;
    LoginDialog::Run(&window_);
    UpdateAccountArea();
    return false;
}

void MainPage::UpdateAccountArea()
{
    const UserRecord user = UserAccount::Instance().Record();
    const bool signedIn = !user.mobile.isEmpty() || !user.wechatOpenId.isEmpty();
    for (const char* name : {"login", "separator", "register"}) {
        if (QWidget* control = window_.FindControl(name)) control->setVisible(!signedIn);
    }
    if (auto* username = window_.FindControl<QAbstractButton>("username")) {
        // The middle of the number is not shown to whoever looks over the user's shoulder.
        QString shown = user.mobile;
        if (shown.size() == 11) shown = shown.left(3) + "****" + shown.right(4);
        username->setText(shown);
        username->setVisible(signedIn);
    }
}

void MainPage::StartVideoRow(QWidget* button)
{
    if (!RequireSignIn()) return;
    const int id = static_cast<int>(skin::GetTag(button));
    auto* list = window_.FindControl<SkinList>("videoList");
    if (QWidget* row = list ? list->FindRow(RowName(id)) : nullptr)
        skin::SetMouseEnabled(row->findChild<QWidget*>("compressBtn"), false);
    window_.videoEngine().Enqueue(id);
}

void MainPage::StartAllVideoRows()
{
    auto* list = window_.FindControl<SkinList>("videoList");
    if (!list || list->Count() == 0) return PromptBoxDialog::Show(&window_, kEmptyListText);
    if (!RequireSignIn()) return;
    std::vector<int> ids;
    for (int i = 0; i < list->Count(); ++i) {
        auto* check = list->RowAt(i)->findChild<QAbstractButton*>("videocheckBox");
        if (check && check->isChecked()) ids.push_back(static_cast<int>(skin::GetTag(check)));
    }
    window_.videoEngine().EnqueueAll(ids);
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
