// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <Magick++.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <unistd.h>
#include <clocale>
#include <cstring>
#include <functional>
#include <set>

#include "core/app/FailureText.h"
#include "core/image/ImagePipeline.h"
#include "core/video/FfmpegRunner.h"
#include "support/Printers.h"
#include "support/TestEnv.h"

// The failure texts below are not written by hand: each comes from a real run of ffmpeg or of
// the image pipeline that fails the way a user's run fails, so a change in either tool's words
// shows up here.
namespace {

QString Tmp(const QTemporaryDir& dir, const QString& name)
{
    return dir.path() + u'/' + name;
}

// A source the encoder can read: 2 s of test pattern with sound, in MP4.
QString GoodVideo(const QTemporaryDir& dir)
{
    const QString path = Tmp(dir, "good.mp4");
    if (!QFileInfo::exists(path)) testenv::MakeVideo(path, 2.0, "320x240");
    return path;
}

// ffmpeg as the video engine runs it, through the same runner; the failure's reason.
QString FfmpegFailure(const QString& program, const QStringList& arguments)
{
    FfmpegRunner runner;
    const FfmpegOutcome outcome = runner.Run(program, arguments, nullptr, nullptr);
    EXPECT_EQ(outcome.kind, FfmpegOutcome::Kind::Failed) << outcome.reason.toStdString();
    return outcome.reason;
}

QStringList EncodeTo(const QString& source, const QString& output)
{
    return {"-y", "-i", source, "-vcodec", "h264", "-b:v", "2000000", "-acodec", "aac", output};
}

QString ImageFailure(const QString& source, const QString& outputDir, const QString& tempDir,
                     qint64 maxBytes = 0)
{
    ImageParams params;
    params.maxBytes = maxBytes;
    params.sourcePath = source;
    params.outputDir = outputDir;
    params.tempDir = tempDir;
    const ImageRunResult result = ImagePipeline::Run(params);
    EXPECT_FALSE(result.Succeeded());
    return QString::fromStdString(result.failure);
}

QByteArray Encoded(const char* magick, const char* what = "rose:")
{
    ImagePipeline::InitializeLibrary();
    Magick::Image image(what);
    image.magick(magick);
    Magick::Blob blob;
    image.write(&blob);
    return QByteArray(static_cast<const char*>(blob.data()), static_cast<qsizetype>(blob.length()));
}

class FailureFromRealRunTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString Path(const QString& name) const { return Tmp(dir_, name); }
    QTemporaryDir dir_;
};

// ------------------------------------------------------------------------------ videos

TEST_F(FailureFromRealRunTest, DamagedVideos)
{
    const QByteArray good = testenv::ReadFile(GoodVideo(dir_));
    ASSERT_GT(good.size(), 20000);
    // The MP4 index sits at the end: a copy cut short has none.
    testenv::WriteFile(Path("cut.mp4"), good.left(good.size() / 2));
    QByteArray noise(30000, '\0');
    for (qsizetype i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919) >> 3);
    testenv::WriteFile(Path("noise.mp4"), noise);

    for (const QString name : {"cut.mp4", "noise.mp4"}) {
        const QString reason = FfmpegFailure("ffmpeg", EncodeTo(Path(name), Path("out.mp4")));
        EXPECT_EQ(ClassifyFailure(reason), FailureCause::Damaged) << reason.toStdString();
        EXPECT_EQ(ReadableFailure(reason), FailureSentence(FailureCause::Damaged));
    }
}

TEST_F(FailureFromRealRunTest, AnEncoderFfmpegDoesNotHave)
{
    const QString reason = FfmpegFailure(
        "ffmpeg", {"-y", "-i", GoodVideo(dir_), "-c:v", "nosuchcodec", Path("out.mp4")});
    EXPECT_EQ(ClassifyFailure(reason), FailureCause::MissingEncoder) << reason.toStdString();
}

TEST_F(FailureFromRealRunTest, AMissingSourceEvenInAFolderWithATellingName)
{
    // The folder's name holds words of other causes; the cause is read from ffmpeg's words only.
    const QString folder = Path("corrupt truncated 'Permission denied'");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString reason = FfmpegFailure("ffmpeg", EncodeTo(folder + "/gone.mp4", Path("o.mp4")));
    EXPECT_EQ(ClassifyFailure(reason), FailureCause::FileNotFound) << reason.toStdString();
}

TEST_F(FailureFromRealRunTest, ADeviceWithNoRoomLeft)
{
    // /dev/full refuses every write with ENOSPC: here the very first one, the header.
    const QString reason = FfmpegFailure(
        "ffmpeg", {"-y", "-i", GoodVideo(dir_), "-vcodec", "h264", "-f", "mp4", "/dev/full"});
    EXPECT_EQ(ClassifyFailure(reason), FailureCause::DiskFull) << reason.toStdString();
}

TEST_F(FailureFromRealRunTest, ASizeLimitReachedHalfWayThrough)
{
    // The output may grow to 64 KiB; past that every write fails with EFBIG while x264 goes on
    // and prints its statistics last, after the error.
    const QString script = QStringLiteral("ulimit -f 64; trap '' XFSZ; exec ffmpeg \"$@\"");
    const QString reason = FfmpegFailure(
        "bash", QStringList{"-c", script, "ffmpeg"} + EncodeTo(GoodVideo(dir_), Path("big.mp4")));
    EXPECT_EQ(ClassifyFailure(reason), FailureCause::DiskFull) << reason.toStdString();
    EXPECT_FALSE(reason.contains("libx264"))
        << "the statistics hid the error: " << reason.toStdString();
}

TEST_F(FailureFromRealRunTest, AReadOnlyOutputFolder)
{
    const QString out = Path("locked");
    ASSERT_TRUE(QDir().mkpath(out));
    const QString source = GoodVideo(dir_);
    // As root the folder's mode means nothing: the encoder then runs as nobody, which may read
    // the source (the test folder is opened up for it) but not write the folder.
    QFile::setPermissions(dir_.path(),
                          QFile::permissions(dir_.path()) | QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(source, QFile::permissions(source) | QFile::ReadOther);
    QFile::setPermissions(out,
                          QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    QString program = "ffmpeg";
    QStringList arguments = EncodeTo(source, out + "/x.mp4");
    if (::geteuid() == 0) {
        arguments =
            QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "ffmpeg"} + arguments;
        program = "setpriv";
    }
    const QString reason = FfmpegFailure(program, arguments);
    QFile::setPermissions(out, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(ClassifyFailure(reason), FailureCause::NoPermission) << reason.toStdString();
}

TEST_F(FailureFromRealRunTest, AnEncoderThatCannotBeStarted)
{
    const QString reason = FfmpegFailure(Path("no-ffmpeg-here"), {"-version"});
    EXPECT_EQ(ClassifyFailure(reason), FailureCause::ToolNotStarted) << reason.toStdString();
}

TEST_F(FailureFromRealRunTest, AnEncoderThatHangsOrDiesOnASignal)
{
    FfmpegRunner quiet;
    quiet.SetSilenceLimit(300);
    const FfmpegOutcome hung = quiet.Run("sleep", {"10"}, nullptr, nullptr);
    EXPECT_EQ(ClassifyFailure(hung.reason), FailureCause::ToolHung) << hung.reason.toStdString();

    const QString crashed = FfmpegFailure("bash", {"-c", "kill -SEGV $$"});
    EXPECT_EQ(ClassifyFailure(crashed), FailureCause::ToolCrashed) << crashed.toStdString();
}

// ------------------------------------------------------------------------------ images

TEST_F(FailureFromRealRunTest, DamagedImages)
{
    QDir().mkpath(Path("out"));
    const QByteArray bmp = Encoded("BMP");
    const QByteArray gif = Encoded("GIF");
    const QByteArray jpeg = Encoded("JPEG");
    const QByteArray png = Encoded("PNG");
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"header-only.bmp", bmp.left(40)},
        {"cut.gif", gif.left(gif.size() / 3)},
        {"cut.jpg", jpeg.left(jpeg.size() / 3)},
        {"cut.png", png.left(png.size() / 2)},
    };
    for (const auto& c : cases) {
        testenv::WriteFile(Path(c.name), c.bytes);
        const QString reason = ImageFailure(Path(c.name), Path("out"), dir_.path());
        EXPECT_EQ(ClassifyFailure(reason), FailureCause::Damaged)
            << c.name << ": " << reason.toStdString();
    }
}

TEST_F(FailureFromRealRunTest, TextThatOnlyLooksLikeAnImage)
{
    QDir().mkpath(Path("out"));
    testenv::WriteFile(Path("notes.jpg"), "shopping list\n");
    const QString reason = ImageFailure(Path("notes.jpg"), Path("out"), dir_.path());
    EXPECT_EQ(ClassifyFailure(reason), FailureCause::Unsupported) << reason.toStdString();
}

TEST_F(FailureFromRealRunTest, AnImageBeyondTheMemoryLimit)
{
    // A BMP header announcing 30000 x 30000 pixels: refused before anything is decoded.
    QByteArray bmp = Encoded("BMP", "xc:white");
    QByteArray side(4, '\0');
    qToLittleEndian<qint32>(30000, side.data());
    bmp.replace(18, 4, side);
    bmp.replace(22, 4, side);
    testenv::WriteFile(Path("huge.bmp"), bmp);
    QDir().mkpath(Path("out"));
    const QString reason = ImageFailure(Path("huge.bmp"), Path("out"), dir_.path());
    EXPECT_EQ(ClassifyFailure(reason), FailureCause::OutOfMemory) << reason.toStdString();
}

// A size limit too small for the picture at its smallest scale: the sentence says what to do,
// and the engine's line with the sizes stays below it.
TEST_F(FailureFromRealRunTest, AnImageThatNoScaleFitsUnderItsLimit)
{
    QDir().mkpath(Path("out"));
    testenv::WriteFile(Path("rose.jpg"), Encoded("JPEG"));
    const QString reason = ImageFailure(Path("rose.jpg"), Path("out"), dir_.path(), 60);
    EXPECT_EQ(ClassifyFailure(reason), FailureCause::OverSizeLimit) << reason.toStdString();
    const QString readable = ReadableFailure(reason);
    EXPECT_TRUE(readable.startsWith(FailureSentence(FailureCause::OverSizeLimit) + u'\n'))
        << readable.toStdString();
    EXPECT_TRUE(readable.endsWith(reason.trimmed())) << readable.toStdString();
    EXPECT_TRUE(reason.contains("60")) << reason.toStdString();
}

TEST_F(FailureFromRealRunTest, AnImageIntoAReadOnlyFolder)
{
    const QString out = Path("locked");
    QDir().mkpath(out);
    testenv::WriteFile(Path("rose.jpg"), Encoded("JPEG"));
    QFile::setPermissions(out, QFile::ReadOwner | QFile::ExeOwner);
    QString reason;
    const bool enforced = testenv::RunUnderFilePermissions(
        out, [&] { reason = ImageFailure(Path("rose.jpg"), out, out); });
    QFile::setPermissions(out, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!enforced) GTEST_SKIP() << "file permissions are not enforced here";
    EXPECT_EQ(ClassifyFailure(reason), FailureCause::NoPermission) << reason.toStdString();
}

// ------------------------------------------------------------------------------ the sentences

TEST(FailureTextTest, UnknownTextPassesThroughTrimmed)
{
    EXPECT_EQ(ReadableFailure("  ffmpeg exited with status 1: Some new trouble\n"),
              "ffmpeg exited with status 1: Some new trouble");
    EXPECT_EQ(ReadableFailure(QStringLiteral("输出文件不存在")), QStringLiteral("输出文件不存在"));
    EXPECT_EQ(ReadableFailure({}), QString());
}

TEST(FailureTextTest, EveryCauseHasItsOwnSentence)
{
    std::set<QString> seen;
    for (int i = static_cast<int>(FailureCause::DiskFull);
         i <= static_cast<int>(FailureCause::ToolCrashed); ++i) {
        const QString sentence = FailureSentence(static_cast<FailureCause>(i));
        EXPECT_FALSE(sentence.isEmpty()) << i;
        EXPECT_TRUE(seen.insert(sentence).second) << "two causes, one sentence: " << i;
    }
    EXPECT_TRUE(FailureSentence(FailureCause::Unknown).isEmpty());
}

TEST(FailureTextTest, AFullDiskIsNotTakenForACodecProblem)
{
    // ffmpeg's words when the header cannot be written blame the codec parameters first.
    EXPECT_EQ(ClassifyFailure("ffmpeg exited with status 1: Could not write header for output "
                              "file #0 (incorrect codec parameters ?): No space left on device"),
              FailureCause::DiskFull);
}

TEST(FailureTextTest, TheSystemsOwnTranslatedErrorTextsAreKnown)
{
    const char* previous = std::setlocale(LC_MESSAGES, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_MESSAGES, "zh_CN.UTF-8")) GTEST_SKIP() << "no zh_CN.UTF-8 locale";
    const QString full = QString::fromLocal8Bit(std::strerror(ENOSPC));
    const QString denied = QString::fromLocal8Bit(std::strerror(EACCES));
    const bool translated = full != QLatin1String("No space left on device");
    const FailureCause fullCause = ClassifyFailure("cannot write /out/a.jpg: " + full);
    const FailureCause deniedCause = ClassifyFailure("cannot write /out/a.jpg: " + denied);
    std::setlocale(LC_MESSAGES, saved.c_str());
    if (!translated) GTEST_SKIP() << "the C library's messages are not translated here";
    EXPECT_EQ(fullCause, FailureCause::DiskFull) << full.toStdString();
    EXPECT_EQ(deniedCause, FailureCause::NoPermission) << denied.toStdString();
}

}  // namespace
