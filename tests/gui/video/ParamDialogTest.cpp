// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <array>
#include <functional>
#include <ostream>

#include <QLineEdit>

#include "gui/support/RecordingOwner.h"
#include "gui/ui/WindowMessages.h"
#include "gui/video/ParamDialog.h"
#include "support/GuiTestEnv.h"

// The twelve fields in their order, for readable failures.
static void PrintTo(const CompressParams& p, std::ostream* out)
{
    *out << '{' << p.unique_id << ", " << p.compressType << ", " << p.videoType << ", "
         << p.ratioIndex << ", " << p.width << ", " << p.height << ", " << p.channelIndex << ", "
         << p.channel << ", " << p.sampleRateIndex << ", " << p.sampleRate << ", " << p.bitrateIndex
         << ", " << p.bitrate << '}';
}

namespace {

const QString kClassName = QStringLiteral("参数设置");

// What the dialog shows, by position: compress-type option, container option, then the rows of
// "video-ratio", "audio-channel", "audio-sample-rate" and "audio-bitrate" (-1: nothing chosen).
using Shown = std::array<int, 6>;

int CheckedOf(ParamDialog& dialog, std::initializer_list<const char*> options)
{
    int position = 0;
    for (const char* name : options) {
        if (dialog.FindControl<QAbstractButton>(name)->isChecked()) return position;
        ++position;
    }
    return -1;
}

Shown ShownBy(ParamDialog& dialog)
{
    return {
        CheckedOf(dialog, {"compress-type-general", "compress-type-deep", "compress-type-limit"}),
        CheckedOf(dialog, {"radio_ori", "radio_mp4", "radio_flv", "radio_mov", "radio_mkv"}),
        dialog.FindControl<QComboBox>("video-ratio")->currentIndex(),
        dialog.FindControl<QComboBox>("audio-channel")->currentIndex(),
        dialog.FindControl<QComboBox>("audio-sample-rate")->currentIndex(),
        dialog.FindControl<QComboBox>("audio-bitrate")->currentIndex(),
    };
}

// Picks a row of a list as the user does.
void Choose(ParamDialog& dialog, const char* list, int row)
{
    auto* combo = dialog.FindControl<QComboBox>(list);
    combo->setCurrentIndex(row);
    Q_EMIT combo->activated(row);
}

void Click(ParamDialog& dialog, const char* button)
{
    dialog.FindControl<QAbstractButton>(button)->click();
}

class ParamDialogTest : public ::testing::Test {
protected:
    // Opens the dialog the way the main window does and runs act on it once it is shown; act
    // is expected to close it. Returns what Open returned.
    int Run(int taskId, const std::optional<CompressParams>& own,
            const std::function<void(ParamDialog&)>& act,
            const std::optional<VideoTask>& source = {}, const MainPageSnapshot& page = {},
            qint64 maxBytes = 0)
    {
        bool acted = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<ParamDialog*>(testenv::FindShownWindow(kClassName));
            if (!dialog || acted) return;
            acted = true;
            act(*dialog);
        });
        poll.start(20);
        // A dialog left open would hold the test in its modal loop.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            ADD_FAILURE() << "the dialog was left open";
            if (auto* open = qobject_cast<WindowImplBase*>(testenv::FindShownWindow(kClassName)))
                open->Close(0);
        });
        watchdog.start(10000);
        const int result = ParamDialog::Open(&owner, taskId, own, source, page, maxBytes);
        EXPECT_TRUE(acted);
        QCoreApplication::sendPostedEvents();
        return result;
    }

    // The record of the one save message posted so far.
    std::optional<CompressParams> SavedRecord() const
    {
        if (owner.received.size() != 1 || owner.received[0].id != UM_VIDEO_PARAM_SAVE)
            return std::nullopt;
        return owner.received[0].params;
    }

    RecordingOwner owner;
};

TEST_F(ParamDialogTest, ARowWithoutItsOwnRecordShowsTheDefaultsAndSavesThemAsShown)
{
    const int result = Run(3, std::nullopt, [](ParamDialog& dialog) {
        EXPECT_EQ(ShownBy(dialog), (Shown{0, 0, 0, 0, 4, 1}));
        EXPECT_EQ(dialog.FindControl<QComboBox>("audio-sample-rate")->currentText(), "44100 Hz");
        Click(dialog, "save");
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(testenv::FindShownWindow(kClassName), nullptr);
    // General, same container, source size, stereo, 44100 Hz, 128 kbit/s.
    EXPECT_EQ(SavedRecord(), (CompressParams{3, 0, 0, 0, 0, 0, 0, 2, 4, 44100, 1, 128000}));
}

TEST_F(ParamDialogTest, SavePostsOneRecordOfEveryChoiceUnderTheRowsTaskId)
{
    // A record made for another id is saved under the id the dialog was opened for.
    const CompressParams own{99, 0, 0, 0, 0, 0, 0, 2, 4, 44100, 1, 128000};
    Run(7, own, [](ParamDialog& dialog) {
        Click(dialog, "compress-type-limit");
        Click(dialog, "radio_flv");
        Choose(dialog, "video-ratio", 10);
        Choose(dialog, "audio-channel", 1);
        Choose(dialog, "audio-sample-rate", 7);
        Choose(dialog, "audio-bitrate", 3);
        Choose(dialog, "video-codec", 1);
        Click(dialog, "save");
    });
    EXPECT_EQ(SavedRecord(), (CompressParams{7, 2, 2, 10, 480, 272, 1, 1, 7, 22050, 3, 64000, 1}));
}

TEST_F(ParamDialogTest, ASavedSampleRateIsPreselectedWhenTheDialogOpensAgain)
{
    Run(4, std::nullopt, [](ParamDialog& dialog) {
        Choose(dialog, "audio-sample-rate", 5);
        Click(dialog, "save");
    });
    const std::optional<CompressParams> saved = SavedRecord();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->sampleRateIndex, 5);
    EXPECT_EQ(saved->sampleRate, 32000);

    Run(4, saved, [](ParamDialog& dialog) {
        EXPECT_EQ(ShownBy(dialog), (Shown{0, 0, 0, 0, 5, 1}));
        EXPECT_EQ(dialog.FindControl<QComboBox>("audio-sample-rate")->currentText(), "32000 Hz");
        Click(dialog, "closebtn");
    });
}

TEST_F(ParamDialogTest, CancelShowsTheDefaultsAndAsksForTheResetButKeepsTheDialogOpen)
{
    const CompressParams own{5, 1, 1, 2, 1280, 720, 1, 1, 0, 96000, 0, 320000};
    const int result = Run(5, own, [this](ParamDialog& dialog) {
        EXPECT_EQ(ShownBy(dialog), (Shown{1, 1, 2, 1, 0, 0}));

        Click(dialog, "cancel");
        EXPECT_EQ(ShownBy(dialog), (Shown{0, 0, 0, 0, 4, 1}));
        EXPECT_TRUE(dialog.isVisible());
        QCoreApplication::sendPostedEvents(&owner);
        ASSERT_EQ(owner.received.size(), 1);
        EXPECT_EQ(owner.received[0].id, UM_VIDEO_PARAM_RESET);
        EXPECT_EQ(owner.received[0].wParam, 5);
        EXPECT_FALSE(owner.received[0].params);

        // A save after the reset stores what the dialog now shows.
        owner.received.clear();
        Click(dialog, "save");
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(SavedRecord(), (CompressParams{5, 0, 0, 0, 0, 0, 0, 2, 4, 44100, 1, 128000}));
}

TEST_F(ParamDialogTest, ClosingWithoutSavingPostsNothing)
{
    EXPECT_EQ(Run(2, std::nullopt, [](ParamDialog& dialog) { Click(dialog, "closebtn"); }), 0);
    EXPECT_EQ(
        Run(2, std::nullopt, [](ParamDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); }),
        0);
    EXPECT_TRUE(owner.received.isEmpty());
}

TEST_F(ParamDialogTest, ValuesTheListsDoNotOfferSelectNothingAndAreKeptBySave)
{
    // A container the dialog does not offer and a resolution row beyond the list.
    const CompressParams own{6, 1, 7, 20, 2560, 1440, 0, 2, 4, 44100, 1, 128000};
    Run(6, own, [](ParamDialog& dialog) {
        EXPECT_EQ(ShownBy(dialog), (Shown{1, -1, -1, 0, 4, 1}));
        Click(dialog, "save");
    });
    EXPECT_EQ(SavedRecord(), own);
}

TEST_F(ParamDialogTest, TheRowsOwnSizeLimitIsShownSavedBesideTheRecordAndResetWithIt)
{
    const CompressParams own{9, 0, 1, 0, 0, 0, 0, 2, 4, 44100, 1, 128000};
    Run(
        9, own,
        [](ParamDialog& dialog) {
            EXPECT_EQ(dialog.FindControl<QLineEdit>("max-size")->text(), "1.5");
            EXPECT_EQ(dialog.FindControl<QComboBox>("max-size-unit")->currentText(), "MB");
            dialog.FindControl<QLineEdit>("max-size")->setText("300");
            Choose(dialog, "max-size-unit", 0);
            EXPECT_EQ(testenv::CutTexts(&dialog), QStringList{});
            testenv::SaveScreenshot("param-dialog-size");
            Click(dialog, "save");
        },
        std::nullopt, {}, 3 * 512 * 1024);
    ASSERT_TRUE(SavedRecord());
    EXPECT_EQ(owner.received[0].lParam, 300 * 1024) << "the row's own limit, in bytes";
    EXPECT_EQ(*SavedRecord(), own) << "the record itself is unchanged";

    // A row without a record of its own has no limit of its own, whatever it is handed.
    owner.received.clear();
    Run(
        10, std::nullopt,
        [](ParamDialog& dialog) {
            EXPECT_EQ(dialog.FindControl<QLineEdit>("max-size")->text(), "");
            Click(dialog, "save");
        },
        std::nullopt, {}, 1 << 20);
    ASSERT_TRUE(SavedRecord());
    EXPECT_EQ(owner.received[0].lParam, 0);

    // The defaults clear the field.
    owner.received.clear();
    Run(
        9, own,
        [](ParamDialog& dialog) {
            Click(dialog, "cancel");
            EXPECT_EQ(dialog.FindControl<QLineEdit>("max-size")->text(), "");
            Click(dialog, "closebtn");
        },
        std::nullopt, {}, 1 << 20);
}

TEST_F(ParamDialogTest, ASizeThatIsNoSizeKeepsTheDialogOpenAndPostsNothing)
{
    QString notice;
    const int result = Run(11, std::nullopt, [&](ParamDialog& dialog) {
        dialog.FindControl<QLineEdit>("max-size")->setText("big");
        testenv::ClickWhenShown("PromptBoxDialog", "msgConfirm", &notice);
        Click(dialog, "save");
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.FindControl<QLineEdit>("max-size")->text(), "big") << "left to put right";
        Click(dialog, "closebtn");
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(notice.startsWith("大小上限请填写数字")) << notice.toStdString();
    EXPECT_TRUE(owner.received.isEmpty());
}

// What the dialog greys for a source and a container: the codec, the audio, and the note.
struct ReachCase {
    const char* name;
    const char* source;  // the file name, which names the container kept
    const char* option;  // the container chosen
    bool compatible;     // the main page's compatible check
    bool codec, audio;   // offered as applying
    const char* note;    // a part of the note, empty when none shows
};

class ParamDialogReachTest : public ParamDialogTest,
                             public ::testing::WithParamInterface<ReachCase> {};

TEST_P(ParamDialogReachTest, GreysWhatTheContainerDoesNotUseAndSaysWhy)
{
    const ReachCase& c = GetParam();
    VideoTask source;
    source.fileName = c.source;
    source.filePath = QStringLiteral("/videos/") + c.source;
    source.videoCodec = "h264";
    source.hasAudio = 1;
    MainPageSnapshot page;
    page.compatibleChecked = c.compatible;
    Run(
        8, std::nullopt,
        [&](ParamDialog& dialog) {
            Click(dialog, c.option);
            Choose(dialog, "video-codec", 1);
            EXPECT_EQ(dialog.FindControl("video-codec")->isEnabled(), c.codec);
            for (const char* list : {"audio-channel", "audio-sample-rate", "audio-bitrate"})
                EXPECT_EQ(dialog.FindControl(list)->isEnabled(), c.audio) << list;
            auto* note = dialog.FindControl<QLabel>("param-not-applied");
            EXPECT_EQ(note->isHidden(), QString(c.note).isEmpty());
            EXPECT_TRUE(note->text().contains(QString::fromUtf8(c.note)))
                << note->text().toStdString();
            if (!c.codec) {
                EXPECT_FALSE(dialog.FindControl("video-codec")->toolTip().isEmpty())
                    << "the greyed list says why under the mouse";
            }
            Click(dialog, "save");
        },
        source, page);
    // What is greyed is saved as chosen all the same.
    ASSERT_TRUE(SavedRecord());
    EXPECT_EQ(SavedRecord()->videoCodec, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Containers, ParamDialogReachTest,
    ::testing::Values(
        ReachCase{"KeptMp4", "a.mp4", "radio_ori", false, false, false, "沿用原文件"},
        ReachCase{"KeptAviBecomesMp4", "a.avi", "radio_ori", false, true, true, ""},
        ReachCase{"Mp4", "a.mp4", "radio_mp4", false, true, true, ""},
        ReachCase{"Mkv", "a.mov", "radio_mkv", false, true, true, ""},
        ReachCase{"Flv", "a.mp4", "radio_flv", false, false, true, "FLV 格式只用 H.264"},
        ReachCase{"Mov", "a.mp4", "radio_mov", false, false, true, "MOV 格式只用 H.264"},
        ReachCase{"CompatibleMp4", "a.mkv", "radio_mp4", true, false, true, "MPEG-4"}),
    [](const ::testing::TestParamInfo<ReachCase>& info) { return std::string(info.param.name); });

}  // namespace
