// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <QAbstractButton>
#include <QDateTime>
#include <QLabel>
#include <QPointer>
#include <QUrlQuery>

#include "core/net/UpgradeCheck.h"
#include "gui/net/NetWindowSupport.h"
#include "gui/net/Upgrader.h"
#include "gui/ui/WindowMessages.h"
#include "support/GuiTestEnv.h"

namespace {

using nettest::LocalServer;
using testenv::FakeShell;

constexpr char kNewVersionText[] = "发现新版本啦!";
constexpr char kNoNewVersionText[] = "没有发现新版本!";

// ---------------------------------------------------------------- version comparison

struct VersionCase {
    const char* server;
    bool newer;
};

class VersionComparisonTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionComparisonTest, AgainstTheLocalVersion)
{
    const VersionCase& c = GetParam();
    EXPECT_EQ(IsNewerVersion(ParseVersion(c.server), ParseVersion(kLocalVersion)), c.newer)
        << c.server;
}

INSTANTIATE_TEST_SUITE_P(
    Versions, VersionComparisonTest,
    ::testing::Values(VersionCase{"1.5.1", true}, VersionCase{"2.0.0", true},
                      VersionCase{"1.4.9", false}, VersionCase{"1.5.0", false},
                      VersionCase{"1.6", true},       // a missing piece counts as 0
                      VersionCase{"1.10.0", true},    // pieces compare as numbers, not text
                      VersionCase{"1.5.0.7", false},  // a fourth piece is not read
                      VersionCase{"0.99.99", false}, VersionCase{"", false},
                      VersionCase{"v2.0.0", false}));  // no leading digits: 0

// ---------------------------------------------------------------- the check against a server

// A service whose "/v2/upgrade_check" gives the answer set and records the requests it gets;
// it also hands out a small installer.
class UpgradeServer {
public:
    explicit UpgradeServer(std::string answer = std::string()) : answer_(std::move(answer))
    {
        local.server().Post(kUpgradeCheckPath,
                            [this](const httplib::Request& request, httplib::Response& response) {
                                std::lock_guard<std::mutex> guard(lock);
                                requests.push_back(request);
                                response.set_content(answer_, "application/json");
                            });
        local.server().Get("/files/setup.run",
                           [this](const httplib::Request& request, httplib::Response& response) {
                               std::lock_guard<std::mutex> guard(lock);
                               downloads.push_back(request.method);
                               response.set_content("installer", "application/octet-stream");
                           });
        local.Start();
    }

    std::string FileUrl() const { return local.Url("/files/setup.run"); }
    size_t RequestCount()
    {
        std::lock_guard<std::mutex> guard(lock);
        return requests.size();
    }
    bool Downloaded()
    {
        std::lock_guard<std::mutex> guard(lock);
        return !downloads.empty();
    }
    void SetAnswer(std::string answer)
    {
        std::lock_guard<std::mutex> guard(lock);
        answer_ = std::move(answer);
    }

    std::mutex lock;
    std::vector<httplib::Request> requests;
    std::vector<std::string> downloads;

private:
    std::string answer_;

public:
    // Last: the server stops before the records its handlers write go.
    LocalServer local;
};

std::string Answer(const std::string& version, const std::string& url, const char* force)
{
    return "{\"ret\":0,\"data\":{\"app_version\":\"" + version + "\",\"download_url\":\"" + url +
           "\",\"force_upgrade\":\"" + force + "\",\"sha256\":\"AbC\"}}";
}

TEST(UpgradeCheckTest, SendsTheAppNameWithATimestampAndReadsTheOffer)
{
    UpgradeServer service(Answer("1.6.0", "http://127.0.0.1:9/x/setup.run", "1"));
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    const UpgradeCheckResult result = CheckForUpgrade(service.local.Address());
    const qint64 after = QDateTime::currentMSecsSinceEpoch();

    ASSERT_EQ(service.requests.size(), 1u);
    const httplib::Request& request = service.requests[0];
    EXPECT_EQ(request.body, "{\"app_name\":\"LumoCompress\"}");
    ASSERT_TRUE(request.has_param("timestamp"));
    const qint64 stamp = std::stoll(request.get_param_value("timestamp"));
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);

    ASSERT_EQ(result.outcome, UpgradeCheckResult::Outcome::NewVersion);
    EXPECT_EQ(result.offer.version, "1.6.0");
    EXPECT_EQ(result.offer.downloadUrl, "http://127.0.0.1:9/x/setup.run");
    EXPECT_EQ(result.offer.force, 1);
    EXPECT_EQ(result.offer.sha256, "AbC");
}

TEST(UpgradeCheckTest, BadAnswersSaySomethingFailedNotThatThereIsNoUpdate)
{
    const char* answers[] = {
        "not json",
        "{\"ret\":1,\"data\":{\"app_version\":\"9.0.0\"}}",
        "{\"ret\":\"0\",\"data\":{\"app_version\":\"9.0.0\"}}",
        "[1,2]",
    };
    for (const char* answer : answers) {
        UpgradeServer service(answer);
        EXPECT_EQ(CheckForUpgrade(service.local.Address()).outcome,
                  UpgradeCheckResult::Outcome::Failed)
            << answer;
    }
    const QString nobody = QString("http://127.0.0.1:%1").arg(nettest::UnusedPort());
    EXPECT_EQ(CheckForUpgrade(nobody).outcome, UpgradeCheckResult::Outcome::Failed);
}

// ---------------------------------------------------------------- what the user sees

class UpgraderTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        delete upgrader;
        // Let deferred deletions of closed dialogs run before the next test.
        testenv::WaitUntil([] { return false; }, 50);
    }

    Upgrader* Make(const QString& address)
    {
        upgrader = new Upgrader(
            &owner, [this] { ++endRequests; }, address);
        return upgrader;
    }

    nettest::RecordingOwner owner;
    testenv::FakeShell shell;
    QPointer<Upgrader> upgrader;
    int endRequests = 0;
};

TEST_F(UpgraderTest, TheMenuCheckSaysSoWhenThereIsNoNewerVersion)
{
    UpgradeServer service(Answer(kLocalVersion, "", "0"));
    QString seen;
    testenv::ClickWhenShown("PromptBoxDialog", "msgConfirm", &seen);
    Make(service.local.Address())->CheckNow();
    EXPECT_EQ(seen, kNoNewVersionText);
}

TEST_F(UpgraderTest, AFailedMenuCheckShowsNothing)
{
    Make(QString("http://127.0.0.1:%1").arg(nettest::UnusedPort()))->CheckNow();
    EXPECT_EQ(testenv::FindShownWindow("PromptBoxDialog"), nullptr);
    EXPECT_EQ(testenv::FindShownWindow("MessageBoxDialog"), nullptr);
    EXPECT_TRUE(owner.messages.isEmpty());
}

TEST_F(UpgraderTest, DecliningAnOptionalUpgradeDownloadsNothing)
{
    UpgradeServer service;
    service.SetAnswer(Answer("1.5.1", service.FileUrl(), "0"));
    QString seen;
    testenv::ClickWhenShown("MessageBoxDialog", "msgCancel", &seen);
    Make(service.local.Address())->CheckNow();

    EXPECT_EQ(seen, kNewVersionText);
    testenv::WaitUntil([] { return false; }, 300);
    EXPECT_EQ(testenv::FindShownWindow("升级下载"), nullptr);
    EXPECT_FALSE(service.Downloaded());
    EXPECT_TRUE(shell.opened.isEmpty());
    EXPECT_EQ(endRequests, 0);
}

TEST_F(UpgraderTest, TheStartUpCheckHandsItsAnnouncementToTheUiThread)
{
    UpgradeServer service;
    service.SetAnswer(Answer("2.0.0", service.FileUrl(), "0"));
    QString seen;
    testenv::ClickWhenShown("MessageBoxDialog", "msgCancel", &seen);
    Make(service.local.Address())->StartBackgroundCheck();
    EXPECT_TRUE(testenv::WaitUntil([&] { return !seen.isEmpty(); }, 5000));
    EXPECT_EQ(seen, kNewVersionText);
    EXPECT_FALSE(service.Downloaded());
}

TEST_F(UpgraderTest, TheStartUpCheckIsSilentWithoutANewerVersion)
{
    UpgradeServer service(Answer("1.4.9", "", "0"));
    Make(service.local.Address())->StartBackgroundCheck();
    EXPECT_TRUE(testenv::WaitUntil([&] { return service.RequestCount() == 1; }, 5000));
    testenv::WaitUntil([] { return false; }, 300);
    EXPECT_EQ(testenv::FindShownWindow("PromptBoxDialog"), nullptr);
    EXPECT_EQ(testenv::FindShownWindow("MessageBoxDialog"), nullptr);
}

TEST_F(UpgraderTest, ClosingDuringAStartUpCheckDoesNotWaitForASilentServer)
{
    LocalServer silent;
    std::atomic<bool> asked{false};
    silent.server().Post(kUpgradeCheckPath,
                         [&](const httplib::Request&, httplib::Response& response) {
                             asked = true;
                             while (!silent.Stopping())
                                 std::this_thread::sleep_for(std::chrono::milliseconds(20));
                             response.set_content(Answer("9.0.0", "", "1"), "application/json");
                         });
    silent.Start();
    Make(silent.Address())->StartBackgroundCheck();
    ASSERT_TRUE(testenv::WaitUntil([&] { return asked.load(); }, 5000));

    const auto started = std::chrono::steady_clock::now();
    delete upgrader;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2500));
    testenv::WaitUntil([] { return false; }, 200);
    EXPECT_EQ(testenv::FindShownWindow("PromptBoxDialog"), nullptr);
}

// The whole road with the reference service: a forced upgrade is announced, downloaded,
// checked against the digest the service computed and the signature beside it, run, and the
// program is asked to end.
TEST_F(UpgraderTest, AForcedUpgradeFromTheServiceDownloadsRunsAndEndsTheProgram)
{
    const QString folder = testenv::Home() + "/service";
    const QString marker = testenv::Home() + "/installer ran";
    // The marker appears whole (written aside, then renamed), so its words are read complete.
    const QByteArray installer = "#!/bin/sh\necho \"$@\" > '" + marker.toUtf8() + ".new' && mv '" +
                                 marker.toUtf8() + ".new' '" + marker.toUtf8() + "'\n";
    ASSERT_TRUE(testenv::WriteFile(folder + "/files/LumoCompress-1.6.0.run", installer));
    // Signed by the release tool, whose key the program trusts for this test.
    nettest::TrustedSigningKey key(testenv::Home());
    ASSERT_TRUE(key.ok());
    ASSERT_TRUE(key.Sign(folder + "/files/LumoCompress-1.6.0.run"));
    ASSERT_TRUE(testenv::WriteFile(folder + "/upgrade.ini",
                                   "# offered to every client\n"
                                   "version = 1.6.0\n"
                                   "download_url = /download/LumoCompress-1.6.0.run\n"
                                   "force = 1\n"));
    nettest::ServiceProcess service;
    ASSERT_TRUE(service.Start({"--upgrade-file", folder + "/upgrade.ini", "--files",
                               folder + "/files", "--feedback-file", folder + "/feedback.jsonl"}));

    QString seen;
    testenv::ClickWhenShown("PromptBoxDialog", "msgConfirm", &seen);
    Make(QString::fromStdString(service.Address()))->CheckNow();

    EXPECT_EQ(seen, kNewVersionText);
    EXPECT_TRUE(shell.opened.isEmpty());
    const QString path =
        qEnvironmentVariable("XDG_CACHE_HOME") + "/LumoCompress/Temp/LumoCompress-1.6.0.run";
    EXPECT_EQ(testenv::ReadFile(path), installer);
    ASSERT_TRUE(testenv::WaitUntil([&] { return QFile::exists(marker); }));
    EXPECT_EQ(testenv::ReadFile(marker), "\n") << "run with no arguments";
    EXPECT_EQ(endRequests, 1);
    EXPECT_TRUE(owner.messages.isEmpty());
}

// While work is under way the user is asked first; declining leaves everything as it was.
TEST_F(UpgraderTest, TheInstallerRunsOnlyWhenTheProgramMayEnd)
{
    const QString folder = testenv::Home() + "/service";
    const QString marker = testenv::Home() + "/ran";
    ASSERT_TRUE(testenv::WriteFile(folder + "/files/up.run",
                                   "#!/bin/sh\ntouch '" + marker.toUtf8() + "'\n"));
    nettest::TrustedSigningKey key(testenv::Home());
    ASSERT_TRUE(key.ok() && key.Sign(folder + "/files/up.run"));
    ASSERT_TRUE(testenv::WriteFile(folder + "/upgrade.ini",
                                   "version = 1.6.0\n"
                                   "download_url = /download/up.run\n"
                                   "force = 1\n"));
    nettest::ServiceProcess service;
    ASSERT_TRUE(service.Start({"--upgrade-file", folder + "/upgrade.ini", "--files",
                               folder + "/files", "--feedback-file", folder + "/feedback.jsonl"}));

    for (const bool agree : {false, true}) {
        int asked = 0;
        upgrader = new Upgrader(
            &owner, [this] { ++endRequests; }, QString::fromStdString(service.Address()),
            [&] {
                ++asked;
                return agree;
            });
        testenv::ClickWhenShown("PromptBoxDialog", "msgConfirm");
        upgrader->CheckNow();
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(testenv::WaitUntil([&] { return QFile::exists(marker); }, agree ? 5000 : 300),
                  agree);
        EXPECT_EQ(endRequests, agree ? 1 : 0);
        delete upgrader.data();
    }
}

// An installer signed with a key the program does not trust (as anyone between the program and
// the service could make): refused with a plain notice, deleted, never run, and the program
// goes on although the upgrade is forced.
TEST_F(UpgraderTest, AnInstallerSignedWithAnotherKeyIsDeletedUnrun)
{
    const QString folder = testenv::Home() + "/service";
    const QString marker = testenv::Home() + "/ran";
    ASSERT_TRUE(testenv::WriteFile(folder + "/files/up.run",
                                   "#!/bin/sh\ntouch '" + marker.toUtf8() + "'\n"));
    ASSERT_TRUE(QDir().mkpath(testenv::Home() + "/other"));
    nettest::TrustedSigningKey other(testenv::Home() + "/other");
    ASSERT_TRUE(other.ok() && other.Sign(folder + "/files/up.run"));
    nettest::TrustedSigningKey trusted(testenv::Home());  // the one the program trusts now
    ASSERT_TRUE(trusted.ok());
    ASSERT_TRUE(testenv::WriteFile(
        folder + "/upgrade.ini", "version = 1.6.0\ndownload_url = /download/up.run\nforce = 1\n"));
    nettest::ServiceProcess service;
    ASSERT_TRUE(service.Start({"--upgrade-file", folder + "/upgrade.ini", "--files",
                               folder + "/files", "--feedback-file", folder + "/feedback.jsonl"}));

    testenv::ClickWhenShown("PromptBoxDialog", "msgConfirm");
    Make(QString::fromStdString(service.Address()))->CheckNow();
    ASSERT_TRUE(testenv::WaitUntil([&] { return !owner.messages.isEmpty(); }));
    EXPECT_EQ(owner.messages, QList<int>{UM_UPGRADE_FAILED});
    EXPECT_EQ(owner.texts, QStringList{"无法验证安装包：安装包的签名与文件不符，它可能被改动过。"
                                       "安装包没有保留，也没有运行。"});
    EXPECT_FALSE(
        QFile::exists(qEnvironmentVariable("XDG_CACHE_HOME") + "/LumoCompress/Temp/up.run"));
    EXPECT_FALSE(testenv::WaitUntil([&] { return QFile::exists(marker); }, 300));
    EXPECT_EQ(endRequests, 0);
}

// A program the package manager installed (its executable listed in the package database of a
// made-up root) hears of the new version and how to get it; no installer is fetched or run.
TEST_F(UpgraderTest, APackagedProgramIsToldToUpdateThroughThePackageManager)
{
    const QString root = testenv::Home() + "/root";
    ASSERT_TRUE(testenv::WriteFile(root + "/usr/bin/lumocompress", "#!/bin/sh\n"));
    ASSERT_TRUE(testenv::WriteFile(root + "/var/lib/dpkg/info/lumocompress.list",
                                   "/usr/bin\n/usr/bin/lumocompress\n"));
    nettest::TrustedSigningKey key(testenv::Home());  // so that an unpackaged program downloads
    ASSERT_TRUE(key.ok());
    UpgradeServer service;
    service.SetAnswer(Answer("1.6.0", service.FileUrl(), "1"));
    for (const bool packaged : {true, false}) {
        SCOPED_TRACE(packaged ? "packaged" : "not packaged");
        QString seen;
        testenv::ClickWhenShown("PromptBoxDialog", "msgConfirm", &seen);
        Upgrader* upgrader = Make(service.local.Address());
        upgrader->SetInstallation(root + (packaged ? "/usr/bin/lumocompress" : "/lumocompress"),
                                  root);
        upgrader->CheckNow();
        if (packaged) {
            EXPECT_EQ(seen,
                      "发现新版本 1.6.0！本程序是通过系统的软件包管理器安装的，请用它来更新"
                      "（例如 sudo apt update && sudo apt upgrade）。");
            testenv::WaitUntil([] { return false; }, 300);
            EXPECT_FALSE(service.Downloaded());
            EXPECT_EQ(testenv::FindShownWindow("升级下载"), nullptr);
        } else {
            EXPECT_EQ(seen, kNewVersionText);
            EXPECT_TRUE(testenv::WaitUntil([&] { return service.Downloaded(); }))
                << "the same offer is downloaded by a program the package manager did not install";
        }
        EXPECT_EQ(endRequests, 0);
        testenv::WaitUntil([] { return false; }, 200);
        delete upgrader;
    }
}

TEST_F(UpgraderTest, TheStartUpCheckOfAPackagedProgramStaysSilent)
{
    const QString root = testenv::Home() + "/root";
    ASSERT_TRUE(testenv::WriteFile(root + "/usr/bin/lumocompress", "#!/bin/sh\n"));
    ASSERT_TRUE(testenv::WriteFile(root + "/var/lib/dpkg/info/lumocompress.list",
                                   "/usr/bin/lumocompress\n"));
    UpgradeServer service;
    service.SetAnswer(Answer("2.0.0", service.FileUrl(), "1"));
    // Whatever would be shown is answered, so a fault shows as a text rather than a hang.
    testenv::AutoAnswer prompts("PromptBoxDialog", "msgConfirm");
    testenv::AutoAnswer questions("MessageBoxDialog", "msgCancel");
    Upgrader* upgrader = Make(service.local.Address());
    upgrader->SetInstallation(root + "/usr/bin/lumocompress", root);
    upgrader->StartBackgroundCheck();
    EXPECT_TRUE(testenv::WaitUntil([&] { return service.RequestCount() == 1; }, 5000));
    testenv::WaitUntil([] { return false; }, 300);
    EXPECT_TRUE(prompts.texts().isEmpty()) << prompts.texts().join(", ").toStdString();
    EXPECT_TRUE(questions.texts().isEmpty());
    EXPECT_FALSE(service.Downloaded());
}

}  // namespace
