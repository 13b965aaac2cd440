#include "core/app/AppConfig.h"

#include "core/app/Paths.h"
#include "core/app/Settings.h"
#include "core/platform/ProfileFile.h"
#include "support/ServiceGuard.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <latch>
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

// Values no version of the program writes (negative sizes, huge numbers, rows past a list) read
// as the setting's default; every value it does write reads back unchanged.
TEST_F(AppConfigTest, OutOfRangeValuesFallBackToTheDefault)
{
    struct Case {
        const IntSetting& setting;
        const char* stored;
        int read;
    };
    const Case cases[] = {
        {settings::kVideoRatioWidth, "-640", 0},
        {settings::kVideoRatioWidth, "99999999999", 0},
        {settings::kVideoRatioWidth, "1920", 1920},
        {settings::kVideoRatioWidth, "321", 321},
        {settings::kAudioBitrate, "-128000", 128000},
        {settings::kAudioBitrate, "4294967296", 128000},
        {settings::kAudioBitrate, "64000", 64000},
        {settings::kAudioSampleRate, "0", 44100},
        {settings::kAudioSampleRate, "7350", 7350},
        {settings::kAudioChannel, "1", 1},
        {settings::kAudioChannel, "-1", 2},
        {settings::kCompressType, "2", 2},
        {settings::kCompressType, "3", 0},
        {settings::kVideoType, "4", 4},
        {settings::kVideoType, "5", 0},
        {settings::kVideoType, "-1", 0},
        {settings::kVideoRatioIndex, "12", 12},
        {settings::kVideoRatioIndex, "13", 0},
        {settings::kAudioSampleRateIndex, "12", 12},
        {settings::kAudioSampleRateIndex, "99", 4},
        {settings::kAudioBitrateIndex, "3", 3},
        {settings::kAudioBitrateIndex, "4", 1},
        {settings::kImageRatioIndex, "5", 5},
        {settings::kImageRatioIndex, "6", 0},
        {settings::kGifDropFrameIndex, "4", 4},
        {settings::kGifDropFrameIndex, "-4", 0},
        {settings::kWindowClose, "1", 1},
        {settings::kWindowClose, "7", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.setting.key) + "=" + c.stored);
        testenv::WriteFile(ConfigFile(),
                           QByteArray("[global]\n") + c.setting.key + "=" + c.stored + "\n");
        EXPECT_EQ(ReadSetting(c.setting), c.read);
    }
}

// A settings file that is there but cannot be read gives the defaults, and says so once: a
// warning in the log (which a terminal shows) and one notice for the window.
TEST_F(AppConfigTest, AnUnreadableSettingsFileIsReportedOnce)
{
    TakeSettingsReadProblem();
    ASSERT_TRUE(QDir().mkpath(ConfigFile()));  // a folder where the file should be
    QStringList warnings;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtWarningMsg) CapturedWarnings().append(text);
        });
    CapturedWarnings().clear();
    EXPECT_EQ(ReadSetting(settings::kAudioSampleRate), 44100);
    EXPECT_EQ(ReadSetting(settings::kCompressType), 0);
    EXPECT_EQ(ReadSetting(settings::kOutputDir), "");
    qInstallMessageHandler(previous);
    warnings = CapturedWarnings();
    ASSERT_EQ(warnings.size(), 1) << warnings.join('|').toStdString();
    EXPECT_TRUE(warnings[0].startsWith("cannot read the settings file " + ConfigFile()))
        << warnings[0].toStdString();
    EXPECT_TRUE(warnings[0].endsWith("; the defaults apply"));
    EXPECT_EQ(TakeSettingsReadProblem(), warnings[0]);
    EXPECT_EQ(TakeSettingsReadProblem(), "");
    QDir(ConfigFile()).removeRecursively();

    // A file that is simply missing is no problem.
    EXPECT_EQ(ReadSetting(settings::kCompressType), 0);
    EXPECT_EQ(TakeSettingsReadProblem(), "");
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
