// SPDX-License-Identifier: GPL-3.0-or-later
// --keep-photo-info and --keep-location: parsed, defaulted from the settings file, described
// in the help, and what the real program writes with them.
#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "CliOptions.h"
#include "cli/CliTestSupport.h"
#include "support/TestEnv.h"

using namespace clitest;

namespace {

TEST(CliPhotoInfoParse, FlagsAndSettingsFileReachTheImageEngine)
{
    QTemporaryDir dir;
    const QString ini = dir.path() + "/configure.ini";
    const RunValues plain = RunValues::FromSettingsFile(ini);
    EXPECT_FALSE(plain.keepPhotoInfo || plain.keepLocation);

    const ParsedCommandLine both =
        ParseCommandLine({"--keep-photo-info", "--keep-location", "x.jpg"}, plain);
    ASSERT_EQ(both.action, ParsedCommandLine::Action::Run) << both.error.toStdString();
    EXPECT_TRUE(both.options.values.Image().keepPhotoInfo);
    EXPECT_TRUE(both.options.values.Image().keepLocation);
    const ParsedCommandLine one = ParseCommandLine({"--keep-photo-info", "x.jpg"}, plain);
    EXPECT_TRUE(one.options.values.keepPhotoInfo);
    EXPECT_FALSE(one.options.values.keepLocation);

    testenv::WriteFile(ini, "[global]\nkeep-photo-info=1\nkeep-location=1\n");
    const RunValues set = RunValues::FromSettingsFile(ini);
    EXPECT_TRUE(set.Image().keepPhotoInfo && set.Image().keepLocation);

    const QString help = HelpText(plain, ini);
    for (const char* words : {"--keep-photo-info", "--keep-location", "with --keep-photo-info"})
        EXPECT_TRUE(help.contains(words)) << words << "\n" << help.toStdString();
}

class CliPhotoInfoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        exiftool_ = QStandardPaths::findExecutable("exiftool");
        if (exiftool_.isEmpty()) GTEST_SKIP() << "exiftool is not installed";
        ASSERT_TRUE(root_.isValid());
        QDir().mkpath(root_.path() + "/in");
    }
    QString In(const QString& name) const { return root_.path() + "/in/" + name; }
    QJsonObject ExifTool(const QStringList& arguments)
    {
        QProcess run;
        run.start(exiftool_, arguments);
        EXPECT_TRUE(run.waitForFinished(30000) && run.exitCode() == 0)
            << run.readAllStandardError().toStdString();
        const QJsonArray all = QJsonDocument::fromJson(run.readAllStandardOutput()).array();
        return all.isEmpty() ? QJsonObject() : all.first().toObject();
    }
    // The tags of the output of one run into a folder of its own.
    QJsonObject OutputTags(const QString& folder, QStringList arguments)
    {
        const CliResult run =
            RunCli(arguments << "--json"
                             << "--output" << root_.path() + "/" + folder << In("photo.jpg"),
                   root_.path());
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QList<QJsonObject> records = run.JsonLines();
        if (records.size() != 1) return {};
        return ExifTool({"-j", "-G1", "-n", records[0]["output"].toString()});
    }

    QString exiftool_;
    QTemporaryDir root_;
};

TEST_F(CliPhotoInfoTest, RealRunKeepsTheCamerasFactsAndTheLocationOnlyWhenAsked)
{
    MakeImage("logo:", In("photo.jpg"));
    ExifTool({"-overwrite_original", "-q", "-Make=LumoCliMaker", "-Model=Cli Cam",
              "-DateTimeOriginal=2020:02:02 10:20:30", "-GPSLatitude=10.5", "-GPSLatitudeRef=S",
              In("photo.jpg")});

    const QJsonObject plain = OutputTags("plain", {});
    EXPECT_FALSE(plain.contains("IFD0:Make"));
    EXPECT_FALSE(plain.contains("GPS:GPSLatitude"));

    const QJsonObject kept = OutputTags("kept", {"--keep-photo-info"});
    EXPECT_EQ(kept["IFD0:Make"].toString(), "LumoCliMaker");
    EXPECT_EQ(kept["ExifIFD:DateTimeOriginal"].toString(), "2020:02:02 10:20:30");
    EXPECT_FALSE(kept.contains("GPS:GPSLatitude"));

    const QJsonObject located = OutputTags("located", {"--keep-photo-info", "--keep-location"});
    EXPECT_EQ(located["IFD0:Make"].toString(), "LumoCliMaker");
    EXPECT_DOUBLE_EQ(located["GPS:GPSLatitude"].toDouble(), 10.5);

    // Alone, --keep-location keeps nothing.
    const QJsonObject alone = OutputTags("alone", {"--keep-location"});
    EXPECT_FALSE(alone.contains("IFD0:Make") || alone.contains("GPS:GPSLatitude"));
}

}  // namespace
