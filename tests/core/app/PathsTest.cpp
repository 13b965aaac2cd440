// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/Paths.h"

#include "core/app/AppConfig.h"
#include "core/app/Settings.h"
#include "core/platform/ProfileFile.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <functional>
#include <thread>

namespace {

const QString kDefaultName = QString::fromUtf8(kDefaultOutputFolderName);

// Sets an environment variable (one the test process always has) until the end of the scope.
struct ScopedEnv {
    ScopedEnv(const char* name, const QByteArray& value) : name(name), old(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnv() { qputenv(name, old); }
    const char* name;
    QByteArray old;
};

class PathsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QFile::remove(AppConfig::Path());
    }

    QString Sub(const QString& relative) const { return m_dir.path() + "/" + relative; }

    QTemporaryDir m_dir;
};

// ---- Special folders ----------------------------------------------------------------------

TEST_F(PathsTest, AppDataFollowsXdgConfigHome)
{
    EXPECT_EQ(GetSpecialFolder(SpecialFolder::AppData), testenv::ConfigHome());
    {
        ScopedEnv env("XDG_CONFIG_HOME", Sub("cfg/").toUtf8());
        EXPECT_EQ(GetSpecialFolder(SpecialFolder::AppData), Sub("cfg"));
    }
    {
        ScopedEnv env("XDG_CONFIG_HOME", "relative/cfg");
        EXPECT_EQ(GetSpecialFolder(SpecialFolder::AppData), testenv::Home() + "/.config");
    }
    EXPECT_FALSE(QFileInfo::exists(Sub("cfg")));  // nothing is created
}

TEST_F(PathsTest, UserDirsAreReadAfreshOnEveryCall)
{
    testenv::SetUserDirs(Sub("docs1"), Sub("desk1"));
    EXPECT_EQ(GetSpecialFolder(SpecialFolder::Documents), Sub("docs1"));
    testenv::SetUserDirs(Sub("docs2"), Sub("desk2"));
    EXPECT_EQ(GetSpecialFolder(SpecialFolder::Documents), Sub("docs2"));
    EXPECT_EQ(GetSpecialFolder(SpecialFolder::Desktop), Sub("desk2"));
    EXPECT_FALSE(QFileInfo::exists(Sub("docs2")));
}

// ---- Creating folders ---------------------------------------------------------------------

TEST_F(PathsTest, MissingLevelsAreCreatedExistingOnesLeftQuietly)
{
    const QString deep = testenv::ConfigHome() + "/LumoCompress/Temp/a b/视频";
    testing::internal::CaptureStdout();
    EXPECT_EQ(EnsureUserFolder("LumoCompress/Temp/a b/视频"), deep);
    EXPECT_TRUE(QFileInfo(deep).isDir());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(PathsTest, TemporaryFilesLiveInTheCacheNotWithTheSettings)
{
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    ASSERT_FALSE(cache.isEmpty());
    EXPECT_EQ(CacheHome(), cache);
    EXPECT_EQ(EnsureUserFolder(kTempFolder), cache + "/" + kTempFolder);
    EXPECT_TRUE(QFileInfo(cache + "/" + kTempFolder).isDir());
    EXPECT_FALSE(QFileInfo::exists(testenv::ConfigHome() + "/" + kTempFolder));
    // The other folders stay with the settings.
    EXPECT_EQ(EnsureUserFolder(kConfigFolder), testenv::ConfigHome() + "/" + kConfigFolder);

    // A relative value is ignored, as for the settings folder.
    qputenv("XDG_CACHE_HOME", "relative/cache");
    EXPECT_EQ(CacheHome(), QDir::cleanPath(qEnvironmentVariable("HOME")) + "/.cache");
    qputenv("XDG_CACHE_HOME", cache.toUtf8());
}

TEST_F(PathsTest, FolderBelowAReadOnlyParentPrintsEachFailedLevel)
{
    const QString parent = Sub("locked");
    ASSERT_TRUE(QDir().mkdir(parent));
    QFile::setPermissions(parent, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    std::string oneLevel;
    std::string twoLevels;
    const bool enforced = testenv::RunUnderFilePermissions(parent, [&] {
        testing::internal::CaptureStdout();
        EnsureFolder(parent + "/x");
        oneLevel = testing::internal::GetCapturedStdout();
        testing::internal::CaptureStdout();
        EnsureFolder(parent + "/y/z");
        twoLevels = testing::internal::GetCapturedStdout();
    });
    QFile::setPermissions(parent,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (!enforced) GTEST_SKIP() << "file permissions do not bind in this environment";
    const std::string p = parent.toStdString();
    EXPECT_EQ(oneLevel, "create dir error curPath: " + p + "/x\n");
    EXPECT_EQ(twoLevels, "create dir error fullPath: " + p + "/y\n" +
                             "create dir error curPath: " + p + "/y/z\n");
}

// ---- Output folder ------------------------------------------------------------------------

TEST_F(PathsTest, ConfiguredFolderIsTrimmedAndCreated)
{
    const QString folder = Sub("out put/视频");
    ASSERT_TRUE(WriteSetting(settings::kOutputDir, " \t" + folder + "/ \t"));
    EXPECT_EQ(GetOutputFolder(), folder);
    EXPECT_TRUE(QFileInfo(folder).isDir());
    ASSERT_TRUE(WriteSetting(settings::kOutputDir, "/"));
    EXPECT_EQ(GetOutputFolder(), "/");
}

TEST_F(PathsTest, WithDocumentsTheDefaultGoesToTheDesktop)
{
    testenv::SetUserDirs(Sub("文档"), Sub("桌面"));
    ASSERT_TRUE(QDir().mkdir(Sub("文档")));
    ASSERT_TRUE(WriteSetting(settings::kOutputDir, "   "));  // blanks only count as empty
    const QString expected = Sub("桌面/") + kDefaultName;
    EXPECT_EQ(GetOutputFolder(), expected);
    EXPECT_TRUE(QFileInfo(expected).isDir());
    EXPECT_FALSE(QFileInfo::exists(Sub("文档/") + kDefaultName));
}

TEST_F(PathsTest, WithoutDocumentsTheDefaultGoesIntoItAndIsNotWrittenBack)
{
    testenv::SetUserDirs(Sub("Documents"), Sub("Desktop"));
    const QString expected = Sub("Documents/") + kDefaultName;
    EXPECT_EQ(GetOutputFolder(), expected);
    EXPECT_TRUE(QFileInfo(expected).isDir());
    EXPECT_FALSE(QFileInfo::exists(Sub("Desktop")));
    EXPECT_EQ(platform::GetPrivateProfileString("global", "output-dir", "<absent>", 260,
                                                AppConfig::Path()),
              "<absent>");
    // Making the default created Documents; the default stays where it was made.
    EXPECT_EQ(GetOutputFolder(), expected);
    EXPECT_FALSE(QFileInfo::exists(Sub("Desktop")));
}

// ---- Files and tools ----------------------------------------------------------------------

TEST_F(PathsTest, FileExistsMeansReadable)
{
    ASSERT_TRUE(testenv::WriteFile(Sub("file"), "x"));
    EXPECT_TRUE(FileExists(Sub("file")));
    EXPECT_FALSE(FileExists(Sub("missing")));
    EXPECT_FALSE(FileExists(m_dir.path()));  // a folder is not a file
}

TEST_F(PathsTest, ExecutableFolderIsTheTestBinarysFolder)
{
    EXPECT_EQ(ExecutableFolder(), QCoreApplication::applicationDirPath() + "/");
}

TEST_F(PathsTest, FindToolPrefersAnExecutableBesideTheProgram)
{
    // A name no other test uses, so the file beside the test binary disturbs nobody.
    const QString name = QString("lumo-probe-tool-%1").arg(QCoreApplication::applicationPid());
    const QString onPath = Sub("bin/") + name;
    const QString beside = ExecutableFolder() + name;
    ScopedEnv path("PATH", Sub("bin").toUtf8());
    auto makeTool = [](const QString& file, QFileDevice::Permissions extra) {
        testenv::WriteFile(file, "#!/bin/sh\n");
        QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner | extra);
    };

    EXPECT_EQ(FindTool(name), "");
    makeTool(beside, {});  // not executable: skipped
    makeTool(onPath, QFileDevice::ExeOwner);
    EXPECT_EQ(FindTool(name), onPath);
    makeTool(beside, QFileDevice::ExeOwner);
    EXPECT_EQ(FindTool(name), beside);
    QFile::remove(beside);
}

TEST_F(PathsTest, DataIsTakenFromBesideTheExecutableElseFromTheInstalledShareFolder)
{
    // A prefix laid out as an installation: bin/ and share/lumocompress/.
    const QString bin = Sub("prefix/bin/");
    const QString share = Sub("prefix/share/lumocompress/");
    EnsureFolder(Sub("prefix/bin"));
    EnsureFolder(share + "skin");
    ASSERT_TRUE(testenv::WriteFile(share + "Config.ini", "[global]\n"));

    EXPECT_EQ(FindDataPath(bin, "skin"), Sub("prefix/share/lumocompress/skin"));
    EXPECT_EQ(FindDataPath(bin, "Config.ini"), share + "Config.ini");
    // Shipped nowhere: the name beside the executable, where the build folder keeps it.
    EXPECT_EQ(FindDataPath(bin, "missing.xml"), bin + "missing.xml");

    // Beside the executable wins, folders and files alike.
    EnsureFolder(bin + "skin");
    ASSERT_TRUE(testenv::WriteFile(bin + "Config.ini", "[global]\n"));
    EXPECT_EQ(FindDataPath(bin, "skin"), bin + "skin");
    EXPECT_EQ(FindDataPath(bin, "Config.ini"), bin + "Config.ini");

    // The share folder is found relative to the executable, not in a fixed prefix: a copy of
    // the installation elsewhere uses its own files.
    const QString moved = Sub("moved/");
    EnsureFolder(Sub("moved"));
    ASSERT_TRUE(QDir().rename(Sub("prefix"), moved + "opt"));
    EXPECT_EQ(FindDataPath(moved + "opt/bin/", "Config.ini"), moved + "opt/bin/Config.ini");
    QFile::remove(moved + "opt/bin/Config.ini");
    EXPECT_EQ(FindDataPath(moved + "opt/bin/", "Config.ini"),
              moved + "opt/share/lumocompress/Config.ini");
    // A folder given without its trailing "/" is the same folder.
    EXPECT_EQ(FindDataPath(moved + "opt/bin", "Config.ini"),
              moved + "opt/share/lumocompress/Config.ini");
}

}  // namespace
