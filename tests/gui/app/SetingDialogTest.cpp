// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPointer>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "core/app/AppConfig.h"
#include "core/app/Settings.h"
#include "gui/app/SetingDialog.h"
#include "gui/app/TrayPresence.h"
#include "gui/platform/Shell.h"
#include "support/FakeShell.h"
#include "support/GuiTestEnv.h"

static void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

constexpr char kNotWritable[] = "该目录没有写入权限!";
constexpr char kNotStorable[] = "该目录路径无法保存,请选择其他目录!";

// Takes the permission overrides out of this thread's effective capabilities while it lives, so
// that permission bits bind even for root. The dialog runs on this thread, so its write test
// meets the refusal an ordinary user would.
class PermissionBitsBind {
public:
    PermissionBitsBind()
    {
        if (::syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        lowered_ = ::syscall(SYS_capset, &header_, lowered) == 0;
    }
    ~PermissionBitsBind()
    {
        if (lowered_) ::syscall(SYS_capset, &header_, saved_);
    }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool lowered_ = false;
};

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

class SetingDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile::remove(AppConfig::Path());  // for runs of several tests in one process
        // A desktop with a tray, where the close choice is offered (its absence: see
        // DesktopCitizenTest).
        tray::SetAvailableForTesting(true);
        owner.show();
    }
    void TearDown() override
    {
        delete dialog.data();
        tray::SetAvailableForTesting(std::nullopt);
    }

    void Open(const QByteArray& ini = QByteArray())
    {
        if (!ini.isEmpty()) testenv::WriteFile(AppConfig::Path(), ini);
        dialog = new SetingDialog(&owner);
        dialog->Create();
        dialog->show();
    }

    int Row(const char* combo) const
    {
        return dialog->FindControl<QComboBox>(combo)->currentIndex();
    }
    bool Checked(const char* option) const
    {
        return dialog->FindControl<QAbstractButton>(option)->isChecked();
    }
    QString ShownFolder() const { return dialog->FindControl<QLineEdit>("output-dir")->text(); }
    void Click(const char* button) { dialog->FindControl<QAbstractButton>(button)->click(); }

    // Chooses folder with "choose-dir"; returns the texts of the notices it showed.
    QStringList Choose(const QString& folder)
    {
        shell.folder = folder;
        testenv::AutoAnswer answer("PromptBoxDialog", "msgConfirm");
        Click("choose-dir");
        return answer.texts();
    }

    testenv::FakeShell shell;
    QWidget owner;
    QPointer<SetingDialog> dialog;
};

TEST_F(SetingDialogTest, AFreshInstallationShowsTheDefaultsAndWritesNothing)
{
    const QString documents = testenv::Home() + "/Documents";
    QDir().mkpath(documents);
    testenv::SetUserDirs(documents, testenv::Home() + "/Desktop");

    Open();
    EXPECT_EQ(Row("audio-channel"), 0);
    EXPECT_EQ(Row("audio-sample-rate"), 4);
    EXPECT_EQ(Row("audio-bitrate"), 1);
    EXPECT_TRUE(Checked("window-close-exit"));
    EXPECT_FALSE(Checked("window-close-tray"));
    EXPECT_FALSE(Checked("keep-smaller"));
    EXPECT_EQ(ShownFolder(), testenv::Home() + "/Desktop/LUMO视频压缩");
    EXPECT_TRUE(QDir(ShownFolder()).exists());
    EXPECT_FALSE(QFile::exists(AppConfig::Path()));

    Click("open-dir");
    EXPECT_EQ(shell.opened, QList<QUrl>{QUrl::fromLocalFile(ShownFolder())});
}

TEST_F(SetingDialogTest, StoredChoicesAreShown)
{
    QTemporaryDir output;
    Open(
        "[global]\r\naudio-channel-index=1\r\naudio-sample-rate-index=12\r\n"
        "audio-bitrate-index=9\r\nwindow-close=1\r\noutput-dir=" +
        output.path().toUtf8() + "\r\n");
    EXPECT_EQ(Row("audio-channel"), 1);
    EXPECT_EQ(Row("audio-sample-rate"), 12);
    EXPECT_EQ(Row("audio-bitrate"), 1) << "a row the combo does not have reads as the default";
    EXPECT_TRUE(Checked("window-close-tray"));
    EXPECT_EQ(ShownFolder(), output.path());
}

TEST_F(SetingDialogTest, EachChoiceIsStoredAtOnceTheRowBeforeItsValue)
{
    Open();
    // The keyboard picks rows the way the user does: the combo reports them as chosen.
    QTest::keyClick(dialog->FindControl<QComboBox>("audio-sample-rate"), Qt::Key_End);
    QTest::keyClick(dialog->FindControl<QComboBox>("audio-bitrate"), Qt::Key_Home);
    QTest::keyClick(dialog->FindControl<QComboBox>("audio-channel"), Qt::Key_Down);
    EXPECT_EQ(ReadSetting(settings::kAudioSampleRateIndex), 12);
    EXPECT_EQ(ReadSetting(settings::kAudioSampleRate), 7350);
    EXPECT_EQ(ReadSetting(settings::kAudioBitrateIndex), 0);
    EXPECT_EQ(ReadSetting(settings::kAudioBitrate), 320000);
    EXPECT_EQ(ReadSetting(settings::kAudioChannelIndex), 1);
    EXPECT_EQ(ReadSetting(settings::kAudioChannel), 1);

    // A new key goes to the end of the section, so the file keeps the order of the writes.
    const QByteArray ini = testenv::ReadFile(AppConfig::Path());
    for (const QByteArray key : {"audio-sample-rate", "audio-bitrate", "audio-channel"}) {
        ASSERT_GE(ini.indexOf("\n" + key + "-index="), 0) << key.constData();
        EXPECT_LT(ini.indexOf("\n" + key + "-index="), ini.indexOf("\n" + key + "="))
            << ini.constData();
    }

    Click("other-seting");
    EXPECT_EQ(dialog->FindControl<QStackedWidget>("settings")->currentIndex(), 1);
    Click("window-close-tray");
    EXPECT_EQ(ReadSetting(settings::kWindowClose), 1);
    Click("window-close-exit");
    EXPECT_EQ(ReadSetting(settings::kWindowClose), 0);
}

TEST_F(SetingDialogTest, KeepSmallerIsShownAsStoredAndStoredWhenClicked)
{
    Open("[global]\r\nkeep-smaller=1\r\n");
    EXPECT_TRUE(Checked("keep-smaller"));
    Click("keep-smaller");
    EXPECT_EQ(ReadSetting(settings::kKeepSmaller), 0);
    Click("keep-smaller");
    EXPECT_EQ(ReadSetting(settings::kKeepSmaller), 1);
}

TEST_F(SetingDialogTest, EachKeepChoiceAndPlaceIsStoredWhenChosenAndShownOnReopening)
{
    Open();
    // Defaults: nothing kept, outputs flat in the output folder, the default suffix.
    for (const char* box : {"keep-tracks", "keep-dates", "keep-photo-info", "keep-location"})
        EXPECT_FALSE(Checked(box)) << box;
    EXPECT_TRUE(Checked("place-flat"));
    EXPECT_EQ(dialog->FindControl<QLineEdit>("place-suffix")->text(), "_small");
    EXPECT_FALSE(dialog->FindControl("place-suffix")->isEnabled()) << "only beside the sources";
    EXPECT_FALSE(dialog->FindControl("keep-location")->isEnabled()) << "only with photo info";

    Click("keep-seting");
    EXPECT_EQ(dialog->FindControl<QStackedWidget>("settings")->currentIndex(), 3);
    const std::pair<const char*, const IntSetting*> boxes[] = {
        {"keep-tracks", &settings::kKeepTracks},
        {"keep-dates", &settings::kKeepDates},
        {"keep-photo-info", &settings::kKeepPhotoInfo},
        {"keep-location", &settings::kKeepLocation}};
    for (const auto& [box, setting] : boxes) {
        Click(box);
        EXPECT_EQ(ReadSetting(*setting), 1) << box;
    }
    EXPECT_TRUE(dialog->FindControl("keep-location")->isEnabled());

    Click("place-seting");
    EXPECT_EQ(dialog->FindControl<QStackedWidget>("settings")->currentIndex(), 2);
    for (size_t row = 0; row < choices::kPlaces.size(); ++row) {
        Click(choices::kPlaces[row].pageOption);
        EXPECT_EQ(ReadSetting(settings::kPlace), static_cast<int>(row));
    }
    Click("place-beside");
    EXPECT_TRUE(dialog->FindControl("place-suffix")->isEnabled());
    auto* suffix = dialog->FindControl<QLineEdit>("place-suffix");
    suffix->setText("-klein");
    Q_EMIT suffix->editingFinished();
    EXPECT_EQ(ReadSetting(settings::kPlaceSuffix), "-klein");

    delete dialog.data();
    Open();
    for (const auto& [box, setting] : boxes) EXPECT_TRUE(Checked(box)) << box;
    EXPECT_TRUE(Checked("place-beside"));
    EXPECT_FALSE(Checked("place-flat"));
    EXPECT_EQ(dialog->FindControl<QLineEdit>("place-suffix")->text(), "-klein");

    // Unticking the photo information greys its location, which keeps its own stored choice.
    Click("keep-photo-info");
    EXPECT_EQ(ReadSetting(settings::kKeepPhotoInfo), 0);
    EXPECT_FALSE(dialog->FindControl("keep-location")->isEnabled());
    EXPECT_EQ(ReadSetting(settings::kKeepLocation), 1);
    Click("keep-tracks");
    EXPECT_EQ(ReadSetting(settings::kKeepTracks), 0);
}

TEST_F(SetingDialogTest, ASuffixThatCannotEndANameIsRefusedAndOneTypedIsStoredOnClosing)
{
    Open("[global]\r\nplace=2\r\nplace-suffix=_lite\r\n");
    auto* suffix = dialog->FindControl<QLineEdit>("place-suffix");
    for (const char* bad : {"", "a/b", " _x"}) {
        SCOPED_TRACE(bad);
        QString notice;
        testenv::ClickWhenShown("PromptBoxDialog", "msgConfirm", &notice);
        suffix->setText(QString::fromUtf8(bad));
        Q_EMIT suffix->editingFinished();
        EXPECT_EQ(notice, "文件名后缀不能为空,也不能包含“/”或控制字符。");
        EXPECT_EQ(ReadSetting(settings::kPlaceSuffix), "_lite");
        EXPECT_EQ(suffix->text(), "_lite") << "the stored suffix again";
    }
    // Typed, and the dialog closed from its title bar without leaving the field.
    suffix->setText("_mini");
    dialog->Close(0);
    EXPECT_EQ(ReadSetting(settings::kPlaceSuffix), "_mini");
}

TEST_F(SetingDialogTest, AWritableFolderIsTakenAndAUsersCompressTmpIsLeftAlone)
{
    QTemporaryDir chosen;
    const QString userFile = chosen.path() + "/compressTmp";
    ASSERT_TRUE(testenv::WriteFile(userFile, "the user's own notes"));
    ASSERT_TRUE(QFile::setPermissions(userFile, QFileDevice::ReadOwner));

    Open();
    EXPECT_EQ(Choose(chosen.path() + "/"), QStringList()) << "no notice";
    EXPECT_EQ(shell.lastTitle, "选择视频目制存放目录");
    EXPECT_EQ(ShownFolder(), chosen.path());
    EXPECT_EQ(ReadSetting(settings::kOutputDir), chosen.path());
    EXPECT_EQ(Entries(chosen.path()), QStringList{"compressTmp"}) << "nothing new in the folder";
    EXPECT_EQ(testenv::ReadFile(userFile), "the user's own notes");

    Click("open-dir");
    EXPECT_EQ(shell.opened, QList<QUrl>{QUrl::fromLocalFile(chosen.path())});
}

// A folder the dialog refuses, how to make it and the notice it causes.
struct Refusal {
    const char* name;
    QString (*make)(const QString& scratch);
    const char* notice;
};

void PrintTo(const Refusal& refusal, std::ostream* os)
{
    *os << refusal.name;
}

class RefusedFolderTest : public SetingDialogTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedFolderTest, IsReportedAndChangesNothing)
{
    QTemporaryDir scratch;
    const QString folder = GetParam().make(scratch.path());
    const QStringList before = Entries(folder);
    const QByteArray ini = "[global]\r\naudio-bitrate-index=2\r\n";
    Open(ini);
    const QString shownBefore = ShownFolder();

    QStringList notices;
    {
        PermissionBitsBind bind;
        if (QString(GetParam().notice) == kNotWritable) {
            ASSERT_FALSE(QFile(folder + "/probe").open(QIODevice::WriteOnly))
                << "the folder must really refuse new files";
        }
        notices = Choose(folder);
    }
    QFile::setPermissions(folder, QFile::permissions(folder) | QFileDevice::WriteOwner);

    EXPECT_EQ(notices, QStringList{GetParam().notice});
    EXPECT_EQ(ShownFolder(), shownBefore);
    EXPECT_EQ(testenv::ReadFile(AppConfig::Path()), ini);
    EXPECT_EQ(Entries(folder), before);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, RefusedFolderTest,
    ::testing::Values(Refusal{"ReadOnly",
                              [](const QString& scratch) {
                                  const QString folder = scratch + "/read-only";
                                  testenv::WriteFile(folder + "/compressTmp", "kept");
                                  QFile::setPermissions(
                                      folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
                                  return folder;
                              },
                              kNotWritable},
                      // configure.ini gives back at most 259 characters: a longer path would name
                      // another folder when read.
                      Refusal{"TooLongToStore",
                              [](const QString& scratch) {
                                  QString folder = scratch;
                                  while (folder.size() < settings::kOutputDir.capacity)
                                      folder += "/" + QString(40, u'd');
                                  QDir().mkpath(folder);
                                  return folder;
                              },
                              kNotStorable}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
