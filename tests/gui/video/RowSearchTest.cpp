// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QToolTip>

#include "core/app/FailureText.h"
#include "core/app/Settings.h"
#include "core/app/UserAccount.h"
#include "core/image/ImageParams.h"
#include "core/intake/MediaProbe.h"
#include "core/video/VideoEngine.h"
#include "gui/app/BatchNotifier.h"
#include "gui/app/MainWnd.h"
#include "gui/intake/RowBuilder.h"
#include "gui/intake/RowResults.h"
#include "gui/skinlib/SkinList.h"
#include "gui/ui/WindowMessages.h"
#include "gui/video/ChoiceReach.h"
#include "gui/video/ParamDialog.h"
#include "support/GuiTestEnv.h"

// What a row says about the searches: the figures a finished row reached, the engine's notes,
// a source replaced in place and the space that came back, a row's own size limit through the
// real encoder, and where the look search cannot apply.
namespace {

TEST(RowResultText, TheRecordsFiguresInOneLine)
{
    VideoDoneRecord video;
    EXPECT_EQ(VideoSearchText(video), "") << "no search, no line";
    video.ssim = 0.95349;
    video.searchedCrf = 27;
    EXPECT_EQ(VideoSearchText(video), "SSIM 0.953 · CRF 27");
    video.searchedCrf = 20.75;  // x264's quarter steps
    EXPECT_EQ(VideoSearchText(video), "SSIM 0.953 · CRF 20.75");
    video.searchedCrf = 27;
    VideoDoneRecord fitted;
    fitted.fittedBitRate = 1234567;
    fitted.sizeTries = 1;
    EXPECT_EQ(VideoSearchText(fitted), "视频码率 1235 kbps");
    fitted.sizeTries = 3;
    EXPECT_EQ(VideoSearchText(fitted), "视频码率 1235 kbps · 压缩 3 次");

    ImageDoneRecord image;
    image.ssim = 0.99;  // no quality searched: the figures mean nothing
    EXPECT_EQ(ImageSearchText(image), "");
    image.searchedQuality = 82;
    EXPECT_EQ(ImageSearchText(image), "SSIM 0.990 · 质量 82");
    image.ssim = 0;  // a size fit measures no SSIM
    image.scalePercent = 80;
    EXPECT_EQ(ImageSearchText(image), "质量 82 · 缩放 80%");

    EXPECT_EQ(ReplacedText(1258291), "已替换原文件,腾出 1.20M(原文件已移到回收站)");
    EXPECT_EQ(FinishedTip("SSIM 0.953 · CRF 27", true, 2048, {"a note"}),
              "SSIM 0.953 · CRF 27\n已替换原文件,腾出 2KB(原文件已移到回收站)\na note");
    EXPECT_EQ(FinishedTip("", false, 2048, {}), "");
    EXPECT_EQ(FinishedTip("SSIM 0.953 · CRF 27", false, 0, {"SSIM 0.953 · CRF 27", "x"}),
              "SSIM 0.953 · CRF 27\nx")
        << "a note that repeats the figures is left out";
}

TEST(RowResultText, TheEnginesNotesInTheWindowsWords)
{
    EXPECT_EQ(ReadableNote("SSIM 0.922 at CRF 38"), "SSIM 0.922 · CRF 38");
    EXPECT_EQ(ReadableNote("SSIM 0.922 at CRF 20.75"), "SSIM 0.922 · CRF 20.75");
    EXPECT_EQ(ReadableNote("SSIM 0.893 at CRF 10.5, the nearest the search found to the "
                           "strength's 0.905"),
              "SSIM 0.893 · CRF 10.5,最接近压缩强度的 0.905");
    EXPECT_EQ(ReadableNote("the picture is made 320x180: at 90 kbit/s the full size would smear"),
              "画面缩小为 320x180:90 kbps 下原尺寸会模糊");
    EXPECT_EQ(ReadableNote("the file dates were not kept: Permission denied"),
              "未能保留文件日期:Permission denied");
    EXPECT_EQ(ReadableNote("H.265 applies to MP4 and MKV files written to a new container; this "
                           "file is written with H.264"),
              "H.265 只用于转换为 MP4 或 MKV 的视频,此文件以 H.264 编码");
    EXPECT_EQ(ReadableNote("two-pass does not apply to the mpeg4 encoder: one pass"),
              "mpeg4 编码器不做两遍编码,只编码一遍");
    EXPECT_EQ(ReadableNote("something new"), "something new") << "an unknown note as it is";
}

TEST(RowResultText, TheAllDoneNoticeSumsTheSpaceThatCameBack)
{
    std::vector<QString> shown;
    BatchNotifier notifier({[] { return true; }, [] { return false; },
                            [&](const QString& text) { shown.push_back(text); }});
    EXPECT_EQ(BatchNotifier::Text(2, 0, 3 << 20), "压缩完成：成功 2 个，失败 0 个，节省 3.0 MB");
    EXPECT_EQ(BatchNotifier::Text(2, 0, 3 << 20, 1 << 20),
              "压缩完成：成功 2 个，失败 0 个，节省 3.0 MB，替换原文件腾出 1.0 MB");

    auto idle = false;
    BatchNotifier batch({[&] { return idle; }, [] { return false; },
                         [&](const QString& text) { shown.push_back(text); }});
    batch.TaskDone(3 << 20, 1 << 20, 2 << 20);  // replaced in place
    batch.TaskDone(2 << 20, 1 << 20);           // written elsewhere: the source stays
    EXPECT_EQ(batch.freedBytes(), 2 << 20);
    idle = true;
    batch.TaskFailed();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "压缩完成：成功 2 个，失败 1 个，节省 3.0 MB，替换原文件腾出 2.0 MB");
    EXPECT_EQ(batch.freedBytes(), 0) << "the next batch counts from nothing";
}

TEST(LookReach, TheLookIsNamedOnARowWhereItCannotSearch)
{
    VideoTask source;
    source.fileName = "a.mp4";
    source.filePath = "/videos/a.mp4";
    source.videoCodec = "h264";
    MainPageSnapshot quality;
    quality.qualityMode = true;
    CompressSettings mkv;
    mkv.videoType = 4;
    const SearchChoice look{true, 0};

    EXPECT_TRUE(ReachOf(source, mkv, quality, look).look);
    EXPECT_TRUE(ReachOf(source, mkv, quality, look).notes.isEmpty());

    const ChoiceReach kept = ReachOf(source, CompressSettings{}, quality, look);
    EXPECT_FALSE(kept.look);
    EXPECT_TRUE(kept.notes.join('|').contains("保留原格式时不做“同样观感,最小文件”的搜索"))
        << kept.notes.join('|').toStdString();
    const ChoiceReach bitRate = ReachOf(source, mkv, MainPageSnapshot{}, look);
    EXPECT_TRUE(bitRate.notes.join('|').contains("勾选“画质优先”后")) << "no CRF without it";
    const ChoiceReach sized = ReachOf(source, mkv, quality, {true, 1 << 20});
    EXPECT_TRUE(sized.notes.join('|').contains("大小上限")) << "the size rules";
    // Not chosen, not named.
    EXPECT_TRUE(ReachOf(source, mkv, MainPageSnapshot{}, {}).notes.isEmpty());

    // Keeping every track plans nothing here: the source is never read for it.
    MainPageSnapshot tracks = quality;
    tracks.keepTracks = true;
    EXPECT_TRUE(ReachOf(source, mkv, tracks, look).look);
}

class RowSearchTest : public ::testing::Test {
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
    QWidget* Part(int id, const char* name) const
    {
        return list->FindRow(RowName(id))->findChild<QWidget*>(name);
    }
    QString Tip(int id) const { return Part(id, "statusColumn")->toolTip(); }
    QString ButtonText(int id) const
    {
        return static_cast<QAbstractButton*>(Part(id, "compressBtn"))->text();
    }
    bool Ended(int id) const
    {
        const RowState state = GetRowState(list->FindRow(RowName(id)));
        return state == RowState::Finished || state == RowState::Failed;
    }
    // A picture of the window with the row's status tooltip shown, as the mouse shows it.
    void Shot(const QString& name, int id, const char* part = "statusColumn") const
    {
        if (qEnvironmentVariableIsEmpty("LUMO_SCREENSHOT_DIR")) return;
        window->move(90, 60);
        QCoreApplication::processEvents();
        QWidget* column = Part(id, part);
        QToolTip::showText(column->mapToGlobal(QPoint(40, column->height() - 4)), column->toolTip(),
                           column);
        testenv::SaveScreenshot(name, 600);
    }

    QTemporaryDir media;
    QTemporaryDir output;
    QPointer<CMainWnd> window;
    SkinList* list = nullptr;
};

TEST_F(RowSearchTest, AFinishedRowGivesTheFiguresAndTheEngineNotesAndAReplacedSourceSaysSo)
{
    const int id = AddClip("a.mp4");
    window->videoEngine().SetPaused(true);
    static_cast<QAbstractButton*>(Part(id, "compressBtn"))->click();
    skin::PostMessage(window.data(), UM_VIDEO_STARTED, id);
    skin::PostMessage(window.data(),
                      skin::MakeMessage(UM_VIDEO_NOTES,
                                        QStringList{"two-pass does not apply to quality mode: "
                                                    "one constant-quality pass"},
                                        id));
    QCoreApplication::processEvents();
    EXPECT_TRUE(Tip(id).contains("质量模式下不做两遍编码")) << "shown while it runs";

    // The output took the source's name; the original went to the trash.
    const QString source = media.path() + "/a.mp4";
    QFile::resize(source, 4000);
    VideoDoneRecord record;
    record.taskId = id;
    record.sourcePath = source;
    record.outputPath = source;
    record.sourceSize = 10000;
    record.outputSize = 4000;
    record.searchedCrf = 31;
    record.ssim = 0.9612;
    record.replacedSource = true;
    record.freedBytes = 6000;
    skin::PostMessage(window.data(), skin::MakeMessage(UM_VIDEO_DONE, record, id));
    QCoreApplication::processEvents();

    EXPECT_EQ(ButtonText(id), "已替换");
    const QString tip = Tip(id);
    EXPECT_TRUE(tip.startsWith("SSIM 0.961 · CRF 31\n")) << tip.toStdString();
    EXPECT_TRUE(tip.contains("已替换原文件,腾出 5KB")) << tip.toStdString();
    EXPECT_TRUE(tip.contains("质量模式下不做两遍编码")) << "the notes stay on the finished row";
    EXPECT_TRUE(Part(id, "compressBtn")->toolTip().contains(source));
    EXPECT_EQ(window->batchNotifier().freedBytes(), 6000) << "counted towards the batch";
    Shot("row-replaced", id);
}

TEST_F(RowSearchTest, ARowsOwnSizeLimitReachesTheEncoderAndRowsWithoutOneAreNotLimited)
{
    const int limited = AddClip("limited.mp4", 2.0, "160x120");
    const int free = AddClip("free.mp4", 2.0, "160x120");
    // Room for the sound (2 s at 128 kbit/s) and about as much again for the picture.
    constexpr qint64 kLimit = 64 * 1024;
    CompressParams own = ParamDialog::DefaultParams(limited);
    own.videoType = 1;
    skin::Message save = skin::MakeMessage(UM_VIDEO_PARAM_SAVE, own);
    save.lParam = kLimit;
    skin::PostMessage(window.data(), std::move(save));
    QCoreApplication::processEvents();
    EXPECT_EQ(window->videoEngine().FindMaxBytes(limited), kLimit);
    EXPECT_EQ(window->videoEngine().FindMaxBytes(free), std::nullopt);

    window->FindControl<QAbstractButton>("all-compress")->click();
    ASSERT_TRUE(testenv::WaitUntil([&] { return Ended(limited) && Ended(free); }, 120000));
    QCoreApplication::processEvents();
    ASSERT_EQ(GetRowState(list->FindRow(RowName(limited))), RowState::Finished)
        << Tip(limited).toStdString();
    const QString written = *window->videoEngine().OutputPath(limited);
    EXPECT_LE(QFileInfo(written).size(), kLimit);
    EXPECT_TRUE(Tip(limited).contains("视频码率")) << Tip(limited).toStdString();
    EXPECT_FALSE(Tip(free).contains("视频码率")) << Tip(free).toStdString();
    Shot("row-size-fitted", limited);
}

// While a fitted row's sound is measured, before any picture is encoded, its bar already moves
// over its first few percent.
TEST_F(RowSearchTest, AFittedRowsBarMovesWhileItsSoundIsMeasured)
{
    // Three minutes of sound under a stamp of a picture: seconds of sound to measure, each
    // percent of the bar shown for a good part of a second.
    const int id = AddClip("minutes.mp4", 180.0, "64x48");
    CompressParams own = ParamDialog::DefaultParams(id);
    own.videoType = 1;
    skin::Message save = skin::MakeMessage(UM_VIDEO_PARAM_SAVE, own);
    save.lParam = 4 * 1024 * 1024;
    skin::PostMessage(window.data(), std::move(save));
    QCoreApplication::processEvents();
    static_cast<QAbstractButton*>(Part(id, "compressBtn"))->click();
    auto* bar = list->FindRow(RowName(id))->findChild<QProgressBar*>("progress-slider");
    ASSERT_TRUE(bar);
    // The encode starts at 5 %: below it, the bar is the sound's. Well into the sound's part the
    // row gives no time left, as the sound's pace says nothing of the picture's.
    ASSERT_TRUE(testenv::WaitUntil([&] { return bar->value() >= 3 && bar->value() < 5; }, 60000))
        << "the bar went to " << bar->value();
    EXPECT_TRUE(window->videoEngine().FfmpegProcesses().empty()) << "no encoder has started";
    QWidget* timeLeft = list->FindRow(RowName(id))->findChild<QWidget*>("time-left-label");
    EXPECT_TRUE(timeLeft->isHidden());
    Shot("row-size-sound", id, "progress-slider");
    // Once the picture is encoded, the time left is the encode's.
    ASSERT_TRUE(
        testenv::WaitUntil([&] { return bar->value() >= 10 && !timeLeft->isHidden(); }, 120000))
        << "the bar went to " << bar->value();
    Shot("row-size-encoding", id, "progress-slider");
}

// A limit that cannot even hold the sound fails the row before anything is encoded, and the
// row says why in the user's words, with the sizes.
TEST_F(RowSearchTest, ALimitTooSmallForTheSoundFailsTheRowWithTheSizes)
{
    const int id = AddClip("tight.mp4", 2.0, "160x120");
    CompressParams own = ParamDialog::DefaultParams(id);
    own.videoType = 1;
    skin::Message save = skin::MakeMessage(UM_VIDEO_PARAM_SAVE, own);
    save.lParam = 8 * 1024;  // 2 s of sound take about 30 KB
    skin::PostMessage(window.data(), std::move(save));
    QCoreApplication::processEvents();
    static_cast<QAbstractButton*>(Part(id, "compressBtn"))->click();
    ASSERT_TRUE(testenv::WaitUntil([&] { return Ended(id); }, 120000));
    QCoreApplication::processEvents();
    ASSERT_EQ(GetRowState(list->FindRow(RowName(id))), RowState::Failed);
    const QString reason = Part(id, "errorLabel")->toolTip();
    EXPECT_TRUE(reason.startsWith(FailureSentence(FailureCause::OverSizeLimit) + u'\n'))
        << reason.toStdString();
    EXPECT_TRUE(reason.contains("sound") && reason.contains("kB")) << reason.toStdString();
    EXPECT_EQ(QDir(output.path()).entryList(QDir::Files | QDir::Hidden), QStringList())
        << "nothing written";
    Shot("row-size-too-small", id, "errorLabel");
}

TEST_F(RowSearchTest, TheLookSearchsFiguresShowOnTheFinishedRow)
{
    window->FindControl<QAbstractButton>("video-quality-check")->click();
    window->FindControl<QAbstractButton>("radio-mp4")->click();
    window->FindControl<QAbstractButton>("video-look-check")->click();
    ASSERT_EQ(ReadSetting(settings::kLook), 1);
    const int id = AddClip("look.mp4", 2.0, "160x120");
    static_cast<QAbstractButton*>(Part(id, "compressBtn"))->click();
    ASSERT_TRUE(testenv::WaitUntil([&] { return Ended(id); }, 120000));
    QCoreApplication::processEvents();
    ASSERT_EQ(GetRowState(list->FindRow(RowName(id))), RowState::Finished) << Tip(id).toStdString();
    // x264's CRF in quarter steps: "CRF 27", "CRF 27.25", "CRF 27.5" or "CRF 27.75".
    EXPECT_TRUE(
        Tip(id).contains(QRegularExpression("^SSIM 0\\.\\d{3} · CRF \\d+(\\.(25|5|75))?(\n|$)")))
        << Tip(id).toStdString();
    EXPECT_FALSE(Tip(id).contains(" at CRF ")) << "the engine's figures in the window's words";
    Shot("row-look-tooltip", id);
}

TEST_F(RowSearchTest, TheSettingsChoicesReachTheVideoEngine)
{
    // What the settings dialog and the page store: every track, the file dates, a size limit.
    ASSERT_TRUE(WriteSetting(settings::kKeepTracks, 1));
    ASSERT_TRUE(WriteSetting(settings::kKeepDates, 1));
    ASSERT_TRUE(WriteSetting(settings::kMaxSize, 64 * 1024));
    window->FindControl<QAbstractButton>("radio-mkv")->click();
    const int id = AddClip("dated.mp4", 2.0, "160x120");
    const QString source = media.path() + "/dated.mp4";
    const QDateTime past = QDateTime::fromSecsSinceEpoch(1000000000);
    {
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(past, QFileDevice::FileModificationTime));
    }
    static_cast<QAbstractButton*>(Part(id, "compressBtn"))->click();
    ASSERT_TRUE(testenv::WaitUntil([&] { return Ended(id); }, 120000));
    QCoreApplication::processEvents();
    ASSERT_EQ(GetRowState(list->FindRow(RowName(id))), RowState::Finished) << Tip(id).toStdString();

    const QString command = window->EncoderCommand(id).join(' ');
    EXPECT_TRUE(command.contains("-map_metadata 0")) << command.toStdString();
    const QFileInfo written(*window->videoEngine().OutputPath(id));
    EXPECT_LE(written.size(), 64 * 1024);
    EXPECT_EQ(written.lastModified(), past);
    EXPECT_TRUE(Tip(id).contains("视频码率")) << Tip(id).toStdString();
}

}  // namespace
