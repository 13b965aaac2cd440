// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/intake/MainPage.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

#include "core/app/Language.h"
#include "core/app/Settings.h"
#include "gui/intake/SizeLimit.h"
#include "gui/skinlib/SkinList.h"
#include "gui/skinlib/WindowImplBase.h"
#include "gui/ui/PromptBoxDialog.h"
#include "gui/video/ChoiceReach.h"

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

// The look box and the size field with its unit list of each page, video first.
struct SearchControls {
    const char* page;
    const char* look;
    const char* size;
    const char* unit;
};
constexpr SearchControls kSearchControls[] = {
    {"video", "video-look-check", "video-max-size", "video-max-size-unit"},
    {"image", "image-look-check", "image-max-size", "image-max-size-unit"}};

bool IsDecimal(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    for (char c : bytes) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

}  // namespace

MainPage::~MainPage()
{
    for (const QMetaObject::Connection& connection : connections_) QObject::disconnect(connection);
}

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
    for (const SearchControls& page : kSearchControls) {
        if (!Is(msg, page.look)) continue;
        WriteSetting(settings::kLook, msg.wParam ? 1 : 0);
        // One setting: the other page's box shows it too.
        for (const SearchControls& other : kSearchControls) {
            auto* box = window_.FindControl<QAbstractButton>(other.look);
            if (!box || box == msg.sender) continue;
            const QSignalBlocker quiet(box);
            box->setChecked(msg.wParam != 0);
        }
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
        if (row >= 0 && row < choices::kImageRatioRows)
            WriteSetting(settings::kImageRatioIndex, row);
    } else if (Is(msg, "video-max-size-unit")) {
        CommitSizeLimit("video", true);
    } else if (Is(msg, "image-max-size-unit")) {
        CommitSizeLimit("image", true);
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

void MainPage::FollowSearchChoices()
{
    const bool look = ReadSetting(settings::kLook) != 0;
    int index = 0;
    for (const SearchControls& page : kSearchControls) {
        if (auto* box = window_.FindControl<QAbstractButton>(page.look)) {
            lookTip_[index] = box->toolTip();
            const QSignalBlocker quiet(box);
            box->setChecked(look);
        }
        ++index;
        auto* edit = window_.FindControl<QLineEdit>(page.size);
        if (!edit) continue;
        const char* name = page.page;
        connections_ << QObject::connect(edit, &QLineEdit::editingFinished, edit, [this, name] {
            if (!committing_) CommitSizeLimit(name);
        });
    }
    ShowSizeLimit(ReadSetting(settings::kMaxSize));

    // The video look box follows the options that decide whether it applies.
    const char* options[] = {"video-quality-check", "video-compress-compatible-check"};
    for (const char* name : options) {
        if (auto* option = window_.FindControl<QAbstractButton>(name))
            connections_ << QObject::connect(option, &QAbstractButton::toggled, option,
                                             [this] { ShowLookReach(); });
    }
    for (const Choice& container : choices::kContainers) {
        if (auto* option = window_.FindControl<QAbstractButton>(container.pageOption))
            connections_ << QObject::connect(option, &QAbstractButton::toggled, option,
                                             [this] { ShowLookReach(); });
    }
    ShowLookReach();
}

bool MainPage::CommitSizeLimits()
{
    for (const SearchControls& page : kSearchControls) {
        if (!CommitSizeLimit(page.page)) return false;
    }
    return true;
}

bool MainPage::CommitSizeLimit(const char* pageName, bool unitChosen)
{
    for (const SearchControls& page : kSearchControls) {
        if (qstrcmp(page.page, pageName) != 0) continue;
        auto* edit = window_.FindControl<QLineEdit>(page.size);
        auto* unit = window_.FindControl<QComboBox>(page.unit);
        if (!edit || !unit) return true;
        // A field the user has not typed into shows the stored size, which may have been
        // written elsewhere since (the command line, another window): it is not written back.
        if (!edit->isModified() && !unitChosen) return true;
        const qint64 stored = ReadSetting(settings::kMaxSize);
        QString error;
        const std::optional<qint64> bytes = sizelimit::Read(edit, unit, &error);
        if (!bytes) {
            // What the field shows is what the engines use: the stored size again, then why.
            ShowSizeLimit(stored);
            committing_ = true;
            PromptBoxDialog::Show(&window_, error);
            committing_ = false;
            return false;
        }
        if (*bytes != stored && !WriteSetting(settings::kMaxSize, static_cast<int>(*bytes))) {
            ShowSizeLimit(stored);
            return true;
        }
        // Both pages show the size in its own words ("8m" becomes "8" with MB).
        ShowSizeLimit(*bytes);
        ShowLookReach();
        return true;
    }
    return true;
}

void MainPage::ShowSizeLimit(qint64 bytes)
{
    for (const SearchControls& page : kSearchControls) {
        auto* edit = window_.FindControl<QLineEdit>(page.size);
        auto* unit = window_.FindControl<QComboBox>(page.unit);
        sizelimit::Write(edit, unit, bytes);
        // A size not written by these fields (the command line's "1000000") keeps its unit.
        if (edit) edit->setModified(false);
    }
}

void MainPage::ShowLookReach()
{
    const SearchChoice search{ReadSetting(settings::kLook) != 0, ReadSetting(settings::kMaxSize)};
    CompressSettings values;
    for (size_t row = 0; row < choices::kContainers.size(); ++row) {
        auto* option = window_.FindControl<QAbstractButton>(choices::kContainers[row].pageOption);
        if (option && option->isChecked()) values.videoType = static_cast<int>(row);
    }
    MainPageSnapshot page;
    const auto checked = [this](const char* name) {
        auto* box = window_.FindControl<QAbstractButton>(name);
        return box && box->isChecked();
    };
    page.qualityMode = checked("video-quality-check");
    page.compatibleChecked = checked("video-compress-compatible-check");
    const ChoiceReach reach = PageReach(values, page, search);
    if (auto* box = window_.FindControl<QAbstractButton>(kSearchControls[0].look)) {
        box->setEnabled(reach.look);
        box->setToolTip(reach.look ? lookTip_[0] : reach.lookReason);
    }
    // Images: the quality is searched for JPEG, WebP and AVIF outputs, unless a size rules.
    if (auto* box = window_.FindControl<QAbstractButton>(kSearchControls[1].look)) {
        const bool applies = search.maxBytes == 0;
        box->setEnabled(applies);
        box->setToolTip(applies
                            ? lookTip_[1]
                            : Texts::tr("设了大小上限时按大小压缩,不做“同样观感,最小文件”的搜索"));
    }
}
