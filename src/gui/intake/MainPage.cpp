// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/intake/MainPage.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

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
// Each list with its select-all box and its rows' tick boxes.
struct ListBoxes {
    const char* box;
    const char* list;
    const char* check;
};
constexpr ListBoxes kLists[] = {{"videoCheckBoxAll", "videoList", "videocheckBox"},
                                {"imageCheckBoxAll", "image-list", "imagecheckBox"}};

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
    for (const ListBoxes& list : kLists) {
        // A row's tick: the list's box follows; others may handle the tick too.
        if (Is(msg, list.check)) {
            SyncSelectAll(list.box, list.list, list.check);
            return false;
        }
    }
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
    // Read once: each row's tick makes the box follow the rows ticked so far.
    const bool checked = box->isChecked();
    for (int i = 0; i < list->Count(); ++i) {
        if (auto* check = list->RowAt(i)->findChild<QAbstractButton*>(checkName))
            check->setChecked(checked);
    }
    SyncSelectAll(box->objectName().toLatin1().constData(), listName, checkName);
}

void MainPage::FollowRows()
{
    for (const ListBoxes& names : kLists) {
        auto* list = window_.FindControl<SkinList>(names.list);
        if (!list) continue;
        QObject::connect(list, &SkinList::countChanged, list,
                         [this, names] { SyncSelectAll(names.box, names.list, names.check); });
        SyncSelectAll(names.box, names.list, names.check);
    }
}

void MainPage::SyncSelectAll(const char* boxName, const char* listName, const char* checkName)
{
    auto* box = window_.FindControl<QAbstractButton>(boxName);
    auto* list = window_.FindControl<SkinList>(listName);
    if (!box || !list) return;
    bool all = list->Count() > 0;
    for (int i = 0; i < list->Count() && all; ++i) {
        auto* check = list->RowAt(i)->findChild<QAbstractButton*>(checkName);
        all = check && check->isChecked();
    }
    // Set without a notification of its own: the box only shows the rows' state.
    const QSignalBlocker quiet(box);
    box->setChecked(all);
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
