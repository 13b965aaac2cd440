#include "intake/DurationProbe.h"
#include "intake/MediaInfoLibrary.h"
#include "intake/MediaProbe.h"

#include "app/TextUtil.h"
#include "platform/ChildProcess.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <signal.h>

#include <cerrno>
#include <clocale>
#include <string>

namespace probetest {
bool UseCommaDecimalLocale();
}

namespace {

// Real files made by the real ffmpeg, probed by the real ffprobe. Every file is tiny: 64x64,
// at most a second and a half.
class MediaProbeReal : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder_.isValid());
        ffmpeg_ = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
        ASSERT_FALSE(ffmpeg_.isEmpty()) << "ffmpeg is needed";
    }

    QString PathOf(const QString& name) const { return folder_.path() + u'/' + name; }

    // Runs ffmpeg with the inputs and output options given, writing the named file.
    QString Make(const QString& name, const QStringList& arguments)
    {
        const QString path = PathOf(name);
        QStringList all = {"-v", "error", "-y"};
        all += arguments;
        all += path;
        const auto run = platform::RunCapture(ffmpeg_, all, 60000, 1 << 20);
        EXPECT_TRUE(run.Succeeded()) << run.output.constData();
        return path;
    }

    // A clip with picture and, when wanted, sound.
    QString MakeClip(const QString& name, bool withAudio, const QString& duration = "1")
    {
        QStringList arguments = {"-f", "lavfi", "-i",
                                 "testsrc=size=64x64:rate=25:duration=" + duration};
        if (withAudio)
            arguments +=
                {"-f", "lavfi", "-i", "sine=sample_rate=22050:duration=" + duration, "-ac", "2"};
        arguments += {"-c:v", "libx264", "-preset", "ultrafast"};
        if (withAudio) arguments += {"-c:a", "aac"};
        return Make(name, arguments);
    }

    QTemporaryDir folder_;
    QString ffmpeg_;
};

TEST_F(MediaProbeReal, AClipWithSound)
{
    const QString path = MakeClip("clip.mp4", true);
    VideoInfo info;
    ASSERT_TRUE(ProbeVideo(path, info));
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.height, 64);
    EXPECT_EQ(info.videoCodec, "h264");
    EXPECT_EQ(info.frameRateText, "25.00");
    EXPECT_NEAR(info.videoDuration, 1.0f, 0.1f);
    EXPECT_GT(info.videoBitRate, 0);
    EXPECT_EQ(info.hasAudio, 1);
    EXPECT_EQ(info.audioCodec, "aac");
    EXPECT_EQ(info.audioChannels, 2);
    EXPECT_EQ(info.audioSampleRate, 22050);
    EXPECT_EQ(info.audioDuration, 1.0f);
    EXPECT_EQ(info.fileSize, QFileInfo(path).size());
    EXPECT_GT(info.formatBitRate, 0);
    EXPECT_EQ(info.formatDuration, 1.0f);
}

TEST_F(MediaProbeReal, AClipWithoutSound)
{
    VideoInfo info;
    ASSERT_TRUE(ProbeVideo(MakeClip("silent.mp4", false), info));
    EXPECT_EQ(info.hasAudio, 0);
    EXPECT_TRUE(info.audioCodec.empty());
    EXPECT_EQ(info.audioSampleRate, 0);
    EXPECT_EQ(info.width, 64);
}

TEST_F(MediaProbeReal, ARecordInUseStartsAfresh)
{
    VideoInfo info;
    ASSERT_TRUE(ProbeVideo(MakeClip("clip.mp4", true), info));
    EXPECT_FALSE(ProbeVideo(PathOf("missing.mp4"), info));
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(info.hasAudio, 0);
    EXPECT_TRUE(info.frameRateText.isEmpty());
}

TEST_F(MediaProbeReal, AReportLargerThanAPipeHolds)
{
    // Sixty short sound streams and one last one that differs: the report is far over 64 KB.
    QStringList arguments = {"-f",   "lavfi", "-i", "testsrc=size=64x64:rate=25:duration=0.2",
                             "-f",   "lavfi", "-i", "sine=sample_rate=8000:duration=0.2",
                             "-f",   "lavfi", "-i", "sine=sample_rate=16000:duration=0.2",
                             "-map", "0:v"};
    for (int i = 0; i < 60; ++i) arguments += {"-map", "1:a"};
    arguments += {"-map",    "2:a",     "-ac:a:60",  "2",    "-c:v",
                  "libx264", "-preset", "ultrafast", "-c:a", "pcm_s16le"};
    const QString path = Make("many.mkv", arguments);

    const auto report = platform::RunCapture(
        QStandardPaths::findExecutable("ffprobe"),
        {"-v", "quiet", "-show_streams", "-print_format", "json", path}, 10000, 1 << 24);
    ASSERT_GT(report.output.size(), 64 * 1024) << "the file does not make a large report";

    VideoInfo info;
    ASSERT_TRUE(ProbeVideo(path, info));
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.audioCodec, "pcm_s16le");
    EXPECT_EQ(info.audioSampleRate, 16000);
    EXPECT_EQ(info.audioChannels, 2);
}

// Damaged files, and a file that is not there.
class MediaProbeDamaged : public MediaProbeReal, public ::testing::WithParamInterface<const char*> {
protected:
    QString MakeDamaged(const std::string& kind)
    {
        const QString path = PathOf("damaged.mp4");
        if (kind == "missing") return path;
        QByteArray content;
        if (kind == "random") {
            content.resize(64 * 1024);
            QRandomGenerator generator(20240517);
            for (char& byte : content) byte = static_cast<char>(generator.bounded(256));
        } else if (kind == "truncated") {
            content = testenv::ReadFile(MakeClip("whole.mp4", true)).left(200);
        } else if (kind == "text") {
            content = "this is not a video\n";
        }
        EXPECT_TRUE(testenv::WriteFile(path, content));
        return path;
    }
};

TEST_P(MediaProbeDamaged, IsNotUsable)
{
    const QString path = MakeDamaged(GetParam());
    VideoInfo info;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(ProbeVideo(path, info));
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(info.width, 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, MediaProbeDamaged,
                         ::testing::Values("random", "truncated", "text", "empty", "missing"));

// Names that a shell or a naive command line would mangle.
class MediaProbeFileName : public MediaProbeReal,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(MediaProbeFileName, IsProbedWhateverItHolds)
{
    const QString name = QString::fromUtf8(GetParam());
    const QString path = MakeClip(name, true);
    ASSERT_TRUE(QFileInfo::exists(path));
    VideoInfo info;
    ASSERT_TRUE(ProbeVideo(path, info));
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.fileSize, QFileInfo(path).size());
    EXPECT_NEAR(ProbeDurationSeconds(WideToAnsi(path)), 1.0, 0.1);
}

INSTANTIATE_TEST_SUITE_P(Names, MediaProbeFileName,
                         ::testing::Values("two words 'single' \"double\".mp4",
                                           "$HOME `id` ;|&.mp4", "中文视频 😀.mp4",
                                           "line\nbreak.mp4", "-starts-like-an-option.mp4",
                                           "looks:like-a-protocol.mp4"));

TEST_F(MediaProbeReal, ARelativeNameIsProbedFromTheCurrentFolder)
{
    MakeClip("-relative.mp4", false);
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder_.path()));
    VideoInfo info;
    const bool probed = ProbeVideo("-relative.mp4", info);
    QDir::setCurrent(previous);
    EXPECT_TRUE(probed);
    EXPECT_EQ(info.width, 64);
}

TEST_F(MediaProbeReal, ACommaDecimalLocaleChangesNothing)
{
    // A duration with a fraction, which a comma locale would cut.
    const QString path = MakeClip("clip.mp4", true, "1.5");
    if (!probetest::UseCommaDecimalLocale()) GTEST_SKIP() << "no German locale on this system";
    VideoInfo info;
    const bool probed = ProbeVideo(path, info);
    const double duration = ProbeDurationSeconds(WideToAnsi(path));
    std::setlocale(LC_ALL, "C.UTF-8");
    ASSERT_TRUE(probed);
    EXPECT_EQ(info.frameRateText, "25.00");
    EXPECT_NEAR(info.videoDuration, 1.5f, 0.05f);
    EXPECT_EQ(info.formatDuration, 1.0f);
    EXPECT_NEAR(duration, 1.5, 0.05);
}

// ---------------------------------------------------------------------------------------------
// A prober that cannot be made to misbehave on demand: a script in its place, first on PATH.

class MediaProbeFakeProber : public MediaProbeReal {
protected:
    void SetUp() override
    {
        MediaProbeReal::SetUp();
        bin_ = PathOf("bin");
        ASSERT_TRUE(QDir().mkpath(bin_));
        path_ = qgetenv("PATH");
        qputenv("PATH", bin_.toUtf8() + ":" + path_);
    }
    void TearDown() override { qputenv("PATH", path_); }

    void InstallProber(const QByteArray& script)
    {
        const QString prober = bin_ + "/ffprobe";
        ASSERT_TRUE(testenv::WriteFile(prober, "#!/bin/sh\n" + script));
        ASSERT_TRUE(QFile::setPermissions(prober, QFile::ReadOwner | QFile::ExeOwner));
    }

    QString bin_;
    QByteArray path_;
};

TEST_F(MediaProbeFakeProber, AHangingProberIsKilledAndTheProbeFails)
{
    const QString pidFile = PathOf("prober.pid");
    InstallProber("echo $$ > '" + pidFile.toUtf8() + "'\nexec sleep 30\n");
    const QString clip = MakeClip("clip.mp4", false);

    VideoInfo info;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(ProbeVideo(clip, info));
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(elapsed, kProbeTimeoutMs);
    EXPECT_LT(elapsed, kProbeTimeoutMs + 500);
    EXPECT_FALSE(info.IsUsable());

    const pid_t pid = testenv::ReadFile(pidFile).trimmed().toInt();
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(::kill(pid, 0) == -1 && errno == ESRCH) << "the prober is still there";
}

TEST_F(MediaProbeFakeProber, AReportOverTheCeilingIsRefused)
{
    InstallProber("exec head -c 20000000 /dev/zero\n");
    VideoInfo info;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(ProbeVideo(MakeClip("clip.mp4", false), info));
    EXPECT_LT(clock.elapsed(), kProbeTimeoutMs);
}

TEST_F(MediaProbeFakeProber, NoProberAtAllFailsTheProbe)
{
    qputenv("PATH", bin_.toUtf8());
    VideoInfo info;
    EXPECT_FALSE(ProbeVideo(PathOf("clip.mp4"), info));
}

// ---------------------------------------------------------------------------------------------
// The duration measured with the FFmpeg libraries.

TEST_F(MediaProbeReal, DurationOfAStreamWithItsFraction)
{
    EXPECT_NEAR(ProbeDurationSeconds(WideToAnsi(MakeClip("clip.mp4", true, "1.5"))), 1.5, 0.1);
}

TEST_F(MediaProbeReal, DurationFallsBackToTheContainerInWholeSeconds)
{
    // Matroska keeps no duration per stream, only the container's.
    EXPECT_EQ(ProbeDurationSeconds(WideToAnsi(MakeClip("clip.mkv", false, "1.5"))), 1.0);
}

TEST_F(MediaProbeReal, DurationOfAMissingFileIsZero)
{
    EXPECT_EQ(ProbeDurationSeconds(WideToAnsi(PathOf("missing.mp4"))), 0.0);
}

TEST_F(MediaProbeReal, DurationOfAFileWithoutSoundOrPictureIsMinusOne)
{
    const QString subtitles = PathOf("words.srt");
    ASSERT_TRUE(testenv::WriteFile(subtitles, "1\n00:00:00,000 --> 00:00:01,000\nhello\n"));
    const QString path = Make("words.mkv", {"-i", subtitles});
    EXPECT_EQ(ProbeDurationSeconds(WideToAnsi(path)), -1.0);
}

// ---------------------------------------------------------------------------------------------
// The installed MediaInfo library.

TEST_F(MediaProbeReal, MediaInfoAnswersForARealFile)
{
    const QString path = MakeClip("中文 clip.mp4", false);
    MediaInfoLibrary& library = MediaInfoLibrary::Instance();
    const MediaInfoSource::FrameRateAnswers first = library.FrameRateOf(path);
    EXPECT_EQ(first.mode, "CFR");
    EXPECT_EQ(library.UseCount(), 1);
    // Loaded once; each need only raises the count.
    library.FrameRateOf(path);
    EXPECT_EQ(library.UseCount(), 2);
    // A file without a video stream has no answers.
    EXPECT_TRUE(library.FrameRateOf(PathOf("missing.mp4")).mode.isEmpty());
}

}  // namespace
