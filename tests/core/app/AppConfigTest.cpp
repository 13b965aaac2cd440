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

    testenv::WriteFile(ConfigFile(), "[global]\naudio-channel=two\naudio-bitrate=\n");
    EXPECT_EQ(ReadSetting(settings::kAudioChannel), 0);
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

TEST_F(AppConfigTest, InstallConfigLiesBesideTheExecutable)
{
    EXPECT_EQ(AppConfig::InstallConfigPath(),
              QCoreApplication::applicationDirPath() + "/Config.ini");
    // The tests' Config.ini names a service address and no channel.
    EXPECT_EQ(AppConfig::GetInstallString("server", "", 260), testenv::UnreachableServiceAddress());
    EXPECT_EQ(AppConfig::GetInstallString("ag", "", 50), "");
}

}  // namespace
