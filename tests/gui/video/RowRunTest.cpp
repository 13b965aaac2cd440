// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>

#include "core/app/Settings.h"
#include "core/app/TextUtil.h"
#include "core/app/UserAccount.h"
#include "core/image/ImageEngine.h"
#include "core/intake/MediaProbe.h"
#include "core/video/VideoEngine.h"
#include "core/video/VideoSettings.h"
#include "gui/app/BatchNotifier.h"
#include "gui/app/MainWnd.h"
#include "gui/image/ImageRows.h"
#include "gui/intake/RowBuilder.h"
#include "gui/skinlib/Controls.h"
#include "gui/skinlib/ElideLabel.h"
#include "gui/skinlib/SkinList.h"
#include "gui/ui/WindowMessages.h"
#include "gui/video/ParamDialog.h"
#include "gui/video/VideoRows.h"
#include "support/GuiTestEnv.h"
#include "support/Printers.h"

// A running batch as the user sees it in the window: the progress bar drawn as it moves, a
// status column that holds every look, rows that wait, run, finish, get cancelled and queued
// again, the time left and the batch's progress.
namespace {

class RowRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(UserAccount::Instance().SignInWithMobile("13800138000"));
        ASSERT_TRUE(WriteSetting(settings::kOutputDir, output.path()));
        window = new CMainWnd;
        window->Create();
        window->resize(1000, 700);
        window->show();
        list = window->FindControl<SkinList>("videoList");
    }
    void TearDown() override { delete window.data(); }

    int AddClip(const QString& name, double seconds = 1.0, const QString& size = "64x48")
    {
        VideoTask task;
        task.fileName = name;
        task.fileDir = media.path() + "/";
        task.filePath = media.path() + "/" + name;
        EXPECT_TRUE(testenv::MakeVideo(task.filePath, seconds, size));
        EXPECT_TRUE(ProbeVideo(task.filePath, task));
        return window->AddVideoRow(task);
    }
    QWidget* Row(int id) const { return list->FindRow(RowName(id)); }
    QWidget* Part(int id, const char* name) const { return Row(id)->findChild<QWidget*>(name); }
    QString Text(int id, const char* name) const
    {
        QWidget* control = Part(id, name);
        if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
        return {};
    }
    bool Shown(int id, const char* name) const { return !Part(id, name)->isHidden(); }
    // Opens the row's menu; the items it offers are "cancel-compress" and "repeat-compress"
    // when shown.
    QWidget* OpenMenu(int id) const
    {
        static_cast<QAbstractButton*>(Part(id, "videoMenuBtn"))->click();
        return testenv::FindShownWindow("PopMenu");
    }
    static QStringList Offered(QWidget* menu)
    {
        QStringList offered;
        for (const char* item : {"cancel-compress", "repeat-compress"})
            if (!menu->findChild<QWidget*>(item)->isHidden()) offered << item;
        return offered;
    }
    bool Finished(int id) const { return Text(id, "compressBtn") == "压缩完成"; }
    bool Idle(int id) const { return GetRowState(Row(id)) == RowState::Idle; }
    void Post(int message, int id, int lParam = 0)
    {
        skin::PostMessage(window.data(), message, id, lParam);
        QCoreApplication::processEvents();
    }
    // With LUMO_SCREENSHOT_DIR set, keeps a picture of the window for people to look at.
    void Shot(const QString& name) const
    {
        const QString shots = qEnvironmentVariable("LUMO_SCREENSHOT_DIR");
        if (shots.isEmpty()) return;
        QCoreApplication::processEvents();
        window->grab().save(shots + "/" + name + ".png");
    }
    QStringList Outputs() const
    {
        return QDir(output.path()).entryList(QDir::Files | QDir::Hidden);
    }
    bool EncoderRuns() const
    {
        const auto pids = window->videoEngine().FfmpegProcesses();
        return !pids.empty() && ::kill(static_cast<pid_t>(pids.back()), 0) == 0;
    }

    QTemporaryDir media;
    QTemporaryDir output;
    QPointer<CMainWnd> window;
    SkinList* list = nullptr;
};

// What the window has on screen (its backing store) where the bar is.
QImage OnScreen(QWidget* window, QWidget* bar)
{
    const QPoint at = bar->mapTo(window, QPoint(0, 0));
    return window->screen()
        ->grabWindow(window->winId(), at.x(), at.y(), bar->width(), bar->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// How many pixels of the bar's middle line have the filled part's colour.
int FilledPixels(const QImage& bar, QColor chunk)
{
    int filled = 0;
    const int y = bar.height() / 2;
    for (int x = 0; x < bar.width(); ++x) {
        const QColor pixel = bar.pixelColor(x, y);
        filled += std::abs(pixel.red() - chunk.red()) + std::abs(pixel.green() - chunk.green()) +
                      std::abs(pixel.blue() - chunk.blue()) <
                  40;
    }
    return filled;
}

// A row's time left goes by its timed stretch of the bar alone: a quick part before it (the
// sound a size limit measures) and the end of the bar kept for retries do not weigh in.
TEST(RowTimeLeft, TheRestOfTheStretchTakesAsLongAsItsDonePartInProportion)
{
    EXPECT_EQ(RowSecondsLeft(10000, 25, 0, 100), 30) << "the whole bar";
    EXPECT_EQ(RowSecondsLeft(8000, 45, 5, 85), 8) << "40 of 80 percent done in 8 s";
    EXPECT_EQ(RowSecondsLeft(1001, 50, 0, 100), 2) << "rounded up: never 0 while it runs";
    // Not yet: too soon, or not far enough into the stretch for the figure not to jump.
    EXPECT_EQ(RowSecondsLeft(700, 50, 0, 100), std::nullopt);
    EXPECT_EQ(RowSecondsLeft(5000, 5, 5, 85), std::nullopt);
    // No estimate on an empty stretch, or once its end is reached.
    EXPECT_EQ(RowSecondsLeft(5000, 3, 0, 0), std::nullopt);
    EXPECT_EQ(RowSecondsLeft(5000, 85, 5, 85), std::nullopt);
    EXPECT_EQ(RowSecondsLeft(5000, 100, 0, 100), std::nullopt);
}

TEST_F(RowRunTest, TheProgressBarOnScreenFollowsEveryProgressStep)
{
    const int id = AddClip("bar.mp4");
    Post(UM_VIDEO_STARTED, id);
    auto* bar = Row(id)->findChild<QProgressBar*>("progress-slider");
    Post(UM_TASK_PROGRESS, id, 100);
    // The filled colour, from a bar drawn full.
    const QImage full = bar->grab().toImage();
    const QColor chunk = full.pixelColor(full.width() / 2, full.height() / 2);
    Post(UM_TASK_PROGRESS, id, 0);
    testenv::WaitUntil([] { return false; }, 100);

    // Small steps: each is a few pixels of a bar this short, which QProgressBar on its own
    // would not repaint for.
    for (int percent : {4, 8, 12, 50, 52, 100}) {
        Post(UM_TASK_PROGRESS, id, percent);
        const int expected = bar->width() * percent / 100;
        int filled = -1;
        EXPECT_TRUE(testenv::WaitUntil(
            [&] {
                filled = FilledPixels(OnScreen(window, bar), chunk);
                return std::abs(filled - expected) <= 3;
            },
            1000))
            << "at " << percent << "% the screen shows " << filled << " of " << bar->width()
            << " pixels filled, not about " << expected;
        EXPECT_EQ(Text(id, "progress-label"), QStringLiteral("%1%").arg(percent));
    }
}

// Every visible part of the status column inside the column, and no text cut short.
void ExpectFits(QWidget* row, const std::string& look)
{
    SCOPED_TRACE(look);
    QWidget* column = row->findChild<QWidget*>("statusColumn");
    ASSERT_NE(column, nullptr);
    EXPECT_EQ(column->width(), 190);
    const QRect inside = column->rect();
    for (QWidget* part : column->findChildren<QWidget*>()) {
        if (!part->isVisibleTo(row) || part->width() == 0) continue;
        const QRect at(part->mapTo(column, QPoint(0, 0)), part->size());
        EXPECT_TRUE(inside.contains(at))
            << part->objectName().toStdString() << " leaves the column";
        if (auto* label = qobject_cast<QLabel*>(part)) {
            const int needed = label->fontMetrics().horizontalAdvance(label->text());
            EXPECT_GE(label->contentsRect().width(), needed)
                << part->objectName().toStdString() << " cuts \"" << label->text().toStdString()
                << "\"";
        }
        if (auto* button = qobject_cast<QAbstractButton*>(part)) {
            EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text()))
                << button->objectName().toStdString();
        }
    }
}

TEST_F(RowRunTest, TheStatusColumnHoldsEveryLookWithoutCuttingText)
{
    const int video = AddClip(
        "a clip with a name far too long to be shown whole in its column of "
        "the list, however wide the window is made.mp4");
    Post(UM_VIDEO_STARTED, video);
    for (int percent : {0, 50, 100}) {
        Post(UM_TASK_PROGRESS, video, percent);
        QCoreApplication::processEvents();
        ExpectFits(Row(video), "video at " + std::to_string(percent) + "%");
        Shot(QStringLiteral("row-progress-%1").arg(percent));
        EXPECT_FALSE(Part(video, "progress-slider")->isHidden());
        EXPECT_GE(Part(video, "progress-slider")->width(), 30) << "the bar keeps a usable length";
    }
    // A long time left under the bar, then the widest results the column must take.
    SetRowText(Row(video), "time-left-label", "剩余 10:02:03");
    SetRowVisible(Row(video), "time-left-label", true);
    QCoreApplication::processEvents();
    ExpectFits(Row(video), "video with its time left");
    ShowStatusParts(Row(video), {.results = true});
    SetRowText(Row(video), "compressBtn", "压缩完成");
    SetRowText(Row(video), "s1Label", "1023.99M");
    SetRowText(Row(video), "y1Label", "-999.99%");
    QCoreApplication::processEvents();
    ExpectFits(Row(video), "video finished");

    auto* name = Row(video)->findChild<ElideLabel*>("fileNameLabel");
    ASSERT_NE(name, nullptr);
    EXPECT_TRUE(name->ShownText().endsWith(QStringLiteral("…")))
        << "a long name ends in an ellipsis";
    EXPECT_LE(name->fontMetrics().horizontalAdvance(name->ShownText()),
              name->contentsRect().width());
    EXPECT_TRUE(name->text().endsWith("window is made.mp4")) << "the label keeps the whole name";

    // The image page: its running row shows its state text whole.
    window->FindControl<QAbstractButton>("compress-image")->click();
    VideoTask image;
    image.fileName = "photo.jpg";
    image.filePath = media.path() + "/photo.jpg";
    ASSERT_TRUE(testenv::Convert({"-size", "32x32", "xc:red", image.filePath}));
    const int photo = window->AddImageRow(image);
    Post(UM_IMAGE_STARTED, photo);
    QWidget* row = window->FindControl<SkinList>("image-list")->FindRow(RowName(photo));
    QCoreApplication::processEvents();
    EXPECT_EQ(row->findChild<QLabel*>("progress-label")->text(), "正在压缩");
    ExpectFits(row, "image running");
    SetRowText(row, "progress-label", "等待中");
    ExpectFits(row, "image with a state text");
}

TEST_F(RowRunTest, StartAllSkipsFinishedRowsAndRequeuingClearsTheOldResults)
{
    const int done = AddClip("done.mp4");
    static_cast<QAbstractButton*>(Part(done, "compressBtn"))->click();
    ASSERT_TRUE(testenv::WaitUntil([&] { return Finished(done); }, 60000));
    const int fresh = AddClip("fresh.mp4");

    window->FindControl<QAbstractButton>("all-compress")->click();
    EXPECT_TRUE(Finished(done)) << "a finished row keeps its result";
    EXPECT_EQ(Text(fresh, "compressBtn"), "等待中");
    ASSERT_TRUE(testenv::WaitUntil([&] { return Finished(fresh); }, 60000));
    EXPECT_EQ(Outputs(), (QStringList{"done.mp4", "fresh.mp4"})) << "no second copy of done.mp4";
    EXPECT_EQ(window->videoEngine().FfmpegProcesses().size(), 2u);

    // The row menu's re-compress redoes a finished row: its old results go at once.
    window->videoEngine().SetPaused(true);
    Post(UM_VIDEO_RECOMPRESS, done);
    EXPECT_EQ(GetRowState(Row(done)), RowState::Waiting);
    EXPECT_EQ(Text(done, "compressBtn"), "等待中");
    EXPECT_FALSE(Shown(done, "result-box"));
    EXPECT_FALSE(Shown(done, "progress-container")) << "no bar on top of old results";
    EXPECT_TRUE(Text(done, "s1Label").isEmpty());
    EXPECT_TRUE(Text(done, "y1Label").isEmpty());
    Shot("row-requeued");
    // Queued twice before it ran: still one run.
    Post(UM_VIDEO_RECOMPRESS, done);
    EXPECT_EQ(window->videoEngine().IdleTasks(), std::vector<int>{done});
    window->videoEngine().SetPaused(false);
    ASSERT_TRUE(testenv::WaitUntil([&] { return Finished(done); }, 60000));
    EXPECT_TRUE(Shown(done, "result-box"));
    EXPECT_FALSE(Shown(done, "progress-container"));
    EXPECT_EQ(Outputs(), (QStringList{"done(2).mp4", "done.mp4", "fresh.mp4"}));
}

TEST_F(RowRunTest, AWaitingRowShowsItAndCancelsFromItsButtonOrTheMenu)
{
    window->videoEngine().SetPaused(true);
    const int first = AddClip("first.mp4");
    const int second = AddClip("second.mp4");
    const int third = AddClip("third.mp4");
    EXPECT_EQ(Text(first, "compressBtn"), "压缩") << "idle";
    window->FindControl<QAbstractButton>("all-compress")->click();
    for (int id : {first, second, third}) {
        EXPECT_EQ(Text(id, "compressBtn"), "等待中");
        EXPECT_TRUE(skin::IsMouseEnabled(Part(id, "compressBtn"))) << "a click cancels it";
    }
    Shot("row-waiting");

    // The menu of a waiting row offers its cancel instead of a re-compress.
    QWidget* menu = OpenMenu(second);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(Offered(menu), QStringList{"cancel-compress"});
    static_cast<QAbstractButton*>(menu->findChild<QWidget*>("cancel-compress"))->click();
    ASSERT_TRUE(testenv::WaitUntil([&] { return Idle(second); }));
    EXPECT_EQ(Text(second, "compressBtn"), "压缩");

    static_cast<QAbstractButton*>(Part(third, "compressBtn"))->click();
    EXPECT_TRUE(Idle(third));
    EXPECT_EQ(window->videoEngine().IdleTasks(), std::vector<int>{first});
    EXPECT_EQ(window->FindControl<QLabel>("video-batch-label")->text(), "已完成 0/1");
    Shot("row-cancelled");

    // A cancelled row is idle again: its menu offers neither a cancel nor a re-compress (its
    // own button starts it).
    menu = OpenMenu(third);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(Offered(menu), QStringList{});

    window->videoEngine().SetPaused(false);
    ASSERT_TRUE(testenv::WaitUntil([&] { return Finished(first); }, 60000));
    EXPECT_EQ(Outputs(), QStringList{"first.mp4"});
}

TEST_F(RowRunTest, CancellingTheRunningRowStopsItsEncoderAndTheNextRowRuns)
{
    const int running = AddClip("long.mp4", 30.0, "640x480");
    const int next = AddClip("next.mp4");
    window->FindControl<QAbstractButton>("all-compress")->click();
    ASSERT_TRUE(testenv::WaitUntil(
        [&] { return EncoderRuns() && Text(running, "compressBtn") == "压缩中"; }, 20000));
    const auto encoder = static_cast<pid_t>(window->videoEngine().FfmpegProcesses().front());
    // The encoder writes under a hidden name until the output is complete.
    const auto partialSize = [&] {
        qint64 size = 0;
        for (const QFileInfo& file :
             QDir(output.path()).entryInfoList({".long*"}, QDir::Files | QDir::Hidden))
            size += file.size();
        return size;
    };
    ASSERT_TRUE(testenv::WaitUntil([&] { return partialSize() > 0; }, 20000))
        << "a partial output to remove";

    static_cast<QAbstractButton*>(Part(running, "compressBtn"))->click();
    ASSERT_TRUE(testenv::WaitUntil([&] { return Idle(running); }, 10000));
    EXPECT_NE(::kill(encoder, 0), 0) << "the encoder is gone";
    EXPECT_EQ(Text(running, "compressBtn"), "压缩");
    EXPECT_FALSE(Shown(running, "progress-container"));
    EXPECT_FALSE(Shown(running, "errorLabel")) << "a cancel is no failure";
    ASSERT_TRUE(testenv::WaitUntil([&] { return Finished(next); }, 60000));
    EXPECT_EQ(Outputs(), QStringList{"next.mp4"}) << "the partial output was removed";
    EXPECT_FALSE(window->videoEngine().HasBusyTasks());
}

TEST_F(RowRunTest, CancelAllEmptiesTheQueueAndTheRunningRowShowsItsTimeLeftMeanwhile)
{
    const int running =
        AddClip("long.mp4", 120.0, "640x480");  // seconds of encoding on any machine
    const int waiting = AddClip("waiting.mp4");
    auto* cancelAll = window->FindControl<QAbstractButton>("all-cancel");
    auto* batch = window->FindControl<QLabel>("video-batch-label");
    EXPECT_TRUE(cancelAll->isHidden()) << "nothing to cancel yet";
    window->FindControl<QAbstractButton>("all-compress")->click();
    EXPECT_FALSE(cancelAll->isHidden());
    EXPECT_FALSE(batch->isHidden());
    EXPECT_EQ(batch->text(), "已完成 0/2");

    const QRegularExpression timeLeft("^剩余 \\d+:\\d\\d$");
    ASSERT_TRUE(testenv::WaitUntil(
        [&] {
            return Shown(running, "time-left-label") &&
                   Text(running, "time-left-label").contains(timeLeft);
        },
        30000))
        << "time left \"" << Text(running, "time-left-label").toStdString() << "\", progress "
        << Text(running, "progress-label").toStdString() << ", button "
        << Text(running, "compressBtn").toStdString();
    EXPECT_TRUE(batch->text().contains(QRegularExpression("^已完成 0/2 · 剩余约 \\d+:\\d\\d$")))
        << batch->text().toStdString();
    Shot("batch-progress");

    cancelAll->click();
    ASSERT_TRUE(testenv::WaitUntil([&] { return Idle(running) && Idle(waiting); }, 10000));
    EXPECT_FALSE(Shown(running, "time-left-label"));
    EXPECT_TRUE(cancelAll->isHidden());
    EXPECT_TRUE(batch->isHidden());
    EXPECT_FALSE(window->videoEngine().HasBusyTasks());
    EXPECT_TRUE(window->videoEngine().IdleTasks().empty());
    EXPECT_EQ(Outputs(), QStringList());
}

TEST_F(RowRunTest, ABatchCancelledAfterAFinishedRowLeavesNoCountForTheNext)
{
    const int quick = AddClip("quick.mp4");
    const int slow = AddClip("slow.mp4", 60.0, "640x480");
    window->FindControl<QAbstractButton>("all-compress")->click();
    ASSERT_TRUE(testenv::WaitUntil([&] { return Finished(quick) && EncoderRuns(); }, 60000));
    EXPECT_EQ(window->batchNotifier().done(), 1);
    window->FindControl<QAbstractButton>("all-cancel")->click();
    ASSERT_TRUE(testenv::WaitUntil([&] { return Idle(slow); }, 10000));
    EXPECT_EQ(window->batchNotifier().done(), 0) << "the next batch's summary counts itself only";
}

}  // namespace

namespace {

// "codec_name,sample_rate,channels" of each stream of a file, as ffprobe reads them.
QStringList Streams(const QString& path)
{
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-show_entries",
                            "stream=codec_name,sample_rate,channels", "-of", "csv=p=0", path});
    probe.waitForFinished(20000);
    return QString::fromUtf8(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

// The value after option in an argument list, empty when it is not there.
QString ValueOf(const QStringList& arguments, const char* option)
{
    const qsizetype at = arguments.indexOf(QLatin1String(option));
    return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1] : QString();
}

// A row's own record as the dialog saves it; the audio lists' rows default to mono, 32000 Hz
// and 64 kbit/s.
CompressParams OwnParams(int id, int container, int codec, int channelRow = 1,
                         int sampleRateRow = 5, int bitrateRow = 3)
{
    CompressParams params = ParamDialog::DefaultParams(id);
    params.videoType = container;
    params.videoCodec = codec;
    params.channelIndex = channelRow;
    params.channel = choices::kAudioChannels[channelRow];
    params.sampleRateIndex = sampleRateRow;
    params.sampleRate = choices::kSampleRates[sampleRateRow];
    params.bitrateIndex = bitrateRow;
    params.bitrate = choices::kAudioBitrates[bitrateRow];
    return params;
}

TEST_F(RowRunTest, ARowsOwnCodecAndAudioReachItsCommandLineOrTheDialogSaysWhyNot)
{
    const int converted = AddClip("converted.mp4");
    const int kept = AddClip("kept.mp4");
    skin::PostMessage(window.data(), skin::MakeMessage(UM_VIDEO_PARAM_SAVE,
                                                       OwnParams(converted, 1, videocodec::kH265)));
    skin::PostMessage(window.data(), skin::MakeMessage(UM_VIDEO_PARAM_SAVE,
                                                       OwnParams(kept, 0, videocodec::kH265)));
    QCoreApplication::processEvents();
    EXPECT_TRUE(Shown(converted, "paramFlag"));

    // The dialog of the row that keeps its container greys the codec and the audio and says why.
    bool checked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = static_cast<ParamDialog*>(testenv::FindShownWindow("参数设置"));
        if (!dialog || checked) return;
        EXPECT_FALSE(dialog->FindControl("video-codec")->isEnabled());
        EXPECT_FALSE(dialog->FindControl("audio-sample-rate")->isEnabled());
        auto* note = dialog->FindControl<QLabel>("param-not-applied");
        EXPECT_FALSE(note->isHidden());
        EXPECT_TRUE(note->text().contains("沿用原文件")) << note->text().toStdString();
        EXPECT_EQ(dialog->FindControl<QComboBox>("video-codec")->currentIndex(), 1)
            << "the saved choice stays as saved";
        // MP4 takes the codec and the audio values.
        dialog->FindControl<QAbstractButton>("radio_mp4")->click();
        EXPECT_TRUE(dialog->FindControl("video-codec")->isEnabled());
        EXPECT_TRUE(dialog->FindControl("audio-sample-rate")->isEnabled());
        EXPECT_TRUE(note->isHidden());
        checked = true;
        dialog->Close(0);
    });
    poll.start(20);
    Post(UM_VIDEO_PARAM, kept);
    poll.stop();
    EXPECT_TRUE(checked);

    window->FindControl<QAbstractButton>("all-compress")->click();
    ASSERT_TRUE(testenv::WaitUntil([&] { return Finished(converted) && Finished(kept); }, 90000));

    const QStringList command = window->EncoderCommand(converted);
    EXPECT_EQ(ValueOf(command, "-vcodec"), "libx265") << command.join(' ').toStdString();
    EXPECT_EQ(ValueOf(command, "-ab"), "64000");
    EXPECT_EQ(ValueOf(command, "-ar"), "32000");
    EXPECT_EQ(ValueOf(command, "-ac"), "1");
    EXPECT_EQ(Streams(*window->videoEngine().OutputPath(converted)),
              (QStringList{"hevc", "aac,32000,1"}));

    // The kept container re-encodes with the source's own codecs and audio, as the dialog said.
    const QStringList keptCommand = window->EncoderCommand(kept);
    EXPECT_EQ(ValueOf(keptCommand, "-vcodec"), "mpeg4") << keptCommand.join(' ').toStdString();
    EXPECT_EQ(ValueOf(keptCommand, "-ar"), "44100");
    EXPECT_EQ(Streams(*window->videoEngine().OutputPath(kept)).value(0), "mpeg4");
}

TEST_F(RowRunTest, ChoicesThatCannotApplyAreNamedOnTheRow)
{
    window->videoEngine().SetPaused(true);
    window->FindControl<QAbstractButton>("radio-mp4")->click();
    window->FindControl<QAbstractButton>("video-codec-h265")->click();
    window->FindControl<QAbstractButton>("video-quality-check")->click();
    window->FindControl<QAbstractButton>("video-two-pass-check")->click();
    const int mp4 = AddClip("a.mp4");
    const int flv = AddClip("b.mp4");
    skin::PostMessage(window.data(),
                      skin::MakeMessage(UM_VIDEO_PARAM_SAVE, OwnParams(flv, 2, videocodec::kH265)));
    QCoreApplication::processEvents();
    window->FindControl<QAbstractButton>("all-compress")->click();

    const QString mp4Note = Part(mp4, "statusColumn")->toolTip();
    EXPECT_TRUE(mp4Note.contains("质量模式下不做两遍编码")) << mp4Note.toStdString();
    EXPECT_FALSE(mp4Note.contains("H.264")) << "H.265 applies to MP4";
    const QString flvNote = Part(flv, "statusColumn")->toolTip();
    EXPECT_TRUE(flvNote.contains("FLV 格式只用 H.264 编码")) << flvNote.toStdString();
    window->FindControl<QAbstractButton>("all-cancel")->click();
}

TEST_F(RowRunTest, AKeptSourceFinishesItsRowAndStartAllThenSaysEveryRowIsDone)
{
    ASSERT_TRUE(WriteSetting(settings::kKeepSmaller, 1));
    // A thin source that a rich audio track makes larger.
    VideoTask task;
    task.fileName = "thin.mp4";
    task.fileDir = media.path() + "/";
    task.filePath = media.path() + "/thin.mp4";
    ASSERT_TRUE(
        testenv::MakeVideo(task.filePath, 1.0, "64x48", true,
                           {"-c:v", "libx264", "-b:v", "20k", "-c:a", "aac", "-b:a", "16k"}));
    ASSERT_TRUE(ProbeVideo(task.filePath, task));
    const int id = window->AddVideoRow(task);
    // Stereo, 48000 Hz, 320 kbit/s.
    skin::PostMessage(
        window.data(),
        skin::MakeMessage(UM_VIDEO_PARAM_SAVE, OwnParams(id, 1, videocodec::kH264, 0, 3, 0)));
    QCoreApplication::processEvents();
    static_cast<QAbstractButton*>(Part(id, "compressBtn"))->click();
    ASSERT_TRUE(testenv::WaitUntil([&] { return GetRowState(Row(id)) == RowState::Kept; }, 60000));
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->videoEngine().HasBusyTasks());
    EXPECT_EQ(Text(id, "compressBtn"), "压缩完成");
    EXPECT_FALSE(skin::IsMouseEnabled(Part(id, "compressBtn")));
    EXPECT_TRUE(Shown(id, "result-box"));
    EXPECT_EQ(Text(id, "s1Label"), FormatSize(QFileInfo(task.filePath).size()));
    EXPECT_EQ(Text(id, "y1Label"), "已保留原文件");
    EXPECT_EQ(Outputs(), QStringList());
    // Hovering and leaving the button does not bring back a running look.
    QEvent enter(QEvent::Enter), leave(QEvent::Leave);
    QCoreApplication::sendEvent(Part(id, "compressBtn"), &enter);
    QCoreApplication::sendEvent(Part(id, "compressBtn"), &leave);
    EXPECT_EQ(Text(id, "compressBtn"), "压缩完成");
    Shot("row-kept");

    // Its menu offers a re-compress and the source's folder, no cancel.
    QWidget* menu = OpenMenu(id);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(Offered(menu), QStringList{"repeat-compress"});
    EXPECT_EQ(menu->findChild<QAbstractButton*>("open-dir")->text(), "打开原文件目录");
    static_cast<WindowImplBase*>(menu)->Close(0);

    // Every ticked row is done: start-all says so and how to redo one.
    QString notice;
    testenv::ClickWhenShown("PromptBoxDialog", "msgConfirm", &notice);
    window->FindControl<QAbstractButton>("all-compress")->click();
    EXPECT_TRUE(notice.contains("都已压缩完成")) << notice.toStdString();
    EXPECT_TRUE(notice.contains("重新压缩"));
    EXPECT_EQ(GetRowState(Row(id)), RowState::Kept) << "nothing queued";
}

}  // namespace
