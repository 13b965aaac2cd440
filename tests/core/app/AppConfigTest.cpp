// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/AppConfig.h"

#include "core/app/Paths.h"
#include "core/app/Settings.h"
#include "core/platform/ProfileFile.h"
#include "support/ServiceGuard.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <signal.h>

#include <latch>
#include <string>
#include <thread>
#include <vector>

namespace {

QStringList& CapturedWarnings()
{
    static QStringList warnings;
    return warnings;
}

class AppConfigTest : public ::testing::Test {
protected:
    void SetUp() override { QFile::remove(ConfigFile()); }

    static QString ConfigFile()
    {
        return testenv::ConfigHome() + "/LumoCompress/Config/configure.ini";
    }
};

TEST_F(AppConfigTest, EveryCallRecreatesAMissingFolder)
{
    const QString& first = AppConfig::Path();
    EXPECT_EQ(first, ConfigFile());
    ASSERT_TRUE(QDir(testenv::ConfigHome() + "/LumoCompress").removeRecursively());
    EXPECT_EQ(&AppConfig::Path(), &first);
    EXPECT_TRUE(WriteSetting(settings::kCompressType, 2));
    EXPECT_EQ(ReadSetting(settings::kCompressType), 2);
}

TEST_F(AppConfigTest, ThreadsRecreatingTheFolderTogetherReportNoFailure)
{
    // The UI thread and both workers may find the folder gone at the same moment; the one that
    // loses the race to create a level must not report a failure.
    constexpr int kThreads = 4;
    std::vector<const QString*> seen(kThreads);
    testing::internal::CaptureStdout();
    for (int round = 0; round < 40; ++round) {
        QDir(testenv::ConfigHome() + "/LumoCompress").removeRecursively();
        std::latch start(kThreads);
        std::vector<std::jthread> threads;
        for (auto& slot : seen) {
            threads.emplace_back([&] {
                start.arrive_and_wait();
                slot = &AppConfig::Path();
            });
        }
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    for (const QString* path : seen) EXPECT_EQ(path, seen.front());
}

TEST_F(AppConfigTest, MissingKeysGiveDefaultsLettersGiveZero)
{
    EXPECT_EQ(ReadSetting(settings::kAudioSampleRate), 44100);  // no file yet
    QString out = "stale";
    EXPECT_FALSE(AppConfig::GetString("global", "user-real-ip", "", out, 56));
    EXPECT_EQ(out, "");

    testenv::WriteFile(ConfigFile(),
                       "[global]\ncompress-type=two\naudio-channel=two\naudio-bitrate=\n");
    EXPECT_EQ(ReadSetting(settings::kCompressType), 0);
    // No channels at all is no value ffmpeg takes: the default stands in.
    EXPECT_EQ(ReadSetting(settings::kAudioChannel), 2);
    EXPECT_EQ(ReadSetting(settings::kAudioBitrate), 128000);  // empty counts as missing
    EXPECT_EQ(ReadSetting(settings::kAudioSampleRate), 44100);
}

TEST_F(AppConfigTest, WritesLandInSectionGlobalAndReachTheNextRead)
{
    ASSERT_TRUE(WriteSetting(settings::kVideoType, 3));
    ASSERT_TRUE(WriteSetting(settings::kOutputDir, "/home/me/压缩"));
    EXPECT_EQ(ReadSetting(settings::kVideoType), 3);
    EXPECT_EQ(ReadSetting(settings::kOutputDir), "/home/me/压缩");
    EXPECT_EQ(platform::GetPrivateProfileString("global", "video-type", "", 10, ConfigFile()), "3");

    // Another writer (a second window, a hand edit) is seen at once: nothing is cached.
    ASSERT_TRUE(platform::WritePrivateProfileString("global", "video-type", "1", ConfigFile()));
    EXPECT_EQ(ReadSetting(settings::kVideoType), 1);
}

TEST_F(AppConfigTest, StringsAreCutToTheTableCapacity)
{
    ASSERT_TRUE(WriteSetting(settings::kUserRealIp, QString(80, u'9')));
    EXPECT_EQ(ReadSetting(settings::kUserRealIp), QString(55, u'9'));
}

// Every number key of the table reads exactly what the program writes for it: the rows of its
// list, its list's values, 0 or 1. Anything else (no whole number, out of range, a value of no
// row) reads as the key's default.
TEST_F(AppConfigTest, EachKeyReadsOnlyTheValuesOfItsTable)
{
    struct Row {
        const IntSetting& setting;
        std::vector<int> valid;
        std::vector<const char*> invalid;
    };
    // Read by every key: none of them is a value the program writes.
    const std::vector<const char*> neverValid = {"1.5", "1e3",         "2x",         "abc",  "0x1",
                                                 "- 1", "99999999999", "2147483648", "-1.0", "--1"};
    const Row rows[] = {
        {settings::kCompressType, {0, 1, 2}, {"3", "-1"}},
        {settings::kVideoType, {0, 1, 4}, {"5", "-1"}},
        {settings::kVideoRatioIndex, {0, 1, 12}, {"13", "-4"}},
        {settings::kVideoRatioWidth, {0, 1920, 640, 320}, {"321", "16384", "-640", "1080"}},
        {settings::kVideoRatioHeight, {0, 1080, 272, 240}, {"241", "16384", "-1", "1920"}},
        {settings::kAudioChannel, {1, 2}, {"0", "3", "8", "-1"}},
        {settings::kAudioChannelIndex, {0, 1}, {"2", "-1"}},
        {settings::kAudioSampleRate, {96000, 44100, 7350}, {"0", "44101", "384000", "1000"}},
        {settings::kAudioSampleRateIndex, {0, 4, 12}, {"13", "99"}},
        {settings::kAudioBitrate, {320000, 128000, 64000}, {"-128000", "4294967296", "1000"}},
        {settings::kAudioBitrateIndex, {0, 1, 3}, {"4", "-1"}},
        {settings::kWindowClose, {0, 1}, {"7", "-1"}},
        {settings::kImageCompressType, {0, 2}, {"3", "-1"}},
        {settings::kImageType, {0, 3}, {"4", "-1"}},
        {settings::kImageRatioIndex, {0, 5}, {"6", "-1"}},
        {settings::kImageDefineParam, {0, 1}, {"2", "-1"}},
        {settings::kGifDefineParam, {0, 1}, {"7", "-1"}},
        {settings::kGifDropFrameIndex, {0, 4}, {"5", "-4"}},
        {settings::kKeepSmaller, {0, 1}, {"-1", "2", "2147483647"}},
        {settings::kVideoCodec, {0, 1, 2}, {"3", "-1"}},
    };
    const auto read = [&](const IntSetting& setting, const QByteArray& stored) {
        testenv::WriteFile(ConfigFile(), QByteArray("[global]\n") + setting.key + "=" + stored);
        return ReadSetting(setting);
    };
    for (const Row& row : rows) {
        for (const int value : row.valid) {
            SCOPED_TRACE(std::string(row.setting.key) + "=" + std::to_string(value));
            EXPECT_EQ(read(row.setting, QByteArray::number(value)), value);
        }
        std::vector<const char*> invalid = row.invalid;
        invalid.insert(invalid.end(), neverValid.begin(), neverValid.end());
        for (const char* stored : invalid) {
            SCOPED_TRACE(std::string(row.setting.key) + "=" + stored);
            EXPECT_EQ(read(row.setting, stored), row.setting.defaultValue);
        }
    }
    // The ini file's own forms of a value still count: blanks, quotes, a sign, leading zeros.
    for (const char* stored : {" 1 ", "\"1\"", "'1'", "+1", "01"}) {
        SCOPED_TRACE(stored);
        EXPECT_EQ(read(settings::kKeepSmaller, stored), 1);
    }
    // The ini function underneath keeps its own reading (leading digits).
    EXPECT_EQ(platform::GetPrivateProfileInt("global", "keep-smaller", 0, ConfigFile()), 1);
    read(settings::kKeepSmaller, "1.5");
    EXPECT_EQ(platform::GetPrivateProfileInt("global", "keep-smaller", 0, ConfigFile()), 1);
}

// A settings file that is there but is not used gives the defaults, and says so once: a warning
// in the log (which a terminal shows) and one notice for the window, a line per file.
TEST_F(AppConfigTest, ASettingsFileThatIsNotUsedIsReportedOnce)
{
    TakeSettingsReadProblem();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtWarningMsg) CapturedWarnings().append(text);
        });
    CapturedWarnings().clear();
    QStringList files;
    for (const testenv::OddFile kind : testenv::kOddFiles) {
        SCOPED_TRACE(testenv::OddFileName(kind));
        const QString file = testenv::Home() + "/odd/" + QString::number(files.size()) + ".ini";
        files << file;
        ASSERT_TRUE(testenv::MakeOddFile(kind, file));
        EXPECT_EQ(ReadSettingFrom(file, settings::kCompressType), 0);
        EXPECT_EQ(ReadSettingFrom(file, settings::kKeepSmaller), 0);
        EXPECT_EQ(ReadSettingFrom(file, settings::kAudioSampleRate), 44100);
        EXPECT_EQ(ReadSettingFrom(file, settings::kOutputDir), "");
    }
    qInstallMessageHandler(previous);
    const QStringList warnings = CapturedWarnings();
    ASSERT_EQ(warnings.size(), files.size()) << warnings.join('|').toStdString();
    const char* reasons[] = {"(not a regular file)", "(not a regular file)", "(larger than 1 MiB)",
                             "(Is a directory)"};
    for (qsizetype i = 0; i < files.size(); ++i) {
        EXPECT_TRUE(
            warnings[i].startsWith("cannot read the settings file " + files[i] + " " + reasons[i]))
            << warnings[i].toStdString();
        EXPECT_TRUE(warnings[i].endsWith("; the defaults apply"));
    }
    EXPECT_EQ(TakeSettingsReadProblem(), warnings.join('\n'));
    EXPECT_EQ(TakeSettingsReadProblem(), "");

    // A file that is simply missing is no problem.
    EXPECT_EQ(ReadSetting(settings::kCompressType), 0);
    EXPECT_EQ(TakeSettingsReadProblem(), "");
}

// The window, started for real, comes up with a pipe or a link to /dev/zero in place of its
// settings file and says once that the file was not used.
TEST_F(AppConfigTest, TheWindowStartsWhateverStandsInPlaceOfItsSettingsFile)
{
    for (const testenv::OddFile kind : {testenv::OddFile::Fifo, testenv::OddFile::DevZeroLink}) {
        SCOPED_TRACE(testenv::OddFileName(kind));
        ASSERT_TRUE(testenv::MakeOddFile(kind, ConfigFile()));
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::MergedChannels);
        QElapsedTimer timer;
        timer.start();
        program.start(QStringLiteral(LUMO_TEST_PROGRAM), {"--verbose"});
        QByteArray output;
        const bool shown = testenv::WaitUntil(
            [&] {
                output += program.readAll();
                return output.contains("mainWindow shown");
            },
            20000);
        const qint64 elapsed = timer.elapsed();
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        EXPECT_TRUE(program.waitForFinished(10000));
        output += program.readAll();
        EXPECT_TRUE(shown) << output.toStdString();
        EXPECT_LT(elapsed, 15000);
        EXPECT_EQ(output.count("cannot read the settings file " + ConfigFile().toUtf8() +
                               " (not a regular file)"),
                  1)
            << output.toStdString();
        QFile::remove(ConfigFile());
    }
}

TEST_F(AppConfigTest, InstallConfigLiesBesideTheExecutable)
{
    EXPECT_EQ(AppConfig::InstallConfigPath(),
              QCoreApplication::applicationDirPath() + "/Config.ini");
    // The tests' Config.ini names a service address and no channel.
    EXPECT_EQ(AppConfig::GetInstallString("server", "", 260), testenv::UnreachableServiceAddress());
    EXPECT_EQ(AppConfig::GetInstallString("ag", "", 50), "");
}

}  // namespace
