// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/app/SetingDialog.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTemporaryFile>
#include <QUrl>
#include <iterator>
#include <memory>
#include <span>
#include <stdexcept>

#include "core/app/AppConfig.h"
#include "core/app/Language.h"
#include "core/app/OutputPlace.h"
#include "core/app/Paths.h"
#include "core/app/Settings.h"
#include "gui/app/TrayPresence.h"
#include "gui/platform/Shell.h"
#include "gui/ui/OpenOrTell.h"
#include "gui/ui/PromptBoxDialog.h"

namespace {

constexpr char kChooseTitle[] = QT_TRANSLATE_NOOP("LumoCompress", "选择视频目制存放目录");
constexpr char kNotWritable[] = QT_TRANSLATE_NOOP("LumoCompress", "该目录没有写入权限!");
constexpr char kNotStorable[] =
    QT_TRANSLATE_NOOP("LumoCompress", "该目录路径无法保存,请选择其他目录!");
constexpr char kNoTray[] = QT_TRANSLATE_NOOP("LumoCompress", "当前桌面没有系统托盘");
constexpr char kBadSuffix[] =
    QT_TRANSLATE_NOOP("LumoCompress", "文件名后缀不能为空,也不能包含“/”或控制字符。");

// The check boxes that each write one key of their own, 1 when ticked.
struct KeepBox {
    const char* control;
    const IntSetting* setting;
};
constexpr KeepBox kKeepBoxes[] = {
    {"keep-smaller", &settings::kKeepSmaller},   {"keep-tracks", &settings::kKeepTracks},
    {"keep-dates", &settings::kKeepDates},       {"keep-photo-info", &settings::kKeepPhotoInfo},
    {"keep-location", &settings::kKeepLocation},
};

// The pages of "settings" by their navigation button, in the stack's order.
constexpr const char* kPages[] = {"basic-seting", "other-seting", "place-seting", "keep-seting"};

// True when configure.ini gives the suffix back unchanged and it can end a file's name: not
// empty, no "/" or control character, no blanks around it, within the reader's capacity.
bool IsSuffix(const QString& suffix)
{
    if (suffix.isEmpty() || suffix != suffix.trimmed()) return false;
    if (suffix.size() >= settings::kPlaceSuffix.capacity) return false;
    for (const QChar c : suffix)
        if (c == u'/' || c.category() == QChar::Other_Control) return false;
    return true;
}

// A combo whose row number and the value of that row are both stored, index key first.
struct AudioCombo {
    const char* control;
    const IntSetting* index;
    const IntSetting* value;
    std::span<const int> rows;
};

constexpr AudioCombo kAudioCombos[] = {
    {"audio-channel", &settings::kAudioChannelIndex, &settings::kAudioChannel,
     choices::kAudioChannels},
    {"audio-sample-rate", &settings::kAudioSampleRateIndex, &settings::kAudioSampleRate,
     choices::kSampleRates},
    {"audio-bitrate", &settings::kAudioBitrateIndex, &settings::kAudioBitrate,
     choices::kAudioBitrates},
};

constexpr const char* kControls[] = {
    "settings",          "basic-seting",    "other-seting",   "audio-channel", "audio-sample-rate",
    "audio-bitrate",     "output-dir",      "choose-dir",     "open-dir",      "window-close-exit",
    "window-close-tray", "keep-smaller",    "place-seting",   "keep-seting",   "place-flat",
    "place-tree",        "place-beside",    "place-in-place", "place-suffix",  "keep-tracks",
    "keep-dates",        "keep-photo-info", "keep-location",
};

// True when a file can be created in folder. The probe has a name of its own that no existing
// file can have and is removed at once, so nothing of the user's is opened or replaced.
bool CanCreateFilesIn(const QString& folder)
{
    QTemporaryFile probe(folder + QStringLiteral("/.lumo-write-test-XXXXXX"));
    return probe.open();
}

// True when configure.ini gives the folder back unchanged: values are trimmed, cut to the
// reader's capacity and cannot hold a line break.
bool CanStoreAsOutputDir(const QString& folder)
{
    return folder.size() < settings::kOutputDir.capacity && folder == folder.trimmed() &&
           !folder.contains(u'\n') && !folder.contains(u'\r');
}

}  // namespace

SetingDialog::SetingDialog(QWidget* owner) : WindowImplBase(owner, Kind::Dialog) {}

SetingDialog::~SetingDialog()
{
    // The field's focus-out as the window goes must not reach a dialog that is gone.
    if (auto* suffix = FindControl<QLineEdit>("place-suffix")) suffix->disconnect(this);
}

QPointer<SetingDialog>& SetingDialog::Current()
{
    static QPointer<SetingDialog> dialog;
    return dialog;
}

void SetingDialog::Open(QWidget* owner)
{
    if (SetingDialog* open = Current(); open && open->isVisible()) {
        open->ShowWindow(true);
        return;
    }
    std::unique_ptr<SetingDialog> dialog(new SetingDialog(owner));
    dialog->Create();
    dialog->CenterWindow();
    Current() = dialog.get();
    dialog.release()->ShowModal();
}

void SetingDialog::InitWindow()
{
    try {
        for (const char* name : kControls) {
            if (!FindControl(name)) throw std::runtime_error(name);
        }
        // Rows are selected without notifying: nothing is written back. A stored row that the
        // combo does not have selects none.
        for (const AudioCombo& combo : kAudioCombos)
            FindControl<QComboBox>(combo.control)->setCurrentIndex(ReadSetting(*combo.index));

        // Without a tray the window could not come back from it: the choice is off and closing
        // ends the program, while the stored choice stays for a desktop that has one.
        const bool trayAvailable = tray::Available();
        const bool toTray = trayAvailable && ReadSetting(settings::kWindowClose) != 0;
        auto* trayChoice = FindControl<QAbstractButton>("window-close-tray");
        trayChoice->setEnabled(trayAvailable);
        if (!trayAvailable) trayChoice->setToolTip(language::Tr(kNoTray));
        auto* exitChoice = FindControl<QAbstractButton>("window-close-exit");
        const QSignalBlocker quietTray(trayChoice), quietExit(exitChoice);
        (toTray ? trayChoice : exitChoice)->setChecked(true);

        FindControl<QLineEdit>("output-dir")->setText(GetOutputFolder());

        for (const KeepBox& keep : kKeepBoxes) {
            auto* box = FindControl<QAbstractButton>(keep.control);
            const QSignalBlocker quiet(box);
            box->setChecked(ReadSetting(*keep.setting) != 0);
        }

        // A stored place outside the list reads as the default, as the engines read it.
        const int place = ReadSetting(settings::kPlace);
        for (size_t row = 0; row < choices::kPlaces.size(); ++row) {
            auto* option = FindControl<QAbstractButton>(choices::kPlaces[row].pageOption);
            const QSignalBlocker quiet(option);
            option->setChecked(static_cast<int>(row) == place);
        }
        auto* suffix = FindControl<QLineEdit>("place-suffix");
        suffix->setText(ReadPlaceChoice(AppConfig::Path()).suffix);
        connect(suffix, &QLineEdit::editingFinished, this, [this] {
            if (!committingSuffix_) CommitSuffix();
        });
        ShowDependents();
    } catch (...) {
        throw std::runtime_error("SetingDialog::Init");
    }
}

void SetingDialog::Notify(skin::Notification& msg)
{
    const QString& name = msg.senderName;
    if (msg.type == QLatin1String(skin::kItemSelect)) {
        WriteAudioRow(name, msg.wParam);
    } else if (msg.type == QLatin1String(skin::kSelectChanged)) {
        auto* pages = FindControl<QStackedWidget>("settings");
        for (int page = 0; page < static_cast<int>(std::size(kPages)); ++page)
            if (name == QLatin1String(kPages[page])) pages->setCurrentIndex(page);
        if (name == QLatin1String("window-close-exit")) WriteSetting(settings::kWindowClose, 0);
        if (name == QLatin1String("window-close-tray")) WriteSetting(settings::kWindowClose, 1);
        for (const KeepBox& keep : kKeepBoxes)
            if (name == QLatin1String(keep.control))
                WriteSetting(*keep.setting, msg.wParam ? 1 : 0);
        for (size_t row = 0; row < choices::kPlaces.size(); ++row)
            if (name == QLatin1String(choices::kPlaces[row].pageOption) && msg.wParam)
                WriteSetting(settings::kPlace, static_cast<int>(row));
        ShowDependents();
    } else if (msg.type == QLatin1String(skin::kClick)) {
        if (name == QLatin1String("choose-dir") && !ChooseOutputFolder()) return;
        if (name == QLatin1String("open-dir")) OpenOutputFolder();
    }
    WindowImplBase::Notify(msg);
}

void SetingDialog::WriteAudioRow(const QString& control, qintptr row)
{
    for (const AudioCombo& combo : kAudioCombos) {
        if (control != QLatin1String(combo.control)) continue;
        if (row < 0 || row >= static_cast<qintptr>(combo.rows.size())) return;
        // The index first: a reader that finds the value also finds its row.
        WriteSetting(*combo.index, static_cast<int>(row));
        WriteSetting(*combo.value, combo.rows[row]);
        return;
    }
}

bool SetingDialog::ChooseOutputFolder()
{
    QString folder = Shell::Instance().ChooseFolder(this, language::Tr(kChooseTitle));
    if (folder.isEmpty()) return true;
    folder = QDir::cleanPath(folder);

    if (!CanCreateFilesIn(folder)) {
        PromptBoxDialog::Show(this, language::Tr(kNotWritable));
        return false;
    }
    if (!CanStoreAsOutputDir(folder)) {
        PromptBoxDialog::Show(this, language::Tr(kNotStorable));
        return false;
    }
    // The edit shows what is stored: a failed write leaves the old folder in both.
    if (WriteSetting(settings::kOutputDir, folder))
        FindControl<QLineEdit>("output-dir")->setText(folder);
    return true;
}

void SetingDialog::OpenOutputFolder()
{
    const QString folder = FindControl<QLineEdit>("output-dir")->text();
    if (!folder.isEmpty()) OpenOrTell(this, QUrl::fromLocalFile(folder));
}

bool SetingDialog::OnClose(qintptr wParam)
{
    if (!committingSuffix_) CommitSuffix();
    return WindowImplBase::OnClose(wParam);
}

void SetingDialog::CommitSuffix()
{
    auto* edit = FindControl<QLineEdit>("place-suffix");
    const QString stored = ReadPlaceChoice(AppConfig::Path()).suffix;
    const QString typed = edit->text();
    if (typed == stored) return;
    if (!IsSuffix(typed)) {
        // The field shows what outputs are named with: the stored suffix again, then why.
        edit->setText(stored);
        committingSuffix_ = true;
        PromptBoxDialog::Show(this, language::Tr(kBadSuffix));
        committingSuffix_ = false;
        return;
    }
    if (!WriteSetting(settings::kPlaceSuffix, typed)) edit->setText(stored);
}

void SetingDialog::ShowDependents()
{
    FindControl("place-suffix")
        ->setEnabled(FindControl<QAbstractButton>("place-beside")->isChecked());
    FindControl("keep-location")
        ->setEnabled(FindControl<QAbstractButton>("keep-photo-info")->isChecked());
}
