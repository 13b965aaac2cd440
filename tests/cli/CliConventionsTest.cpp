// SPDX-License-Identifier: GPL-3.0-or-later
// The real lumocompress-cli (and the window program's --help) against the usual terminal
// conventions: which stream carries what, exit statuses, write errors, the C locale, dry runs.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <map>

#include "cli/CliTestSupport.h"
#include "support/TestEnv.h"

using namespace clitest;

namespace {

// A video that cannot be read: bytes no type is known by, so the prober is the one to judge.
const QByteArray kDamagedBytes("\0\x01\x02\x03 not a video at all\n", 24);

class CliConventionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root_.isValid());
        QDir().mkpath(In(""));
        MakeImage("rose:", In("rose.png"));
        MakeImage("logo:", In("logo.jpg"));
        ASSERT_TRUE(testenv::WriteFile(In("notes.txt"), "plain words\n"));
    }
    QString In(const QString& name) const { return root_.path() + "/in/" + name; }
    QString Out(const QString& name) const { return root_.path() + "/out/" + name; }
    CliResult Cli(const QStringList& arguments) { return RunCli(arguments, root_.path()); }

    // Runs with environment changes and standard output sent to a file.
    CliResult CliWith(const QString& program, const QStringList& arguments,
                      const std::map<QString, QString>& environment, const QString& outputFile)
    {
        QProcess process;
        QProcessEnvironment values = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] : environment) {
            if (value.isNull())
                values.remove(name);
            else
                values.insert(name, value);
        }
        process.setProcessEnvironment(values);
        process.setWorkingDirectory(root_.path());
        if (!outputFile.isEmpty()) process.setStandardOutputFile(outputFile);
        process.start(program, arguments);
        CliResult run;
        EXPECT_TRUE(process.waitForFinished(60000)) << program.toStdString();
        run.crashed = process.exitStatus() != QProcess::NormalExit;
        run.exitCode = process.exitCode();
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }

    QTemporaryDir root_;
};

TEST_F(CliConventionsTest, ResultsGoToStdoutFailuresToStderrAndAMissingPathDoesNotStopTheRun)
{
    const CliResult run =
        Cli({"--output", Out(""), In("rose.png"), In("gone.png"), In("notes.txt"), In("logo.jpg")});
    EXPECT_EQ(run.exitCode, 1);
    // The good files around the bad ones were compressed.
    EXPECT_EQ(Names(Out("")), QStringList({"logo.jpg", "rose.png"}));

    const QString out = QString::fromUtf8(run.out);
    EXPECT_TRUE(out.contains(
        QRegularExpression("^done +" + QRegularExpression::escape(In("rose.png")) + " -> ",
                           QRegularExpression::MultilineOption)))
        << out.toStdString();
    EXPECT_TRUE(out.contains("2 of 4 files compressed")) << out.toStdString();
    // No progress and no failure line on standard output.
    EXPECT_FALSE(
        out.contains(QRegularExpression("^(start|failed) ", QRegularExpression::MultilineOption)));
    // Sizes in IEC units only.
    EXPECT_TRUE(out.contains(QRegularExpression("\\d KiB"))) << out.toStdString();
    EXPECT_FALSE(out.contains(QRegularExpression("\\dKB|\\d\\.\\d\\dM\\b")));

    const QStringList err = run.ErrLines();
    EXPECT_TRUE(err.contains("failed   " + In("gone.png") + ": not taken: no such file or folder"))
        << run.err.toStdString();
    EXPECT_TRUE(err.filter(QRegularExpression("^failed +" +
                                              QRegularExpression::escape(In("notes.txt")) + ": "))
                    .size() == 1)
        << run.err.toStdString();
    EXPECT_EQ(err.last(), "lumocompress-cli: 2 of 4 files failed");
}

TEST_F(CliConventionsTest, JsonRecordsCarryAStableCodeForEachFailure)
{
    ASSERT_TRUE(testenv::WriteFile(In("broken.mp4"), kDamagedBytes));
    ASSERT_TRUE(testenv::Convert({"-size", "8x8", "xc:gray", In("dot.png")}));
    const CliResult run =
        Cli({"--json", "--skip-larger", "--image-format", "jpg", "--output", Out(""),
             In("gone.png"), In("notes.txt"), In("broken.mp4"), In("dot.png"), In("rose.png")});
    EXPECT_EQ(run.exitCode, 1);
    std::map<QString, QJsonObject> bySource;
    for (const QJsonObject& record : run.JsonLines())
        bySource[QFileInfo(record["source"].toString()).fileName()] = record;
    ASSERT_EQ(bySource.size(), 5u) << run.out.toStdString();
    EXPECT_EQ(bySource["gone.png"]["code"], "missing");
    EXPECT_EQ(bySource["notes.txt"]["code"], "unsupported");
    EXPECT_EQ(bySource["broken.mp4"]["code"], "damaged");
    EXPECT_EQ(bySource["dot.png"]["result"], "kept");
    EXPECT_EQ(bySource["dot.png"]["code"], "not-smaller");
    EXPECT_EQ(bySource["rose.png"]["result"], "done");
    EXPECT_FALSE(bySource["rose.png"].contains("code"));
    for (const char* failed : {"gone.png", "notes.txt", "broken.mp4"}) {
        EXPECT_EQ(bySource[failed]["result"], "failed") << failed;
        EXPECT_FALSE(bySource[failed]["error"].toString().isEmpty()) << failed;
    }
}

TEST_F(CliConventionsTest, AStandardOutputThatCannotBeWrittenIsAnError)
{
    for (const QStringList& arguments :
         {QStringList{"--output", Out(""), In("rose.png")}, QStringList{"--help"},
          QStringList{"--version"},
          QStringList{"--dry-run", "--output", Out(""), In("rose.png")}}) {
        const CliResult run = CliWith(Program(), arguments, {}, "/dev/full");
        EXPECT_NE(run.exitCode, 0) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains("cannot write to standard output"))
            << arguments.join(' ').toStdString() << run.err.toStdString();
    }
}

TEST_F(CliConventionsTest, QuietPrintsOnlyFailures)
{
    const CliResult run = Cli({"--quiet", "--output", Out(""), In("rose.png"), In("gone.png")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    EXPECT_EQ(run.ErrLines(),
              QStringList({"failed   " + In("gone.png") + ": not taken: no such file or folder",
                           "lumocompress-cli: 1 of 2 files failed"}));
    EXPECT_EQ(Names(Out("")), QStringList({"rose.png"}));
}

TEST_F(CliConventionsTest, DryRunNamesEachOutputAndWritesNothing)
{
    ASSERT_TRUE(QDir().mkpath(Out("")));
    ASSERT_TRUE(testenv::WriteFile(Out("rose.png"), "an earlier output"));
    const QString folder = In("");
    CliResult run = Cli({"--dry-run", "--image-format", "webp", "--output", Out(""), In("rose.png"),
                         In("logo.jpg"), In("rose.png")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts).size(), 3);
    EXPECT_TRUE(run.out.contains(In("rose.png").toUtf8() + " -> " + Out("rose.webp").toUtf8()));
    EXPECT_TRUE(run.out.contains(Out("logo.webp").toUtf8()));
    // The same source twice gets two names, as a real run would give them.
    EXPECT_TRUE(run.out.contains(Out("rose(2).webp").toUtf8())) << run.out.toStdString();
    EXPECT_EQ(Names(Out("")), QStringList({"rose.png"}));

    // A taken name is passed over; a folder that is not there is not created.
    const QString fresh = root_.path() + "/fresh";
    run = Cli({"--dry-run", "--json", "--output", fresh, In("rose.png"), In("gone.png")});
    EXPECT_EQ(run.exitCode, 1);
    const QList<QJsonObject> records = run.JsonLines();
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[0]["code"], "missing");
    EXPECT_EQ(records[1]["result"], "dry-run");
    EXPECT_EQ(records[1]["output"], fresh + "/rose.png");
    EXPECT_FALSE(QFileInfo::exists(fresh));
    EXPECT_EQ(Names(folder), QStringList({"logo.jpg", "notes.txt", "rose.png"}));
}

TEST_F(CliConventionsTest, TheCAndPosixLocalesSpeakEnglish)
{
    ASSERT_TRUE(testenv::WriteFile(In("broken.mp4"), kDamagedBytes));
    for (const char* locale : {"C", "POSIX", "C.UTF-8"}) {
        const CliResult run =
            CliWith(Program(), {"--output", Out(""), In("broken.mp4")},
                    {{"LC_ALL", locale}, {"LC_MESSAGES", QString()}, {"LANG", QString()}}, {});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains("broken.mp4: The file may be damaged!"))
            << locale << run.err.toStdString();
    }
}

TEST_F(CliConventionsTest, TheWindowProgramAnswersHelpAndVersionWithoutADisplay)
{
    const QString window = QStringLiteral(LUMO_BINARY_DIR "/lumocompress");
    const std::map<QString, QString> noDisplay = {
        {"DISPLAY", QString()}, {"WAYLAND_DISPLAY", QString()}, {"QT_QPA_PLATFORM", QString()}};
    CliResult run = CliWith(window, {"--help"}, noDisplay, {});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith("Usage: lumocompress ")) << run.out.toStdString();
    run = CliWith(window, {"--version"}, noDisplay, {});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(
        QString::fromUtf8(run.out).contains(QRegularExpression("^lumocompress \\d+\\.\\d+")))
        << run.out.toStdString();
    run = CliWith(window, {"--version"}, noDisplay, "/dev/full");
    EXPECT_EQ(run.exitCode, 1);
}

}  // namespace
