// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/intake/DurationProbe.h"
#include "core/intake/MediaInfoLibrary.h"
#include "core/intake/MediaProbe.h"

#include "core/app/TextUtil.h"
#include "core/platform/ChildProcess.h"
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
#include <string>

namespace {

// Real files made by the real ffmpeg and probed by the real ffprobe; all tiny (64x64, <= 1.5 s).
class MediaProbeReal : public ::testing::Test {
protected:
    QString PathOf(const QString& name) const { return folder_.path() + u'/' + name; }

    QString Make(const QString& name, const QStringList& arguments)
    {
        const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
        const auto run = platform::RunCapture(
            ffmpeg, QStringList{"-v", "error", "-y"} + arguments + QStringList{PathOf(name)}, 60000,
            1 << 20);
        EXPECT_TRUE(run.Succeeded()) << run.output.constData();
        return PathOf(name);
    }

    QString MakeClip(const QString& name, bool withAudio, const QString& seconds = "1")
    {
        QStringList arguments = {"-f", "lavfi", "-i",
                                 "testsrc=size=64x64:rate=25:duration=" + seconds};
        if (withAudio)
            arguments +=
                {"-f", "lavfi", "-i", "sine=sample_rate=22050:duration=" + seconds, "-ac", "2"};
        return Make(name, arguments + QStringList{"-c:v", "libx264", "-preset", "ultrafast"});
    }

    QTemporaryDir folder_;
};

TEST_F(MediaProbeReal, ClipsWithAndWithoutSound)
{
    VideoInfo info;
    const int useCountBefore = MediaInfoLibrary::Instance().UseCount();
    const QString path = MakeClip("中文 clip.mp4", true);
    ASSERT_TRUE(ProbeVideo(path, info));
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.videoCodec, "h264");
    EXPECT_EQ(info.frameRateText, "25.00");
    EXPECT_NEAR(info.videoDuration, 1.0f, 0.1f);
    EXPECT_EQ(info.audioChannels, 2);
    EXPECT_EQ(info.audioSampleRate, 22050);
    EXPECT_EQ(info.fileSize, QFileInfo(path).size());
    EXPECT_EQ(info.formatDuration, 1.0f);

    // The installed MediaInfo library reads the same file; the probe loaded it once (the count
    // is the process's, so earlier tests may have raised it).
    EXPECT_EQ(MediaInfoLibrary::Instance().FrameRateOf(path).mode, "CFR");
    EXPECT_EQ(MediaInfoLibrary::Instance().UseCount(), useCountBefore + 1);

    // The same record probed again starts afresh.
    ASSERT_TRUE(ProbeVideo(MakeClip("silent.mp4", false), info));
    EXPECT_EQ(info.hasAudio, 0);
    EXPECT_TRUE(info.audioCodec.empty());
}

TEST_F(MediaProbeReal, AReportLargerThanAPipeHolds)
{
    // Sixty sound streams and a last one that differs: the report is far over 64 KB.
    QStringList arguments = {"-f",   "lavfi", "-i", "testsrc=size=64x64:duration=0.2",
                             "-f",   "lavfi", "-i", "sine=sample_rate=8000:duration=0.2",
                             "-f",   "lavfi", "-i", "sine=sample_rate=16000:duration=0.2",
                             "-map", "0:v"};
    for (int i = 0; i < 60; ++i) arguments += {"-map", "1:a"};
    const QString path =
        Make("many.mkv", arguments + QStringList{"-map", "2:a", "-c:a", "pcm_s16le"});
    const auto report =
        platform::RunCapture(QStandardPaths::findExecutable("ffprobe"),
                             {"-show_streams", "-of", "json", path}, 10000, 1 << 24);
    ASSERT_GT(report.output.size(), 64 * 1024);

    VideoInfo info;
    ASSERT_TRUE(ProbeVideo(path, info));
    EXPECT_EQ(info.audioSampleRate, 16000);
}

TEST_F(MediaProbeReal, DamagedAndMissingFilesAreNotUsable)
{
    QByteArray noise(64 * 1024, '\0');
    QRandomGenerator generator(20240517);
    for (char& byte : noise) byte = static_cast<char>(generator.bounded(256));
    ASSERT_TRUE(testenv::WriteFile(PathOf("noise.mp4"), noise));
    const QByteArray clip = testenv::ReadFile(MakeClip("whole.mp4", true));
    ASSERT_TRUE(testenv::WriteFile(PathOf("cut.mp4"), clip.left(200)));

    for (const char* name : {"noise.mp4", "cut.mp4", "missing.mp4"}) {
        VideoInfo info;
        EXPECT_FALSE(ProbeVideo(PathOf(name), info)) << name;
        EXPECT_EQ(info.width, 0) << name;
    }
}

// Names that a shell or a naive command line would mangle.
class MediaProbeFileName : public MediaProbeReal,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(MediaProbeFileName, IsProbedWhateverItHolds)
{
    const QString path = MakeClip(QString::fromUtf8(GetParam()), false);
    VideoInfo info;
    EXPECT_TRUE(ProbeVideo(path, info));
    EXPECT_NEAR(ProbeDurationSeconds(WideToAnsi(path)), 1.0, 0.1);

    // Relative to the current folder: a name like an option must still be a file.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder_.path()));
    EXPECT_TRUE(ProbeVideo(QString::fromUtf8(GetParam()), info));
    QDir::setCurrent(previous);
}

INSTANTIATE_TEST_SUITE_P(Names, MediaProbeFileName,
                         ::testing::Values("two words 'single' \"double\" $HOME `id`.mp4",
                                           "中文视频 😀.mp4", "line\nbreak.mp4",
                                           "-like-an-option.mp4", "like:a-protocol.mp4"));

TEST_F(MediaProbeReal, AHangingProberIsKilledAndTheProbeFails)
{
    // A prober that cannot be made to hang on demand: a script in its place, first on PATH.
    const QString clip = MakeClip("clip.mp4", false);
    const QString pidFile = PathOf("prober.pid");
    const QString prober = PathOf("bin/ffprobe");
    ASSERT_TRUE(testenv::WriteFile(
        prober, "#!/bin/sh\necho $$ > '" + pidFile.toUtf8() + "'\nexec sleep 30\n"));
    ASSERT_TRUE(QFile::setPermissions(prober, QFile::ReadOwner | QFile::ExeOwner));
    qputenv("PATH", PathOf("bin").toUtf8() + ":" + qgetenv("PATH"));

    VideoInfo info;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(ProbeVideo(clip, info));
    EXPECT_GE(clock.elapsed(), kProbeTimeoutMs);
    EXPECT_LT(clock.elapsed(), kProbeTimeoutMs + 500);

    const pid_t pid = testenv::ReadFile(pidFile).trimmed().toInt();
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(::kill(pid, 0) == -1 && errno == ESRCH) << "the prober is still there";
}

TEST_F(MediaProbeReal, DurationProbe)
{
    EXPECT_NEAR(ProbeDurationSeconds(WideToAnsi(MakeClip("clip.mp4", true, "1.5"))), 1.5, 0.1);
    // Matroska keeps no duration per stream: the container's, in whole seconds.
    EXPECT_EQ(ProbeDurationSeconds(WideToAnsi(MakeClip("clip.mkv", false, "1.5"))), 1.0);
    EXPECT_EQ(ProbeDurationSeconds(WideToAnsi(PathOf("missing.mp4"))), 0.0);

    ASSERT_TRUE(testenv::WriteFile(PathOf("words.srt"), "1\n00:00:00,000 --> 00:00:01,000\nhi\n"));
    const QString subtitlesOnly = Make("words.mkv", {"-i", PathOf("words.srt")});
    EXPECT_EQ(ProbeDurationSeconds(WideToAnsi(subtitlesOnly)), -1.0);
}

}  // namespace
