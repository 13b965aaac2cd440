// SPDX-License-Identifier: GPL-3.0-or-later
// The real lumocompress-cli on folders of real videos and images made here.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>
#include <map>

#include "cli/CliTestSupport.h"
#include "support/TestEnv.h"

using namespace clitest;

namespace {

constexpr char kDamaged[] = "文件可能已经损坏!";
// The same under the test's C locale, in which the command line speaks English.
constexpr char kDamagedEnglish[] = "The file may be damaged!";

class CliRunTest : public InOutFolderTest {
protected:
    void Clip(const QString& name, double seconds = 1.0, const QString& size = "64x48")
    {
        ASSERT_TRUE(testenv::MakeVideo(In(name), seconds, size));
    }
    // Bytes no type is known by (text would be refused as text before any probe).
    void Damaged(const QString& name)
    {
        testenv::WriteFile(In(name), QByteArray("\0\x01\x02\x03 not a video at all\n", 24));
    }
    CliResult Cli(QStringList arguments) { return RunCli(arguments, root_.path()); }
    // Every file under in/ with its bytes, to show the sources are never changed.
    std::map<QString, QByteArray> Sources() const
    {
        std::map<QString, QByteArray> bytes;
        for (const QString& name : Names(In(""))) bytes[name] = Bytes(In(name));
        return bytes;
    }
};

// The reasons the engines give follow the user's locale: English for an English one and for a
// locale without a language (C), the original Chinese for a Chinese one.
TEST_F(CliRunTest, FailureReasonsSpeakTheLanguageOfTheLocale)
{
    Damaged("broken.mp4");
    const QByteArray saved = qgetenv("LC_ALL");
    const std::pair<const char*, QString> cases[] = {
        {"en_US.UTF-8", "broken.mp4: The file may be damaged!"},
        {"zh_CN.UTF-8", QStringLiteral("broken.mp4: ") + kDamaged},
        {"C", "broken.mp4: The file may be damaged!"}};
    for (const auto& [locale, expected] : cases) {
        qputenv("LC_ALL", locale);
        const CliResult run = Cli({"--output", Out(""), In("broken.mp4")});
        EXPECT_TRUE(QString::fromUtf8(run.err).contains(expected))
            << locale << run.err.toStdString();
    }
    qputenv("LC_ALL", saved);
}

void ExpectOneErrorLine(const CliResult& run)
{
    ASSERT_EQ(run.ErrLines().size(), 1) << run.err.toStdString();
    EXPECT_TRUE(run.ErrLines()[0].startsWith("lumocompress-cli: ")) << run.err.toStdString();
}

TEST_F(CliRunTest, MixedFolderCompressesEveryGoodFileReportsTheDamagedOneAndNeverOverwrites)
{
    Clip("clip.mp4");
    Clip("movie.avi");  // kept container: an avi is written as mp4
    MakeImage("rose:", In("rose.png"));
    MakeImage("logo:", In("logo.jpg"));
    Damaged("broken.mp4");
    testenv::WriteFile(In("notes.txt"), "text\n");
    QFile::copy(In("clip.mp4"), In("film.Mp4"));  // any case of a video extension is taken
    const auto sources = Sources();

    const CliResult first = Cli({"--output", Out(""), In("")});
    EXPECT_EQ(first.exitCode, 1);
    // The damaged file is named on stderr, before the closing line.
    const QStringList errors = first.FailureLines();
    ASSERT_EQ(errors.size(), 2) << first.err.toStdString();
    EXPECT_TRUE(errors[0].endsWith(QStringLiteral("broken.mp4: ") + kDamagedEnglish));
    EXPECT_TRUE(errors[1].startsWith("lumocompress-cli: "));
    const QString text = QString::fromUtf8(first.out);
    EXPECT_FALSE(text.contains(u'\x1b')) << "no terminal codes on a pipe";
    EXPECT_EQ(Names(Out("")),
              QStringList({"clip.mp4", "film.mp4", "logo.jpg", "movie.mp4", "rose.png"}));
    // The closing table has a row per file taken, with its result.
    for (const char* name : {"clip.mp4", "film.Mp4", "movie.avi", "rose.png", "logo.jpg"}) {
        const auto rows = text.split(u'\n').filter(QRegularExpression(
            QStringLiteral("^\\S*%1 .* done$").arg(QRegularExpression::escape(name))));
        EXPECT_EQ(rows.size(), 1) << name << "\n" << first.out.toStdString();
    }
    EXPECT_FALSE(text.contains("notes.txt"));

    const auto firstOutputs = std::map<QString, QByteArray>{{"clip.mp4", Bytes(Out("clip.mp4"))},
                                                            {"rose.png", Bytes(Out("rose.png"))}};
    const CliResult second = Cli({"--output", Out(""), In("")});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_EQ(Names(Out("")),
              QStringList({"clip(2).mp4", "clip.mp4", "film(2).mp4", "film.mp4", "logo(2).jpg",
                           "logo.jpg", "movie(2).mp4", "movie.mp4", "rose(2).png", "rose.png"}));
    for (const auto& [name, bytes] : firstOutputs)
        EXPECT_EQ(Bytes(Out(name)), bytes) << name.toStdString();
    EXPECT_EQ(Sources(), sources);
}

TEST_F(CliRunTest, JsonLinesParseAndTheirSizesMatchTheFilesOnDisk)
{
    Clip("clip.mp4", 2.0);
    MakeImage("logo:", In("logo.png"));
    Damaged("broken.mkv");

    const CliResult run =
        Cli({"--json", "--output", Out(""), In("clip.mp4"), In("logo.png"), In("broken.mkv")});
    EXPECT_EQ(run.exitCode, 1);
    ExpectOneErrorLine(run);
    const QList<QJsonObject> lines = run.JsonLines();
    ASSERT_EQ(lines.size(), 3) << run.out.toStdString();

    std::map<QString, QJsonObject> bySource;
    for (const QJsonObject& line : lines) bySource[line["source"].toString()] = line;
    for (const QString& name : {QString("clip.mp4"), QString("logo.png")}) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(bySource.count(In(name)));
        const QJsonObject line = bySource[In(name)];
        EXPECT_EQ(line["result"].toString(), "done");
        const QString output = line["output"].toString();
        EXPECT_EQ(QFileInfo(output).absolutePath(), QFileInfo(Out("")).absolutePath());
        const qint64 sourceSize = QFileInfo(In(name)).size();
        const qint64 outputSize = QFileInfo(output).size();
        ASSERT_GT(outputSize, 0);
        EXPECT_EQ(line["source_size"].toInteger(), sourceSize);
        EXPECT_EQ(line["output_size"].toInteger(), outputSize);
        EXPECT_NEAR(line["saving"].toDouble(), (sourceSize - outputSize) * 100.0 / sourceSize,
                    0.006);
        EXPECT_FALSE(line.contains("error"));
    }
    ASSERT_TRUE(bySource.count(In("broken.mkv")));
    const QJsonObject broken = bySource[In("broken.mkv")];
    EXPECT_EQ(broken["result"].toString(), "failed");
    EXPECT_EQ(broken["error"].toString(), kDamagedEnglish);
    EXPECT_TRUE(broken["output"].isNull());
    EXPECT_TRUE(broken["saving"].isNull());
    EXPECT_EQ(broken["source_size"].toInteger(), QFileInfo(In("broken.mkv")).size());
}

TEST_F(CliRunTest, BadUsageExitsTwoWithOneLineAndTouchesNothing)
{
    MakeImage("rose:", In("rose.png"));
    testenv::WriteFile(In("notes.txt"), "text\n");
    const QString rose = In("rose.png");
    const struct {
        QStringList arguments;
        const char* says;
    } cases[] = {
        {{"--frobnicate", rose}, "unknown option --frobnicate"},
        {{"-x", rose}, "unknown option -x"},
        {{}, "no PATH"},
        {{"--video-strength", "max", rose}, "--video-strength"},
        {{"--resolution", "1000x1000", rose}, "--resolution"},
        {{"--audio-rate", "44101", rose}, "--audio-rate"},
        {{"--scale", "6", rose}, "--scale"},
        {{"--gif-drop", "5", rose}, "--gif-drop"},
        {{"--size", "0x100", rose}, "--size"},
        {{"--json=yes", rose}, "Unexpected value after '--json'"},
        {{rose, "--scale"}, "Missing value after '--scale'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const CliResult run = Cli(QStringList{"--output", Out("")} + c.arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.out.isEmpty());
        ExpectOneErrorLine(run);
        EXPECT_TRUE(run.err.contains(c.says)) << run.err.toStdString();
    }
    EXPECT_TRUE(Names(Out("")).isEmpty());
}

TEST_F(CliRunTest, SettingsFileGivesTheDefaultsAndIsNeverWritten)
{
    const QString config = testenv::ConfigHome() + "/LumoCompress/Config/configure.ini";
    const QString chosen = root_.path() + "/chosen";
    const QByteArray ini =
        "[global]\r\nimage-type=1\r\nimage-ratio-index=5\r\ncompress-type=2\r\n"
        "output-dir=" +
        chosen.toUtf8() + "\r\n";
    ASSERT_TRUE(testenv::WriteFile(config, ini));
    MakeImage("rose:", In("rose.png"));  // 70x46

    const QString help = QString::fromUtf8(Cli({"--help"}).out).simplified();
    EXPECT_TRUE(
        help.contains("--image-format keep|jpg|webp|avif output format: the source's (HEIF "
                      "becomes .heic, TIFF .tiff), or JPEG, WebP or AVIF for every image "
                      "[default: jpg]"))
        << help.toStdString();
    EXPECT_TRUE(
        help.contains("0 keeps the size; 1 to 5 keep 90, 80, 70, 60 or 50 % of the width "
                      "(aspect kept); not used with --size [default: 5]"));
    EXPECT_TRUE(help.contains("[default: limit]"));
    EXPECT_TRUE(help.contains("[default: " + chosen + "]"));

    // JPEG at half the width, into the folder of the file.
    EXPECT_EQ(Cli({In("rose.png")}).exitCode, 0);
    EXPECT_EQ(Names(chosen), QStringList{"rose.jpg"});
    EXPECT_EQ(ImageSize(chosen + "/rose.jpg"), "35x23");
    // Options win over the file.
    EXPECT_EQ(Cli({"--image-format", "keep", "--scale", "0", In("rose.png")}).exitCode, 0);
    EXPECT_EQ(ImageSize(chosen + "/rose.png"), "70x46");

    EXPECT_EQ(Bytes(config), ini);
    EXPECT_EQ(Names(QFileInfo(config).absolutePath()), QStringList{"configure.ini"});
}

TEST_F(CliRunTest, WithoutSettingsTheWindowsDefaultFolderIsUsedAndNoSettingsFileIsMade)
{
    MakeImage("rose:", In("rose.png"));
    const CliResult run = Cli({In("rose.png")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    // No Documents folder: the default folder is made in its place, as the window makes it.
    EXPECT_EQ(Names(testenv::Home() + "/Documents/LUMO视频压缩"), QStringList{"rose.png"});
    EXPECT_TRUE(run.out.contains(testenv::Home().toUtf8() + "/Documents/LUMO视频压缩"));
    EXPECT_FALSE(QFileInfo::exists(testenv::ConfigHome() + "/LumoCompress/Config/configure.ini"));
}

TEST_F(CliRunTest, VideoOptionsReachTheEncoder)
{
    Clip("clip.mp4");  // mpeg4 64x48, 44100 Hz tone

    CliResult run = Cli({"--output", Out(""), "--container", "mkv", "--resolution", "320x240",
                         "--audio-channels", "1", "--audio-rate", "22050", In("clip.mp4")});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    StreamFacts facts = Probe(Out("clip.mkv"));
    EXPECT_TRUE(facts.container.contains("matroska"));
    EXPECT_EQ(facts.videoCodec, "h264");
    EXPECT_EQ(facts.width, 320);
    EXPECT_EQ(facts.height, 240);
    EXPECT_EQ(facts.channels, 1);
    EXPECT_EQ(facts.sampleRate, 22050);

    // Compatible mode makes a new mp4 container's video MPEG-4 Part 2.
    run = Cli({"--output", Out(""), "--container", "flv", "--compatible", In("clip.mp4")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Probe(Out("clip.flv")).videoCodec, "h264") << "compatible applies to mp4 only";
    run = Cli({"--output", Out(""), "--container", "mp4", "--compatible", In("clip.mp4")});
    EXPECT_EQ(run.exitCode, 0);
    facts = Probe(Out("clip.mp4"));
    EXPECT_EQ(facts.videoCodec, "mpeg4");
    EXPECT_EQ(facts.width, 64);
    EXPECT_EQ(facts.channels, 2);
}

TEST_F(CliRunTest, SkipLargerKeepsNoOutputThatGrewAndH265ReachesTheEncoder)
{
    ASSERT_TRUE(testenv::Convert({"-size", "8x8", "xc:gray", In("dot.png")}));
    ASSERT_TRUE(testenv::Convert({"-size", "160x120", "plasma:fractal", In("plasma.png")}));
    CliResult run = Cli({"--output", Out(""), "--image-format", "jpg", "--skip-larger",
                         In("dot.png"), In("plasma.png")});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(QString::fromUtf8(run.out).contains("kept     " + In("dot.png") +
                                                    ": the original is already smaller"))
        << run.out.toStdString();
    EXPECT_EQ(Names(Out("")), QStringList{"plasma.jpg"});

    Clip("clip.mp4");
    run = Cli({"--output", Out(""), "--container", "mkv", "--video-codec", "h265", In("clip.mp4")});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_EQ(Probe(Out("clip.mkv")).videoCodec, "hevc");
}

TEST_F(CliRunTest, ChoicesThatDoNotApplyAreNamedUnderTheFilesLine)
{
    Clip("clip.mp4");
    // FLV keeps H.264, and quality mode makes two-pass one pass.
    CliResult run = Cli({"--output", Out(""), "--container", "flv", "--video-codec", "h265",
                         "--video-mode", "quality", "--two-pass", In("clip.mp4")});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    const QString out = QString::fromUtf8(run.out);
    EXPECT_TRUE(out.contains("note: H.265 applies to MP4 and MKV files")) << out.toStdString();
    EXPECT_TRUE(out.contains("note: two-pass does not apply to quality mode"));

    run = Cli({"--json", "--output", Out(""), "--video-mode", "quality", In("clip.mp4")});
    const QList<QJsonObject> lines = run.JsonLines();
    ASSERT_EQ(lines.size(), 1);
    const QJsonArray notes = lines[0]["notes"].toArray();
    ASSERT_EQ(notes.size(), 1);
    EXPECT_TRUE(notes[0].toString().startsWith("quality mode applies to files written to a new"));
    // Choices that apply leave no notes.
    run = Cli({"--json", "--output", Out(""), "--container", "mp4", "--two-pass", In("clip.mp4")});
    ASSERT_EQ(run.JsonLines().size(), 1);
    EXPECT_FALSE(run.JsonLines()[0].contains("notes"));
}

TEST_F(CliRunTest, ImageOptionsReachThePipeline)
{
    MakeImage("logo:", In("logo.jpg"));  // 640x480
    QStringList frames = {"-delay", "10", "-size", "16x16"};
    for (int i = 0; i < 13; ++i) frames << (i % 2 ? "xc:red" : "xc:blue");
    ASSERT_TRUE(testenv::Convert(frames << In("anim.gif")));

    const CliResult run = Cli({"--output", Out(""), "--size", "100x100", "--gif-drop", "4",
                               In("logo.jpg"), In("anim.gif")});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_EQ(ImageSize(Out("logo.jpg")), "100x75");
    QProcess identify;
    identify.start("identify", {"-format", "%s\n", Out("anim.gif")});
    ASSERT_TRUE(identify.waitForFinished(30000));
    // Frames 0, 1, 3, 5, 7, 9 and 11 are kept.
    EXPECT_EQ(identify.readAllStandardOutput().count('\n'), 7);
}

TEST_F(CliRunTest, RecursiveEntersSubfoldersButNotHiddenOnes)
{
    MakeImage("rose:", In("top.png"));
    MakeImage("rose:", In("sub/deeper/top.png"));
    MakeImage("rose:", In(".cache/thumb.png"));

    EXPECT_EQ(Cli({"--output", Out(""), In("")}).exitCode, 0);
    EXPECT_EQ(Names(Out("")), QStringList{"top.png"});

    const QString all = root_.path() + "/all";
    const CliResult run = Cli({"--output", all, "-r", "--json", "in"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Names(all), QStringList({"top(2).png", "top.png"}));
    const QList<QJsonObject> lines = run.JsonLines();
    ASSERT_EQ(lines.size(), 2);
    // Images run side by side: the lines come as they finish, and the first to be saved takes
    // the plain name.
    QStringList sources, outputs;
    for (const QJsonObject& line : lines) {
        sources << line["source"].toString();
        outputs << line["output"].toString();
    }
    sources.sort();
    outputs.sort();
    EXPECT_EQ(sources, QStringList({In("sub/deeper/top.png"), In("top.png")}));
    EXPECT_EQ(outputs, QStringList({all + "/top(2).png", all + "/top.png"}));
}

TEST_F(CliRunTest, OnATerminalProgressLinesAreRedrawnInPlace)
{
    Clip("clip.mp4", 6.0, "320x240");
    MakeImage("logo:", In("logo.png"));
    // script(1) gives the program a terminal of its own.
    QProcess script;
    script.setWorkingDirectory(root_.path());
    const QString command =
        QStringLiteral("'%1' --output out --container mkv in/clip.mp4 in/logo.png").arg(Program());
    script.start("script", {"-qfec", command, "/dev/null"});
    ASSERT_TRUE(script.waitForFinished(120000));
    const QString shown = QString::fromUtf8(script.readAllStandardOutput());
    EXPECT_EQ(script.exitCode(), 0) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QRegularExpression("\x1b\\[2Kvideo +\\d+% \\[[#-]+\\]")))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(QRegularExpression("\x1b\\[\\dA")));  // back up to redraw
    EXPECT_TRUE(shown.contains("File"));
    EXPECT_EQ(Names(Out("")), QStringList({"clip.mkv", "logo.png"}));
}

}  // namespace
