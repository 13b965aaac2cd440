// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line program's own parts, in process: widths on a terminal, rates, JSON records
// and the reading of options.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "CliOptions.h"
#include "ConsoleText.h"
#include "ConsoleView.h"
#include "core/app/FailureText.h"
#include "core/app/TextUtil.h"
#include "support/TestEnv.h"

namespace {

TEST(ConsoleTextTest, WidthsCountWideCharactersTwiceAndMarksNever)
{
    EXPECT_EQ(console::DisplayWidth("clip.mp4"), 8);
    EXPECT_EQ(console::DisplayWidth(QStringLiteral("视频.mp4")), 8);
    EXPECT_EQ(console::DisplayWidth(QStringLiteral("e\u0301")), 1);
    EXPECT_EQ(console::DisplayWidth(QStringLiteral("ｆｕｌｌ")), 8);
    EXPECT_EQ(console::Pad(QStringLiteral("视频"), 6), QStringLiteral("视频  "));
    EXPECT_EQ(console::Pad("7KB", 6, true), "   7KB");
}

TEST(ConsoleTextTest, ElidedNamesFitAndKeepTheirEnd)
{
    EXPECT_EQ(console::Elide("short.mp4", 9), "short.mp4");
    const QString wide = QStringLiteral("很长很长很长的视频文件名字.mp4");
    for (int width : {5, 10, 11, 17}) {
        const QString cut = console::Elide(wide, width);
        EXPECT_LE(console::DisplayWidth(cut), width) << width;
        EXPECT_TRUE(cut.contains(QChar(0x2026)));
    }
    EXPECT_TRUE(console::Elide(wide, 17).endsWith(".mp4"));
    EXPECT_EQ(console::Elide("anything", 0), "");
}

TEST(ConsoleTextTest, SizesAreInIecUnits)
{
    EXPECT_EQ(console::IecSize(0), "0 B");
    EXPECT_EQ(console::IecSize(1023), "1023 B");
    EXPECT_EQ(console::IecSize(1024), "1.0 KiB");
    EXPECT_EQ(console::IecSize(137 * 1024 + 300), "137 KiB");
    EXPECT_EQ(console::IecSize(1782579), "1.7 MiB");
    // Just under a unit reads as the next one, never as "1024 KiB".
    EXPECT_EQ(console::IecSize(1024 * 1024 - 10), "1.0 MiB");
    EXPECT_EQ(console::IecSize(5LL * 1024 * 1024 * 1024 / 2), "2.5 GiB");
}

TEST(ConsoleTextTest, Clocks)
{
    EXPECT_EQ(FormatClock(7), "0:07");
    EXPECT_EQ(FormatClock(754), "12:34");
    EXPECT_EQ(FormatClock(3723), "1:02:03");
    EXPECT_EQ(FormatClock(-1), "--:--");
}

BatchItem Video(double seconds, int percent, qint64 startedMs, qint64 progressMs)
{
    BatchItem item;
    item.durationSeconds = seconds;
    item.percent = percent;
    item.startedMs = startedMs;
    item.progressMs = progressMs;
    item.state = BatchItem::State::Running;
    return item;
}

TEST(ConsoleViewTest, SpeedAndTimeLeftComeFromProgressOverWallTime)
{
    // Half of a 20 s video in 2 s: 5x, and 2 s to go, counting down until the next report.
    const BatchItem item = Video(20, 50, 1000, 3000);
    auto rate = ConsoleView::EstimateRate(item, 3000);
    ASSERT_TRUE(rate);
    EXPECT_DOUBLE_EQ(rate->speed, 5.0);
    EXPECT_EQ(rate->secondsLeft, 2);
    EXPECT_EQ(ConsoleView::EstimateRate(item, 4500)->secondsLeft, 1);
    EXPECT_EQ(ConsoleView::EstimateRate(item, 9000)->secondsLeft, 0);

    EXPECT_FALSE(ConsoleView::EstimateRate(Video(20, 0, 1000, 1000), 3000));
    EXPECT_FALSE(ConsoleView::EstimateRate(Video(0, 50, 1000, 3000), 3000));
}

TEST(ConsoleViewTest, ProgressLinesNeverExceedTheWidth)
{
    BatchItem item = Video(20, 50, 1000, 3000);
    item.shownPath = QStringLiteral("一个名字非常非常非常非常非常非常长的视频.mp4");
    for (int width : {20, 40, 80}) {
        const QString line = ConsoleView::ProgressLine(item, 3000, width);
        EXPECT_LE(console::DisplayWidth(line), width) << line.toStdString();
    }
    EXPECT_TRUE(ConsoleView::ProgressLine(item, 3000, 120).contains(" 50% "));
    EXPECT_TRUE(ConsoleView::ProgressLine(item, 3000, 120).contains("5.00x"));
}

TEST(ConsoleViewTest, JsonRecordsOfDoneAndFailedFiles)
{
    BatchItem done;
    done.sourcePath = "/in/a.png";
    done.sourceSize = 3000;
    done.state = BatchItem::State::Done;
    done.outputPath = "/out/a.png";
    done.outputSize = 1000;
    QJsonObject json = ConsoleView::ToJson(done);
    EXPECT_EQ(json["result"].toString(), "done");
    EXPECT_DOUBLE_EQ(json["saving"].toDouble(), 66.67);
    EXPECT_EQ(json["output_size"].toInteger(), 1000);
    EXPECT_FALSE(json.contains("error"));
    EXPECT_FALSE(json.contains("crf")) << "no search, no CRF";

    // The searched CRF as the line prints it: a whole one as an integer, x264's quarter steps
    // as they are.
    const auto crfText = [&](double crf) {
        BatchItem looked = done;
        looked.crf = crf;
        const QByteArray line =
            QJsonDocument(ConsoleView::ToJson(looked)).toJson(QJsonDocument::Compact);
        const qsizetype at = line.indexOf("\"crf\":");
        return at < 0 ? QByteArray() : line.mid(at + 6).split(',').first().split('}').first();
    };
    EXPECT_EQ(crfText(27), "27");
    EXPECT_EQ(crfText(20.75), "20.75");
    EXPECT_EQ(crfText(31.5), "31.5");

    BatchItem stopped = done;
    stopped.state = BatchItem::State::Stopped;
    json = ConsoleView::ToJson(stopped);
    EXPECT_EQ(json["result"].toString(), "failed");
    EXPECT_EQ(json["error"].toString(), "stopped");
    EXPECT_TRUE(json["output"].isNull());
    EXPECT_TRUE(json["output_size"].isNull());
    EXPECT_TRUE(json["saving"].isNull());
}

TEST(ConsoleViewTest, AFailureReadsInTheUsersWordsAndJsonKeepsTheEnginesToo)
{
    BatchItem full;
    full.shownPath = "in/a.mp4";
    full.state = BatchItem::State::Failed;
    full.error =
        "ffmpeg exited with status 1: Error closing file /out/a.mp4: No space left on device";
    const QString sentence = FailureSentence(FailureCause::DiskFull);
    EXPECT_EQ(ConsoleView::ResultLine(full), "failed   in/a.mp4: " + sentence);
    QJsonObject json = ConsoleView::ToJson(full);
    EXPECT_EQ(json["error"].toString(), sentence);
    EXPECT_EQ(json["detail"].toString(), full.error);

    // Words the program has no sentence for are shown as they are, once.
    BatchItem odd = full;
    odd.error = "ffmpeg ended without finishing its output";
    EXPECT_EQ(ConsoleView::ResultLine(odd), "failed   in/a.mp4: " + odd.error);
    json = ConsoleView::ToJson(odd);
    EXPECT_EQ(json["error"].toString(), odd.error);
    EXPECT_FALSE(json.contains("detail"));
}

TEST(ConsoleViewTest, FailureCodesComeFromTheCauseTheEngineNames)
{
    BatchItem item;
    item.state = BatchItem::State::Failed;
    const std::pair<const char*, const char*> cases[] = {
        {"Error closing file /out/a.mp4: No space left on device", "no-space"},
        {"cannot write /out/.a.lumo-0123456789abcdef.part: Input/output error", "write-failed"},
        {"Invalid data found when processing input", "damaged"},
        {"/in/a.png: Permission denied", "no-permission"},
        {"Unknown encoder 'libx265'", "no-encoder"},
        {"something nobody foresaw", "failed"},
    };
    for (const auto& [error, code] : cases) {
        item.error = error;
        EXPECT_EQ(ConsoleView::FailureCode(item), code) << error;
        EXPECT_EQ(ConsoleView::ToJson(item)["code"].toString(), code) << error;
    }
    // A code the intake gave stands over the text.
    item.code = "missing";
    EXPECT_EQ(ConsoleView::FailureCode(item), "missing");
    item.state = BatchItem::State::Stopped;
    EXPECT_EQ(ConsoleView::FailureCode(item), "cancelled");
    item.state = BatchItem::State::Done;
    EXPECT_EQ(ConsoleView::FailureCode(item), "");
}

TEST(CliOptionsTest, ValuesComeFromTheFileAndTheLastOptionWins)
{
    const QString ini = testenv::Home() + "/configure.ini";
    testenv::WriteFile(ini,
                       "[global]\nvideo-type=4\ngif-define-param=1\ngif-drop-frame-index=3\n"
                       "audio-sample-rate=abc\n");
    const RunValues defaults = RunValues::FromSettingsFile(ini);
    EXPECT_EQ(defaults.videoType, 4);
    // Letters read as 0, which is no sample rate ffmpeg takes: the default, as in the window.
    EXPECT_EQ(defaults.sampleRate, 44100);
    EXPECT_EQ(defaults.bitrate, 128000);
    EXPECT_FALSE(defaults.bitRateSlider);

    const QString path = testenv::Home();
    const ParsedCommandLine parsed = ParseCommandLine(
        {"--scale=3", "--scale", "4", "--gif-drop", "off", "--size", "10x20", "--size", "none",
         "--bitrate-percent", "0", "--container=keep", "--", "-r", path},
        defaults);
    ASSERT_EQ(parsed.action, ParsedCommandLine::Action::Run);
    EXPECT_EQ(parsed.options.paths, QStringList({"-r", path})) << "after -- everything is a path";
    EXPECT_FALSE(parsed.options.recursive);
    const ParsedCommandLine good = ParseCommandLine(
        {"--scale=3", "--scale", "4", "--gif-drop", "off", "--size", "10x20", "--size", "none",
         "--bitrate-percent", "0", "--container=keep", "--", path},
        defaults);
    ASSERT_EQ(good.action, ParsedCommandLine::Action::Run) << good.error.toStdString();
    const RunValues& v = good.options.values;
    EXPECT_EQ(v.ratioIndex, 4);
    EXPECT_EQ(v.gifDefineParam, 0);
    EXPECT_EQ(v.gifDropFrameIndex, 3) << "the choice stays for when dropping is on again";
    EXPECT_FALSE(v.customSize);
    EXPECT_EQ(v.bitRateSlider, 0);
    EXPECT_EQ(v.videoType, 0);
    EXPECT_EQ(good.options.paths, QStringList{path});

    EXPECT_EQ(ParseCommandLine({"--help", "--no-such"}, defaults).action,
              ParsedCommandLine::Action::UsageError);
    EXPECT_EQ(ParseCommandLine({"--no-such-file", "-h"}, defaults).action,
              ParsedCommandLine::Action::UsageError);
    EXPECT_EQ(ParseCommandLine({"/no/such/file", "-h"}, defaults).action,
              ParsedCommandLine::Action::Help);
}

TEST(CliOptionsTest, EncoderChoicesAndSkipLargerParseOverTheSettings)
{
    const QString ini = testenv::Home() + "/configure.ini";
    testenv::WriteFile(ini, "[global]\nvideo-codec=1\nkeep-smaller=1\n");
    const RunValues defaults = RunValues::FromSettingsFile(ini);
    EXPECT_EQ(defaults.codec, 1);
    EXPECT_TRUE(defaults.keepSmaller);
    EXPECT_TRUE(defaults.Video().keepSmaller);
    EXPECT_TRUE(defaults.Image().keepSmaller);
    EXPECT_FALSE(RunValues::FromSettingsFile(ini + ".missing").keepSmaller);

    const QString path = testenv::Home();
    const ParsedCommandLine parsed = ParseCommandLine(
        {"--video-codec", "av1", "--video-mode=quality", "--two-pass", "--skip-larger", path},
        RunValues());
    ASSERT_EQ(parsed.action, ParsedCommandLine::Action::Run) << parsed.error.toStdString();
    const VideoSettings video = parsed.options.values.Video();
    EXPECT_EQ(video.settings.codec, 2);
    EXPECT_TRUE(video.page.qualityMode);
    EXPECT_TRUE(video.page.twoPass);
    EXPECT_TRUE(video.keepSmaller);
    EXPECT_TRUE(parsed.options.values.Image().keepSmaller);

    // Left out, nothing changes from today's defaults.
    const VideoSettings plain = ParseCommandLine({path}, RunValues()).options.values.Video();
    EXPECT_EQ(plain.settings.codec, 0);
    EXPECT_FALSE(plain.page.qualityMode || plain.page.twoPass || plain.keepSmaller);

    for (const QStringList& bad :
         {QStringList{"--video-codec", "vp9", path}, QStringList{"--video-mode", "crf", path},
          QStringList{"--two-pass=1", path}, QStringList{"--skip-larger=yes", path}}) {
        const ParsedCommandLine refused = ParseCommandLine(bad, RunValues());
        EXPECT_EQ(refused.action, ParsedCommandLine::Action::UsageError)
            << bad.join(' ').toStdString();
    }
    const QString help = HelpText(RunValues(), ini);
    for (const char* option : {"--video-codec h264|h265|av1", "--video-mode bitrate|quality",
                               "--two-pass", "--skip-larger"})
        EXPECT_TRUE(help.contains(option)) << option;
}

TEST(ConsoleViewTest, AKeptOriginalReadsAsSuchInLinesAndJson)
{
    BatchItem item;
    item.kind = BatchItem::Kind::Image;
    item.shownPath = "in/dot.png";
    item.sourcePath = "/abs/in/dot.png";
    item.sourceSize = 70;
    item.state = BatchItem::State::Kept;
    EXPECT_TRUE(item.Succeeded());
    const QString line = ConsoleView::ResultLine(item);
    EXPECT_TRUE(line.startsWith("kept     in/dot.png: the original is already smaller"))
        << line.toStdString();
    const QJsonObject json = ConsoleView::ToJson(item);
    EXPECT_EQ(json["result"].toString(), "kept");
    EXPECT_TRUE(json["output"].isNull());
    EXPECT_FALSE(json.contains("error"));
}

}  // namespace
