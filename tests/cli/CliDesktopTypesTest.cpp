// SPDX-License-Identifier: GPL-3.0-or-later
// Every MIME type the desktop entry claims is one the program opens: a real file of each type,
// made here, is recognised by its content as that type, and the command line takes it under
// its own name, under its extension in other letters and under a wrong extension.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <map>

#include "cli/CliTestSupport.h"
#include "core/intake/MediaScan.h"
#include "support/TestEnv.h"

using namespace clitest;

namespace {

// The types the desktop entry in the source tree lists on its MimeType line.
QStringList ClaimedTypes()
{
    QFile entry(QStringLiteral(LUMO_SOURCE_DIR "/packaging/io.lumocompress.LumoCompress.desktop"));
    if (!entry.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    for (const QString& line : QString::fromUtf8(entry.readAll()).split(u'\n'))
        if (line.startsWith(QLatin1String("MimeType=")))
            return line.mid(9).split(u';', Qt::SkipEmptyParts);
    return {};
}

// How a sample of one type is made: a video by ffmpeg (its output arguments), an image by
// ImageMagick from its built-in picture. contentType is what the content alone can tell when
// that is a parent of the claimed type (a WMV file is an ASF file by its bytes, a Matroska
// video a Matroska file).
struct Sample {
    QString extension;
    bool video = true;
    QStringList ffmpegArgs;
    QString contentType;
};

const std::map<QString, Sample>& Samples()
{
    static const std::map<QString, Sample> samples = {
        {"video/mp4", {"mp4", true, {}, {}}},
        {"video/x-flv", {"flv", true, {"-c:v", "flv"}, {}}},
        {"video/x-ms-wmv", {"wmv", true, {"-c:v", "wmv2"}, "application/vnd.ms-asf"}},
        {"video/x-msvideo", {"avi", true, {}, {}}},
        {"video/quicktime", {"mov", true, {}, {}}},
        {"video/x-matroska", {"mkv", true, {}, "application/x-matroska"}},
        {"video/mp2t", {"ts", true, {}, {}}},
        {"application/vnd.rn-realmedia", {"rm", true, {"-c:v", "rv10", "-f", "rm"}, {}}},
        {"application/vnd.apple.mpegurl",
         {"m3u8", true, {"-c:v", "libx264", "-f", "hls", "-hls_time", "1"}, {}}},
        {"video/webm", {"webm", true, {"-c:v", "libvpx", "-deadline", "realtime"}, {}}},
        {"video/mpeg", {"mpeg", true, {"-c:v", "mpeg1video", "-f", "mpeg"}, {}}},
        {"application/vnd.ms-asf", {"asf", true, {"-c:v", "wmv2", "-f", "asf"}, {}}},
        {"video/3gpp", {"3gp", true, {"-c:v", "h263", "-s", "176x144"}, {}}},
        {"video/3gpp2", {"3g2", true, {"-c:v", "h263", "-s", "176x144"}, {}}},
        {"video/ogg", {"ogv", true, {"-c:v", "libtheora"}, {}}},
        {"application/mxf", {"mxf", true, {"-c:v", "mpeg2video", "-f", "mxf"}, {}}},
        {"image/bmp", {"bmp", false, {}, {}}},
        {"image/jpeg", {"jpg", false, {}, {}}},
        {"image/png", {"png", false, {}, {}}},
        {"image/gif", {"gif", false, {}, {}}},
        {"image/webp", {"webp", false, {}, {}}},
        {"image/heif", {"heic", false, {}, {}}},
        {"image/avif", {"avif", false, {}, {}}},
        {"image/tiff", {"tiff", false, {}, {}}},
    };
    return samples;
}

bool IsOrInherits(const QMimeType& type, const QString& name)
{
    return type.name() == name || type.aliases().contains(name) || type.inherits(name);
}

TEST(DesktopTypesTest, EveryClaimedTypeIsRecognisedAndTakenUnderAnyName)
{
    const QStringList claimed = ClaimedTypes();
    ASSERT_FALSE(claimed.isEmpty()) << "no MimeType line in the desktop entry";
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString in = root.path() + "/in/";
    QDir().mkpath(in);

    const QMimeDatabase database;
    QStringList arguments = {"--json", "--dry-run", "--output", root.path() + "/out"};
    std::map<QString, bool> expectVideo;  // file name -> taken as a video (else an image)
    // A video under a wrong name carries the next claimed video's extension (a container
    // mislabelled as another); an image is named as a video.
    QStringList videoExtensions;
    for (const QString& mime : claimed)
        if (const auto found = Samples().find(mime);
            found != Samples().end() && found->second.video)
            videoExtensions << found->second.extension;
    for (const QString& mime : claimed) {
        const auto found = Samples().find(mime);
        ASSERT_NE(found, Samples().end()) << "no sample is made for " << mime.toStdString();
        const Sample& sample = found->second;
        const QString stem = QString(mime).replace(QRegularExpression("[^a-z0-9]"), "-");
        const QString path = in + stem + '.' + sample.extension;
        if (sample.video)
            ASSERT_TRUE(testenv::MakeVideo(path, 0.4, "64x48", false, sample.ffmpegArgs))
                << mime.toStdString();
        else
            MakeImage("rose:", path);
        ASSERT_GT(QFileInfo(path).size(), 0) << mime.toStdString();

        const QMimeType byContent = database.mimeTypeForFile(path, QMimeDatabase::MatchContent);
        const QString wanted = sample.contentType.isEmpty() ? mime : sample.contentType;
        EXPECT_TRUE(IsOrInherits(byContent, wanted))
            << mime.toStdString() << ": the content reads as " << byContent.name().toStdString();
        // Named as it should be, name and content together give the claimed type itself.
        EXPECT_TRUE(IsOrInherits(database.mimeTypeForFile(path), mime)) << mime.toStdString();

        // Its extension in other letters, and the extension of the other kind of file.
        const QString otherCase = stem + '.' + sample.extension.toUpper();
        const qsizetype next =
            (videoExtensions.indexOf(sample.extension) + 1) % videoExtensions.size();
        const QString wrong = stem + '.' + (sample.video ? videoExtensions[next] : "mp4");
        for (const QString& name : {otherCase, wrong})
            ASSERT_TRUE(QFile::copy(path, in + name)) << name.toStdString();
        for (const QString& name : {QFileInfo(path).fileName(), otherCase, wrong}) {
            expectVideo[name] = sample.video;
            arguments << in + name;
        }
    }

    const CliResult run = RunCli(arguments, root.path());
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    std::map<QString, QJsonObject> bySource;
    for (const QJsonObject& record : run.JsonLines())
        bySource[QFileInfo(record["source"].toString()).fileName()] = record;
    for (const auto& [name, video] : expectVideo) {
        const QJsonObject record = bySource[name];
        EXPECT_EQ(record["result"], "dry-run")
            << name.toStdString() << ": " << record["error"].toString().toStdString();
        EXPECT_EQ(record["kind"], video ? "video" : "image") << name.toStdString();
        EXPECT_FALSE(record["output"].toString().isEmpty()) << name.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(root.path() + "/out")) << "a dry run wrote its output folder";

    // The plain form says "would" for each of them.
    arguments.removeOne("--json");
    const CliResult plain = RunCli(arguments, root.path());
    EXPECT_EQ(plain.exitCode, 0) << plain.err.toStdString();
    const QRegularExpression would("^would ", QRegularExpression::MultilineOption);
    EXPECT_EQ(QString::fromUtf8(plain.out).count(would), static_cast<qsizetype>(expectVideo.size()))
        << plain.out.toStdString();
}

}  // namespace
