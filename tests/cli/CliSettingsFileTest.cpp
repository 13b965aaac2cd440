// SPDX-License-Identifier: GPL-3.0-or-later
// The real lumocompress-cli with a settings file that is no small regular file, and with values
// in it that the program never writes.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "cli/CliTestSupport.h"
#include "support/TestEnv.h"

using namespace clitest;

namespace {

QString SettingsFile()
{
    return testenv::ConfigHome() + "/LumoCompress/Config/configure.ini";
}

// A pipe, a link to /dev/zero, a 4 GiB file or a folder in place of configure.ini: --help still
// answers at once with the defaults, and one line on stderr says the file was not used.
TEST(CliSettingsFileTest, HelpAnswersPromptlyWhateverStandsInPlaceOfTheSettingsFile)
{
    QTemporaryDir folder;
    const QByteArray defaultHelp = RunCli({"--help"}, folder.path()).out;
    ASSERT_TRUE(defaultHelp.startsWith("Usage: lumocompress-cli")) << defaultHelp.toStdString();
    for (const testenv::OddFile kind : testenv::kOddFiles) {
        SCOPED_TRACE(testenv::OddFileName(kind));
        ASSERT_TRUE(testenv::MakeOddFile(kind, SettingsFile()));
        QElapsedTimer timer;
        timer.start();
        const CliResult result = RunCli({"--help"}, folder.path(), 10000);
        EXPECT_LT(timer.elapsed(), 5000);
        EXPECT_EQ(result.exitCode, 0);
        // The 4 GiB file starts with settings that must not be taken.
        EXPECT_EQ(result.out, defaultHelp);
        const QStringList errors = result.ErrLines();
        ASSERT_EQ(errors.size(), 1) << result.err.toStdString();
        EXPECT_TRUE(errors[0].contains("cannot read the settings file " + SettingsFile()))
            << errors[0].toStdString();
        if (kind == testenv::OddFile::Folder)
            QDir(SettingsFile()).removeRecursively();
        else
            QFile::remove(SettingsFile());
    }
}

// A picture size that is none of the list's (16384x16384 would fail in ffmpeg) keeps the
// source's size; a value that is no whole number reads as its default.
TEST(CliSettingsFileTest, ValuesTheProgramNeverWritesDoNotReachTheEncoder)
{
    QTemporaryDir folder;
    const QString source = folder.path() + "/in/clip.mp4";
    ASSERT_TRUE(testenv::MakeVideo(source, 1.0, "160x120"));
    ASSERT_TRUE(testenv::WriteFile(SettingsFile(),
                                   "[global]\nvideo-ratio-width=16384\nvideo-ratio-height=16384\n"
                                   "video-type=4\naudio-sample-rate=8000.5\naudio-channel=1x\n"));
    const CliResult result =
        RunCli({"--json", "--output", folder.path() + "/out", source}, folder.path());
    ASSERT_EQ(result.exitCode, 0) << result.out.toStdString() << result.err.toStdString();
    EXPECT_EQ(result.err, "");
    const StreamFacts facts = Probe(folder.path() + "/out/clip.mkv");
    EXPECT_EQ(facts.width, 160);
    EXPECT_EQ(facts.height, 120);
    EXPECT_EQ(facts.sampleRate, 44100) << "the default rate, not 8000";
    EXPECT_EQ(facts.channels, 2) << "the default channel count, not one";
}

}  // namespace
