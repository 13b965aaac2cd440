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

#include "core/app/Language.h"
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
    "settings",          "basic-seting",      "other-seting",      "audio-channel",
    "audio-sample-rate", "audio-bitrate",     "output-dir",        "choose-dir",
    "open-dir",          "window-close-exit", "window-close-tray", "keep-smaller",
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

SetingDialog::~SetingDialog() = default;

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

        auto* keepSmaller = FindControl<QAbstractButton>("keep-smaller");
        const QSignalBlocker quietKeep(keepSmaller);
        keepSmaller->setChecked(ReadSetting(settings::kKeepSmaller) != 0);
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
        if (name == QLatin1String("basic-seting")) pages->setCurrentIndex(0);
        if (name == QLatin1String("other-seting")) pages->setCurrentIndex(1);
        if (name == QLatin1String("window-close-exit")) WriteSetting(settings::kWindowClose, 0);
        if (name == QLatin1String("window-close-tray")) WriteSetting(settings::kWindowClose, 1);
        if (name == QLatin1String("keep-smaller"))
            WriteSetting(settings::kKeepSmaller, msg.wParam ? 1 : 0);
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
