// SPDX-License-Identifier: GPL-3.0-or-later
// Keeping every track, run by the real ffmpeg: a source with two audio tracks in two languages,
// a SubRip subtitle, chapters, a title and a creation time, compressed into each kind of
// container, then read back with ffprobe.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "core/app/JsonText.h"
#include "core/app/Paths.h"
#include "core/intake/MediaProbe.h"
#include "core/intake/MediaScan.h"
#include "core/platform/ChildProcess.h"
#include "core/video/FfmpegCommand.h"
#include "core/video/FfmpegRunner.h"
#include "core/video/VideoSettings.h"
#include "support/Printers.h"

#include <algorithm>

namespace {

constexpr char kSubtitles[] =
    "1\n00:00:00,000 --> 00:00:00,800\nHello\n\n2\n00:00:01,000 --> 00:00:01,800\nWorld\n";
constexpr char kMetadata[] =
    ";FFMETADATA1\ntitle=Trip\ncreation_time=2020-05-06T07:08:09.000000Z\n\n"
    "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=One\n\n"
    "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=2000\ntitle=Two\n";

void RunFfmpeg(const QStringList& arguments)
{
    const auto made = platform::RunCapture(
        FindTool("ffmpeg"), QStringList{"-v", "error", "-y"} + arguments, 60000, 1 << 20);
    ASSERT_TRUE(made.Succeeded()) << made.output.toStdString();
}

void WriteText(const QString& path, const char* text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// ffprobe's report of a file: its streams, chapters and format.
Json::Value Report(const QString& path)
{
    const auto probed = platform::RunCapture(FindTool("ffprobe"),
                                             {"-v", "quiet", "-show_streams", "-show_chapters",
                                              "-show_format", "-print_format", "json", path},
                                             10000, 1 << 22);
    Json::Value root;
    EXPECT_TRUE(probed.Succeeded());
    EXPECT_TRUE(json::Parse(probed.output.toStdString(), root));
    return root;
}

std::vector<const Json::Value*> StreamsOf(const Json::Value& report, const char* kind)
{
    std::vector<const Json::Value*> found;
    for (const Json::Value& stream : report["streams"])
        if (stream["codec_type"].asString() == kind) found.push_back(&stream);
    return found;
}

std::string Tag(const Json::Value& object, const char* key)
{
    return object["tags"][key].asString();
}

class KeepTracksTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        media_ = new QTemporaryDir;
        ASSERT_TRUE(media_->isValid());
        WriteText(media_->filePath("sub.srt"), kSubtitles);
        WriteText(media_->filePath("meta.txt"), kMetadata);
        // Words without blanks: the temporary folder's path has none.
        RunFfmpeg(QString("-f lavfi -i testsrc=size=64x48:rate=10:duration=2 "
                          "-f lavfi -i sine=f=440:duration=2 -f lavfi -i sine=f=660:duration=2 "
                          "-i %1 -i %2 -map 0 -map 1 -map 2 -map 3 -map_metadata 4 "
                          "-map_chapters 4 -c:v libx264 -preset ultrafast -c:a aac -c:s srt "
                          "-metadata:s:a:0 language=eng -metadata:s:a:1 language=fra "
                          "-metadata:s:s:0 language=eng %3")
                      .arg(media_->filePath("sub.srt"), media_->filePath("meta.txt"),
                           media_->filePath("source.mkv"))
                      .split(' '));
        // A phone's clip: the picture stored unturned, a display matrix turning it (ffmpeg
        // writes the matrix only on a copied stream).
        RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=1", "-c:v", "libx264",
                   "-preset", "ultrafast", media_->filePath("flat.mp4")});
        RunFfmpeg({"-i", media_->filePath("flat.mp4"), "-c", "copy", "-metadata:s:v:0", "rotate=90",
                   media_->filePath("turned.mp4")});
        ASSERT_NE(Report(media_->filePath("turned.mp4"))["streams"][0]["side_data_list"].size(),
                  0u);
    }
    static void TearDownTestSuite()
    {
        delete media_;
        media_ = nullptr;
    }

    // Compresses source into the container videoType with every track kept; the notes and the
    // output's report.
    static std::pair<QStringList, Json::Value> Compress(const QString& source, int videoType,
                                                        bool twoPass = false)
    {
        VideoTask task = MakeVideoTask(media_->path() + "/", source);
        EXPECT_TRUE(ProbeVideo(task.filePath, task));
        CompressSettings values;
        values.videoType = videoType;
        MainPageSnapshot page;
        page.keepTracks = true;
        page.twoPass = twoPass;
        const CommandPlan plan = PlanCommand(task, values, page);
        EXPECT_TRUE(plan.tracks.listed);
        QTemporaryDir work;
        const QString output = work.filePath("out." + plan.extension);
        const QString ffmpeg = FindTool("ffmpeg");
        const EncoderRuns encode =
            RenderEncoderRuns(plan, ffmpeg, task.filePath, output, work.path(), QString());
        EXPECT_EQ(encode.runs.size(), twoPass ? 2u : 1u);
        FfmpegRunner runner;
        for (const FfmpegCommand& run : encode.runs) {
            const FfmpegOutcome outcome = runner.Run(
                run.program, run.arguments, [](qint64) {}, [](const FfmpegEvent&) {});
            EXPECT_EQ(outcome.kind, FfmpegOutcome::Kind::Done)
                << outcome.reason.toStdString() << "\n"
                << run.text.toStdString();
        }
        return {encode.notes, Report(output)};
    }

    static QTemporaryDir* media_;
};

QTemporaryDir* KeepTracksTest::media_ = nullptr;

// The audio tracks' languages in order.
std::vector<std::string> Languages(const Json::Value& report)
{
    std::vector<std::string> languages;
    for (const Json::Value* stream : StreamsOf(report, "audio"))
        languages.push_back(Tag(*stream, "language"));
    return languages;
}

}  // namespace

TEST_F(KeepTracksTest, Mp4AndMovHoldEveryTrackWithSubtitlesAsMovText)
{
    for (const int videoType : {1, 3}) {
        SCOPED_TRACE(videoType);
        const auto [notes, report] = Compress("source.mkv", videoType);
        EXPECT_TRUE(notes.isEmpty()) << notes.join("; ").toStdString();
        EXPECT_EQ(StreamsOf(report, "video").size(), 1u);
        EXPECT_EQ(Languages(report), (std::vector<std::string>{"eng", "fra"}));
        for (const Json::Value* audio : StreamsOf(report, "audio"))
            EXPECT_EQ((*audio)["codec_name"].asString(), "aac");
        const auto subtitles = StreamsOf(report, "subtitle");
        ASSERT_EQ(subtitles.size(), 1u);
        EXPECT_EQ((*subtitles[0])["codec_name"].asString(), "mov_text");
        EXPECT_EQ(Tag(*subtitles[0], "language"), "eng");
        EXPECT_EQ(report["chapters"].size(), 2u);
        EXPECT_EQ(Tag(report["format"], "title"), "Trip");
        EXPECT_EQ(Tag(report["format"], "creation_time").substr(0, 19), "2020-05-06T07:08:09");
    }
}

TEST_F(KeepTracksTest, MkvCopiesSubtitlesInANewAndInTheKeptContainer)
{
    for (const int videoType : {4, 0}) {
        SCOPED_TRACE(videoType);
        const auto [notes, report] = Compress("source.mkv", videoType);
        EXPECT_TRUE(notes.isEmpty()) << notes.join("; ").toStdString();
        EXPECT_EQ(Languages(report), (std::vector<std::string>{"eng", "fra"}));
        const auto subtitles = StreamsOf(report, "subtitle");
        ASSERT_EQ(subtitles.size(), 1u);
        EXPECT_EQ((*subtitles[0])["codec_name"].asString(), "subrip");
        EXPECT_EQ(report["chapters"].size(), 2u);
        ASSERT_EQ(report["chapters"][0]["tags"]["title"].asString(), "One");
        EXPECT_EQ(Tag(report["format"], "title"), "Trip");
        // Matroska keeps the date as DATE (read back as "creation_time") to the second.
        EXPECT_EQ(Tag(report["format"], "creation_time").substr(0, 19), "2020-05-06T07:08:09");
    }
}

TEST_F(KeepTracksTest, FlvSaysWhatItCannotHold)
{
    const auto [notes, report] = Compress("source.mkv", 2);
    EXPECT_EQ(Languages(report).size(), 1u);
    EXPECT_TRUE(StreamsOf(report, "subtitle").empty());
    const QString all = notes.join('\n');
    EXPECT_EQ(notes.size(), 3) << all.toStdString();
    EXPECT_TRUE(all.contains("one audio track")) << all.toStdString();
    EXPECT_TRUE(all.contains("subtitle")) << all.toStdString();
    EXPECT_TRUE(all.contains("chapters")) << all.toStdString();
}

TEST_F(KeepTracksTest, TwoPassesKeepTheTracksInTheWrittenFile)
{
    const auto [notes, report] = Compress("source.mkv", 1, true);
    EXPECT_EQ(Languages(report), (std::vector<std::string>{"eng", "fra"}));
    EXPECT_EQ(StreamsOf(report, "subtitle").size(), 1u);
    EXPECT_EQ(report["chapters"].size(), 2u);
}

TEST_F(KeepTracksTest, TurnedSourcesStayTurnedAndAreNotTurnedTwice)
{
    for (const int videoType : {1, 4}) {
        SCOPED_TRACE(videoType);
        const auto [notes, report] = Compress("turned.mp4", videoType);
        const auto video = StreamsOf(report, "video");
        ASSERT_EQ(video.size(), 1u);
        // The picture itself is turned; a matrix copied beside it would turn it once more.
        EXPECT_EQ((*video[0])["width"].asInt(), 48);
        EXPECT_EQ((*video[0])["height"].asInt(), 64);
        for (const Json::Value& side : (*video[0])["side_data_list"])
            EXPECT_EQ(side["rotation"].asDouble(), 0);
    }
}

TEST(TrackOptionsTest, ContainersTakeWhatTheyHoldAndNameTheRest)
{
    CommandPlan plan;
    plan.keepTracks = true;
    plan.tracks.listed = true;
    plan.tracks.chapters = 1;
    // A cover picture listed before the moving video, a bitmap and a text subtitle, a font.
    plan.tracks.streams = {
        {0, "video", "mjpeg", true},        {1, "video", "h264", false},
        {2, "audio", "aac", false},         {3, "subtitle", "dvd_subtitle", false},
        {4, "subtitle", "mov_text", false}, {5, "attachment", "ttf", false}};

    plan.extension = "mp4";
    TrackOptions mp4 = PlanTrackOptions(plan);
    EXPECT_EQ(mp4.firstPass, (QStringList{"-map", "0:1"}));
    EXPECT_TRUE(mp4.output.contains("0:4"));
    EXPECT_FALSE(mp4.output.contains("0:3"));
    EXPECT_FALSE(mp4.output.contains("0:0"));
    EXPECT_EQ(mp4.output.mid(mp4.output.indexOf("-c:s:0"), 2), (QStringList{"-c:s:0", "mov_text"}));
    EXPECT_TRUE(mp4.output.contains("-map_chapters"));
    // One note each: the bitmap subtitle, the font and the cover.
    EXPECT_EQ(mp4.notes.size(), 3) << mp4.notes.join("; ").toStdString();

    plan.extension = "mkv";
    TrackOptions mkv = PlanTrackOptions(plan);
    EXPECT_TRUE(mkv.output.contains("0:3"));
    EXPECT_TRUE(mkv.output.contains("0:5"));
    // Matroska takes no mov_text: it becomes SubRip, the bitmap is copied.
    EXPECT_EQ(mkv.output.mid(mkv.output.indexOf("-c:s:0"), 2), (QStringList{"-c:s:0", "copy"}));
    EXPECT_EQ(mkv.output.mid(mkv.output.indexOf("-c:s:1"), 2), (QStringList{"-c:s:1", "srt"}));
    // Each mapped stream takes the metadata of its own source stream.
    const qsizetype font = mkv.output.indexOf("0:5");
    EXPECT_EQ(mkv.output.mid(font + 1, 2), (QStringList{"-map_metadata:s:4", "0:s:5"}));
    EXPECT_EQ(mkv.notes.size(), 1) << mkv.notes.join("; ").toStdString();

    // Without a list: the video, all audio and the metadata, and a note.
    plan.tracks = {};
    TrackOptions unlisted = PlanTrackOptions(plan);
    EXPECT_EQ(unlisted.output.mid(0, 4), (QStringList{"-map", "0:v:0", "-map", "0:a?"}));
    EXPECT_EQ(unlisted.notes.size(), 1);

    plan.keepTracks = false;
    const TrackOptions off = PlanTrackOptions(plan);
    EXPECT_TRUE(off.output.isEmpty() && off.firstPass.isEmpty() && off.notes.isEmpty());
}
