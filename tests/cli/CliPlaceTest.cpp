// SPDX-License-Identifier: GPL-3.0-or-later
// --place and --suffix of the real lumocompress-cli: the destinations a dry run plans, the
// usage errors, and a folder tree of real photos (with EXIF) and clips compressed in place,
// which comes back with the same tree and names, the originals in the trash of the test's home
// and the space freed reported to the byte.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>

#include <map>

#include "cli/CliTestSupport.h"
#include "core/app/Paths.h"
#include "core/platform/ChildProcess.h"
#include "support/TestEnv.h"

using namespace clitest;

namespace {

class CliPlaceTest : public InOutFolderTest {
protected:
    CliResult Cli(const QStringList& arguments) { return RunCli(arguments, root_.path()); }
};

// Every file below folder, by its path relative to it, sorted.
QStringList Tree(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

// What the trash holds: each original's path (from its .trashinfo) with its file in the trash.
std::map<QString, QString> Trashed()
{
    const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + "/Trash";
    std::map<QString, QString> trashed;
    for (const QString& info : QDir(trash + "/info").entryList({"*.trashinfo"}, QDir::Files)) {
        const QString text = QString::fromUtf8(testenv::ReadFile(trash + "/info/" + info));
        const QRegularExpressionMatch path =
            QRegularExpression("^Path=(.*)$", QRegularExpression::MultilineOption).match(text);
        EXPECT_TRUE(path.hasMatch()) << text.toStdString();
        trashed[QUrl::fromPercentEncoding(path.captured(1).toUtf8())] =
            trash + "/files/" + info.chopped(QString(".trashinfo").size());
    }
    return trashed;
}

struct timespec Modified(const QString& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mtim;
}

void SetModified(const QString& path, time_t seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

// The photo information exiftool reads: the camera and the time the picture was taken.
QString PhotoInfo(const QString& path)
{
    const auto run = platform::RunCapture(
        QStandardPaths::findExecutable("exiftool"),
        {"-s3", "-Make", "-Model", "-DateTimeOriginal", QDir::toNativeSeparators(path)}, 30000,
        1 << 20);
    return run.Succeeded() ? QString::fromUtf8(run.output).trimmed() : QString();
}

void WritePhotoInfo(const QString& path)
{
    const auto run =
        platform::RunCapture(QStandardPaths::findExecutable("exiftool"),
                             {"-q", "-overwrite_original", "-Make=Lumo Test", "-Model=Camera 1",
                              "-DateTimeOriginal=2021:06:05 04:03:02", path},
                             30000, 1 << 20);
    ASSERT_TRUE(run.Succeeded()) << run.output.toStdString();
}

void LosslessClip(const QString& path)
{
    ASSERT_TRUE(testenv::MakeVideo(path, 1.0, "96x64", false,
                                   {"-c:v", "libx264", "-qp", "0", "-preset", "ultrafast"}));
}

}  // namespace

TEST_F(CliPlaceTest, DryRunNamesTheDestinationOfEachPlaceAndWritesNothing)
{
    QDir().mkpath(In("photos/2023"));
    MakeImage("logo:", In("photos/2023/a.jpg"));
    testenv::WriteFile(In("photos/2023/a_small.jpg"), "taken");
    const auto planned = [&](const QStringList& place) {
        const CliResult run = Cli(QStringList{"--dry-run", "--json", "-r", "--output", Out("")} +
                                  place + QStringList{In("photos"), In("photos/2023/a.jpg")});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        QStringList outputs;
        for (const QJsonObject& record : run.JsonLines())
            if (record["source"].toString().endsWith("/a.jpg"))
                outputs << record["output"].toString();
        return outputs;
    };
    // The folder's file keeps its tree; the same file named alone goes flat.
    EXPECT_EQ(planned({"--place", "tree"}), (QStringList{Out("photos/2023/a.jpg"), Out("a.jpg")}));
    EXPECT_EQ(planned({"--place", "flat"}), (QStringList{Out("a.jpg"), Out("a(2).jpg")}));
    EXPECT_EQ(planned({"--place", "beside"}),
              (QStringList{In("photos/2023/a_small(2).jpg"), In("photos/2023/a_small(3).jpg")}));
    EXPECT_EQ(planned({"--place", "beside", "--suffix", ".min"}),
              (QStringList{In("photos/2023/a.min.jpg"), In("photos/2023/a.min(2).jpg")}));
    EXPECT_EQ(planned({"--place", "in-place"}),
              (QStringList{In("photos/2023/a.jpg"), In("photos/2023/a.jpg")}));
    EXPECT_TRUE(Names(Out("")).isEmpty());
    EXPECT_EQ(Names(In("photos/2023")), (QStringList{"a.jpg", "a_small.jpg"}));

    const CliResult text = Cli({"--dry-run", "--place", "in-place", In("photos/2023/a.jpg")});
    EXPECT_TRUE(QString::fromUtf8(text.out).contains("the original to the trash"))
        << text.out.toStdString();
}

TEST_F(CliPlaceTest, BadPlacesAndSuffixesAreUsageErrors)
{
    MakeImage("rose:", In("rose.png"));
    for (const QStringList& arguments :
         {QStringList{"--place", "sideways"}, QStringList{"--suffix", "a/b"},
          QStringList{"--suffix", ".."}, QStringList{"--suffix="}}) {
        const CliResult run = Cli(arguments + QStringList{"--output", Out(""), In("rose.png")});
        EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    }
    // A suffix from the settings file is held to the same rule when outputs go beside.
    testenv::WriteFile(testenv::ConfigHome() + "/LumoCompress/Config/configure.ini",
                       "[global]\nplace=2\nplace-suffix=/x\n");
    const CliResult fromFile = Cli({"--output", Out(""), In("rose.png")});
    EXPECT_EQ(fromFile.exitCode, 2) << fromFile.err.toStdString();
    EXPECT_TRUE(Names(Out("")).isEmpty());
    EXPECT_EQ(Names(In("")), QStringList{"rose.png"});
}

TEST_F(CliPlaceTest, InPlaceJsonRecordSaysWhatWasReplacedAndFreed)
{
    MakeImage("logo:", In("logo.png"));
    const qint64 before = QFileInfo(In("logo.png")).size();
    const CliResult run =
        Cli({"--json", "--place", "in-place", "--image-format", "webp", In("logo.png")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QList<QJsonObject> records = run.JsonLines();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0]["output"].toString(), In("logo.webp"));
    EXPECT_TRUE(records[0]["replaced_source"].toBool());
    EXPECT_EQ(records[0]["freed_bytes"].toDouble(),
              double(before - QFileInfo(In("logo.webp")).size()));
    EXPECT_EQ(Names(In("")), QStringList{"logo.webp"});
}

// The whole task: a tree of photos and clips made smaller where they are.
TEST_F(CliPlaceTest, InPlaceFolderTreeComesBackWithItsNamesDatesAndTheSpaceFreed)
{
    QDir().mkpath(In("album/2023/may"));
    QDir().mkpath(In("album/clips"));
    MakeImage("logo:", In("album/beach.jpg"));
    ASSERT_TRUE(testenv::Convert({"logo:", "-quality", "100", In("album/2023/Party.JPG")}));
    ASSERT_TRUE(testenv::Convert({"rose:", "-resize", "300x200!", In("album/2023/may/rose.png")}));
    for (const char* photo : {"album/beach.jpg", "album/2023/Party.JPG"}) {
        WritePhotoInfo(In(photo));
        ASSERT_EQ(PhotoInfo(In(photo)), "Lumo Test\nCamera 1\n2021:06:05 04:03:02");
    }
    LosslessClip(In("album/clips/clip.mp4"));
    LosslessClip(In("album/2023/may/dance.mkv"));
    const QStringList files = Tree(In("album"));
    std::map<QString, QByteArray> originals;
    time_t date = 1500000000;
    for (const QString& file : files) {
        originals[In("album/" + file)] = testenv::ReadFile(In("album/" + file));
        SetModified(In("album/" + file), date += 86400);
    }

    const CliResult run = Cli({"--place", "in-place", "-r", In("album")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString() << run.out.toStdString();

    // The same tree and names; nothing in the output folder, no hidden file left.
    EXPECT_EQ(Tree(In("album")), files);
    EXPECT_TRUE(Names(Out("")).isEmpty());
    const std::map<QString, QString> trashed = Trashed();
    ASSERT_EQ(trashed.size(), files.size());
    qint64 freed = 0;
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        const QString path = In("album/" + file);
        ASSERT_EQ(trashed.count(path), 1u);
        const QString original = trashed.at(path);
        // The original byte for byte in the trash, and the output with its dates.
        EXPECT_EQ(testenv::ReadFile(original), originals.at(path));
        const struct timespec was = Modified(original);
        const struct timespec now = Modified(path);
        EXPECT_EQ(now.tv_sec, was.tv_sec);
        EXPECT_EQ(now.tv_nsec, was.tv_nsec);
        if (file.endsWith(".jpg", Qt::CaseInsensitive)) {
            EXPECT_FALSE(PhotoInfo(original).isEmpty());
            EXPECT_EQ(PhotoInfo(path), PhotoInfo(original));
        }
        const qint64 difference = QFileInfo(original).size() - QFileInfo(path).size();
        EXPECT_GT(difference, 0);
        freed += difference;
    }
    const QString text = QString::fromUtf8(run.out);
    const QRegularExpressionMatch total =
        QRegularExpression("space freed: (\\d+) bytes \\(([^)]+)\\)").match(text);
    ASSERT_TRUE(total.hasMatch()) << text.toStdString();
    EXPECT_EQ(total.captured(1).toLongLong(), freed);
    EXPECT_TRUE(total.captured(2).endsWith("iB")) << total.captured(2).toStdString();
    EXPECT_TRUE(text.contains("outputs in place of their sources")) << text.toStdString();
}
