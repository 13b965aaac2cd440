#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPointer>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "app/AppConfig.h"
#include "app/Paths.h"
#include "app/SetingDialog.h"
#include "app/Settings.h"
#include "platform/Shell.h"
#include "support/TestEnv.h"

// Readable failure messages for the Qt strings compared below.
static void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

constexpr char kNotWritable[] = "该目录没有写入权限!";
constexpr char kNotStorable[] = "该目录路径无法保存,请选择其他目录!";

// Answers the folder chooser with a prepared path and records what it was asked and what was
// opened.
class RecordingShell : public Shell {
public:
    bool Open(const QUrl& url) override
    {
        opened.append(url);
        return true;
    }
    QString ChooseFolder(QWidget* owner, const QString& title) override
    {
        chooserOwner = owner;
        chooserTitle = title;
        return answer;
    }

    QString answer;
    QWidget* chooserOwner = nullptr;
    QString chooserTitle;
    QList<QUrl> opened;
};

// Takes the permission overrides out of this thread's effective capabilities while it lives, so
// that a folder's permission bits bind even when the tests run as root. The dialog runs on this
// (the main) thread, so its write test meets the same refusal a normal user would.
class PermissionBitsBind {
public:
    PermissionBitsBind()
    {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
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
    __user_cap_header_struct header_{};
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
        QFile::remove(AppConfig::Path());  // when the tests share one process
        Shell::SetInstance(&shell);
        owner.show();
    }
    void TearDown() override
    {
        Shell::SetInstance(nullptr);
        delete dialog.data();
    }

    void Open(const QByteArray& ini = QByteArray())
    {
        if (!ini.isEmpty()) {
            ASSERT_TRUE(testenv::WriteFile(AppConfig::Path(), ini));
        }
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
    // Picks a row the way the keyboard does, which reports it as the user's choice.
    void Pick(const char* combo, Qt::Key key)
    {
        QTest::keyClick(dialog->FindControl<QComboBox>(combo), key);
    }

    // Chooses folder with "choose-dir"; returns the texts of the notices it showed.
    QStringList Choose(const QString& folder)
    {
        shell.answer = folder;
        testenv::AutoAnswer answer("PromptBoxDialog", "msgConfirm");
        Click("choose-dir");
        return answer.texts();
    }

    RecordingShell shell;
    QWidget owner;
    QPointer<SetingDialog> dialog;
};

TEST_F(SetingDialogTest, AFreshInstallationShowsTheDefaultsAndWritesNothing)
{
    const QString documents = testenv::Home() + "/Documents";
    const QString desktop = testenv::Home() + "/Desktop";
    QDir().mkpath(documents);
    testenv::SetUserDirs(documents, desktop);

    Open();
    EXPECT_EQ(Row("audio-channel"), 0);
    EXPECT_EQ(Row("audio-sample-rate"), 4);
    EXPECT_EQ(Row("audio-bitrate"), 1);
    EXPECT_TRUE(Checked("window-close-exit"));
    EXPECT_FALSE(Checked("window-close-tray"));
    EXPECT_EQ(dialog->FindControl<QStackedWidget>("settings")->currentIndex(), 0);

    EXPECT_EQ(ShownFolder(), desktop + "/LUMO视频压缩");
    EXPECT_TRUE(QDir(ShownFolder()).exists());
    EXPECT_FALSE(QFile::exists(AppConfig::Path())) << "opening the dialog stores nothing";
}

TEST_F(SetingDialogTest, StoredChoicesAreShown)
{
    QTemporaryDir output;
    Open(
        "[global]\r\naudio-channel-index=1\r\naudio-sample-rate-index=12\r\n"
        "audio-bitrate-index=9\r\nwindow-close=1\r\noutput-dir= " +
        output.path().toUtf8() + " \r\n");
    EXPECT_EQ(Row("audio-channel"), 1);
    EXPECT_EQ(Row("audio-sample-rate"), 12);
    EXPECT_EQ(Row("audio-bitrate"), -1) << "a row the combo does not have selects none";
    EXPECT_TRUE(Checked("window-close-tray"));
    EXPECT_FALSE(Checked("window-close-exit"));
    EXPECT_EQ(ShownFolder(), output.path());
}

TEST_F(SetingDialogTest, EachAudioChoiceStoresItsRowBeforeItsValue)
{
    Open();
    Pick("audio-sample-rate", Qt::Key_End);
    Pick("audio-bitrate", Qt::Key_Home);
    Pick("audio-channel", Qt::Key_Down);

    EXPECT_EQ(ReadSetting(settings::kAudioSampleRateIndex), 12);
    EXPECT_EQ(ReadSetting(settings::kAudioSampleRate), 7350);
    EXPECT_EQ(ReadSetting(settings::kAudioBitrateIndex), 0);
    EXPECT_EQ(ReadSetting(settings::kAudioBitrate), 320000);
    EXPECT_EQ(ReadSetting(settings::kAudioChannelIndex), 1);
    EXPECT_EQ(ReadSetting(settings::kAudioChannel), 1);

    // New keys are appended in the order they were written.
    const QByteArray ini = testenv::ReadFile(AppConfig::Path());
    for (const char* key : {"audio-sample-rate", "audio-bitrate", "audio-channel"}) {
        const QByteArray index = "\n" + QByteArray(key) + "-index=";
        const QByteArray value = "\n" + QByteArray(key) + "=";
        ASSERT_GE(ini.indexOf(index), 0) << key;
        EXPECT_LT(ini.indexOf(index), ini.indexOf(value)) << key << " in\n" << ini.constData();
    }

    Pick("audio-sample-rate", Qt::Key_Up);
    EXPECT_EQ(ReadSetting(settings::kAudioSampleRateIndex), 11);
    EXPECT_EQ(ReadSetting(settings::kAudioSampleRate), 8000);
}

TEST_F(SetingDialogTest, CloseBehaviourIsStoredAndTheNavigationSwitchesPages)
{
    Open();
    auto* pages = dialog->FindControl<QStackedWidget>("settings");
    Click("other-seting");
    EXPECT_EQ(pages->currentIndex(), 1);
    Click("window-close-tray");
    EXPECT_EQ(ReadSetting(settings::kWindowClose), 1);
    Click("window-close-exit");
    EXPECT_EQ(ReadSetting(settings::kWindowClose), 0);
    EXPECT_TRUE(testenv::ReadFile(AppConfig::Path()).contains("window-close=0"));
    Click("basic-seting");
    EXPECT_EQ(pages->currentIndex(), 0);
}

TEST_F(SetingDialogTest, AWritableFolderIsTakenAndAUsersCompressTmpIsLeftAlone)
{
    QTemporaryDir chosen;
    const QString userFile = chosen.path() + "/compressTmp";
    ASSERT_TRUE(testenv::WriteFile(userFile, "the user's own notes"));
    ASSERT_TRUE(QFile::setPermissions(userFile, QFileDevice::ReadOwner));

    Open();
    EXPECT_EQ(Choose(chosen.path() + "/"), QStringList()) << "no notice";
    EXPECT_EQ(shell.chooserTitle, "选择视频目制存放目录");
    EXPECT_EQ(shell.chooserOwner, dialog.data());

    EXPECT_EQ(ShownFolder(), chosen.path());
    EXPECT_EQ(ReadSetting(settings::kOutputDir), chosen.path());
    EXPECT_EQ(GetOutputFolder(), chosen.path());
    EXPECT_EQ(Entries(chosen.path()), QStringList{"compressTmp"}) << "nothing new in the folder";
    EXPECT_EQ(testenv::ReadFile(userFile), "the user's own notes");
    const auto userBits = QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
    EXPECT_EQ(QFile::permissions(userFile) & ~userBits, QFileDevice::ReadOwner);

    Click("open-dir");
    ASSERT_EQ(shell.opened.size(), 1);
    EXPECT_EQ(shell.opened.front(), QUrl::fromLocalFile(chosen.path()));
}

TEST_F(SetingDialogTest, OpenDirShowsTheFolderOnDisplay)
{
    Open();
    Click("open-dir");
    ASSERT_EQ(shell.opened.size(), 1);
    EXPECT_TRUE(shell.opened.front().isLocalFile());
    EXPECT_EQ(shell.opened.front().toLocalFile(), ShownFolder());
    EXPECT_TRUE(QDir(ShownFolder()).exists());
}

TEST_F(SetingDialogTest, CancellingTheChooserChangesNothing)
{
    Open();
    const QString before = ShownFolder();
    EXPECT_EQ(Choose(QString()), QStringList());
    EXPECT_EQ(ShownFolder(), before);
    EXPECT_FALSE(QFile::exists(AppConfig::Path()));
}

// A folder the dialog must refuse: how to make it and the notice it causes.
struct Refusal {
    const char* name;
    std::function<QString(const QString& scratch)> make;
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

    Open("[global]\r\naudio-bitrate-index=2\r\n");
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
    EXPECT_EQ(ReadSetting(settings::kOutputDir), QString());
    EXPECT_EQ(testenv::ReadFile(AppConfig::Path()), "[global]\r\naudio-bitrate-index=2\r\n");
    EXPECT_EQ(Entries(folder), before);
    EXPECT_TRUE(dialog->isVisible()) << "the dialog stays open";
}

INSTANTIATE_TEST_SUITE_P(
    Folders, RefusedFolderTest,
    ::testing::Values(Refusal{"ReadOnly",
                              [](const QString& scratch) {
                                  const QString folder = scratch + "/read-only";
                                  QDir().mkpath(folder);
                                  testenv::WriteFile(folder + "/compressTmp", "kept");
                                  QFile::setPermissions(
                                      folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                  QFileDevice::ReadOther | QFileDevice::ExeOther);
                                  return folder;
                              },
                              kNotWritable},
                      Refusal{"NotAFolder",
                              [](const QString& scratch) {
                                  testenv::WriteFile(scratch + "/plain", "x");
                                  return scratch + "/plain";
                              },
                              kNotWritable},
                      // configure.ini keeps at most 259 characters of the path: a longer one would
                      // name another folder when read back.
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

TEST_F(SetingDialogTest, OpenShowsOneDialogAtATimeAndItGoesAwayWhenClosed)
{
    QPointer<QWidget> first;
    bool sawDialog = false;
    int shown = 0;
    QTimer::singleShot(0, &owner, [&] {
        first = testenv::FindShownWindow("系统设置");
        sawDialog = first != nullptr;
        SetingDialog::Open(&owner);  // a second request while the first is open
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (qobject_cast<SetingDialog*>(window) && window->isVisible()) ++shown;
        }
        if (first) first->findChild<QAbstractButton*>("closebtn")->click();
    });
    // Should a second modal dialog have opened, end both rather than hang.
    QTimer::singleShot(5000, &owner, [] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (qobject_cast<SetingDialog*>(window)) window->close();
        }
    });
    SetingDialog::Open(&owner);
    ASSERT_TRUE(sawDialog);
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(testenv::WaitUntil([&] { return first.isNull(); })) << "it deletes itself";
}

}  // namespace
