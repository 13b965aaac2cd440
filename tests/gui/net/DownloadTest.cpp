// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QAbstractButton>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <algorithm>
#include <functional>

#include "core/net/HttpDownload.h"
#include "core/net/InstallerSignature.h"
#include "gui/net/DownloadDialog.h"
#include "gui/net/NetWindowSupport.h"
#include "gui/ui/WindowMessages.h"
#include "support/GuiTestEnv.h"

namespace {

using nettest::LocalServer;

// An installer of the given size: a script that leaves "<its path>.ran" beside itself and ends
// before the binary filler that follows.
std::string Payload(size_t size)
{
    const std::string script = "#!/bin/sh\necho ran > \"$0.ran\"\nexit 0\n";
    std::string bytes(std::max(size, script.size()), '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7) % 251);
    bytes.replace(0, script.size(), script);
    return bytes;
}

// The key pair the installers of these tests are signed with, and another one.
struct KeyPair {
    KeyPair() { signature::MakeKeyPair(secret, pub); }
    QByteArray secret;
    QByteArray pub;
};
const KeyPair& TrustedKeys()
{
    static const KeyPair keys;
    return keys;
}
const KeyPair& ForeignKeys()
{
    static const KeyPair keys;
    return keys;
}

std::string SignatureOf(const std::string& bytes, const KeyPair& keys = TrustedKeys())
{
    return signature::Sign(QByteArray::fromStdString(bytes), keys.secret).toStdString() + "\n";
}

QString Sha256Of(const std::string& bytes)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256)
            .toHex());
}

// Serves [offset, offset + length) of bytes in blocks of 1024, pausing between blocks; a stall
// point, when set, stops the flow there until the server goes down.
httplib::ContentProvider Trickle(const LocalServer& local, std::shared_ptr<std::string> bytes,
                                 int pauseMs, size_t stallAt = std::string::npos)
{
    return
        [&local, bytes, pauseMs, stallAt](size_t offset, size_t length, httplib::DataSink& sink) {
            if (offset >= stallAt) {
                while (!local.Stopping())
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                return false;
            }
            const size_t block = std::min<size_t>({length, 1024, stallAt - offset});
            if (!sink.write(bytes->data() + offset, block)) return false;
            if (pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            return !local.Stopping();
        };
}

// One server with every kind of download the tests need.
class DownloadServer {
public:
    DownloadServer()
    {
        httplib::Server& server = local.server();
        // Each installer with its signature beside it, except where a test needs otherwise.
        for (const auto& [path, bytes] : std::vector<std::pair<std::string, const std::string*>>{
                 {"/big.run", &big},
                 {"/mid.run", &mid},
                 {"/small.run", &small},
                 {"/nointerpreter.run", &noInterpreter},
                 {"/noprogram.run", &noProgram}}) {
            server.Get(path, Fixed(*bytes));
            server.Get(path + ".sig", Text(SignatureOf(*bytes)));
        }
        server.Get("/slow.run.sig", Text(SignatureOf(Payload(400 * 1024))));
        server.Get("/stall.run.sig", Text(SignatureOf(Payload(100 * 1024))));
        server.Get("/chunked.run.sig", Text(SignatureOf("0123456789")));
        server.Get("/shifting.run.sig", Text(SignatureOf(Payload(3000))));
        // Installers whose signature is missing, garbled, made with another key, of other bytes,
        // too long to be one, or elsewhere than beside it.
        for (const char* name : {"/unsigned.run", "/garbled.run", "/foreign.run", "/tampered.run",
                                 "/endless.run", "/elsewhere.run"})
            server.Get(name, Fixed(mid));
        server.Get("/garbled.run.sig", Text("not a signature\n"));
        server.Get("/foreign.run.sig", Text(SignatureOf(mid, ForeignKeys())));
        server.Get("/tampered.run.sig", Text(SignatureOf(mid + "x")));
        server.Get("/endless.run.sig", Text(std::string(10000, 'A')));
        server.Get("/signatures/elsewhere", Text(SignatureOf(mid)));
        server.Get("/slow.run", [this](const httplib::Request&, httplib::Response& response) {
            auto bytes = std::make_shared<std::string>(Payload(400 * 1024));
            response.set_content_provider(bytes->size(), "application/octet-stream",
                                          Trickle(local, bytes, 10));
        });
        server.Get("/stall.run", [this](const httplib::Request&, httplib::Response& response) {
            auto bytes = std::make_shared<std::string>(Payload(100 * 1024));
            response.set_content_provider(bytes->size(), "application/octet-stream",
                                          Trickle(local, bytes, 0, 50 * 1024));
        });
        server.Get("/chunked.run", [](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider("application/octet-stream",
                                                  [](size_t offset, httplib::DataSink& sink) {
                                                      if (offset == 0)
                                                          sink.write("0123456789", 10);
                                                      else
                                                          sink.done();
                                                      return true;
                                                  });
        });
        // The file changes between the length and the transfer.
        server.Get("/shifting.run",
                   [](const httplib::Request& request, httplib::Response& response) {
                       response.set_content(Payload(request.method == "HEAD" ? 5000 : 3000),
                                            "application/octet-stream");
                   });
        server.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
            std::lock_guard<std::mutex> guard(lock);
            requests.push_back(request.method + " " + request.path);
            return httplib::Server::HandlerResponse::Unhandled;
        });
        local.Start();
    }

    std::vector<std::string> Requests()
    {
        std::lock_guard<std::mutex> guard(lock);
        return requests;
    }

    const std::string big = Payload(200 * 1024);
    const std::string mid = Payload(3000);
    const std::string small = Payload(100);
    const std::string noInterpreter = "#!/nonexistent/interpreter\nexit 0\n";
    const std::string noProgram = std::string(300, 'x');

private:
    static httplib::Server::Handler Fixed(const std::string& bytes)
    {
        return [&bytes](const httplib::Request&, httplib::Response& response) {
            response.set_content(bytes, "application/octet-stream");
        };
    }
    static httplib::Server::Handler Text(std::string text)
    {
        return [text](const httplib::Request&, httplib::Response& response) {
            response.set_content(text, "text/plain");
        };
    }

    std::mutex lock;
    std::vector<std::string> requests;

public:
    // Last: the server stops (and its handlers end) before the data they use goes.
    LocalServer local;
};

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HttpDownload::SetStallTimeoutForTesting(std::chrono::seconds(30));
        signature::SetTrustedKeyForTesting(TrustedKeys().pub);
        QDir(TempFolder()).removeRecursively();
    }
    void TearDown() override
    {
        delete dialog.data();
        testenv::WaitUntil([] { return false; }, 20);
        signature::SetTrustedKeyForTesting({});
    }

    // Opens the window for path on the server, watching its progress bar.
    DownloadDialog* Start(const std::string& path, int force = 0, const QString& sha256 = {},
                          std::function<bool()> mayEnd = nullptr,
                          const std::string& signaturePath = {})
    {
        shown.clear();
        shownTexts.clear();
        const QString signature = signaturePath.empty()
                                      ? QString()
                                      : QString::fromStdString(server.local.Url(signaturePath));
        auto* window = new DownloadDialog(
            &owner, QString::fromStdString(server.local.Url(path)), force, sha256, signature,
            [this] { ++endRequests; }, std::move(mayEnd));
        dialog = window;
        window->Create();
        // The text is set before the bar: both are read when the bar moves.
        auto* text = window->FindControl<QLabel>("download-text");
        QObject::connect(window->FindControl<QProgressBar>("download-slider"),
                         &QProgressBar::valueChanged, [this, text](int value) {
                             shown.push_back(value);
                             shownTexts.push_back(text->text());
                         });
        window->CenterWindow();
        window->show();
        return window;
    }
    // The window closes and the object goes once the download thread has ended.
    bool WaitForEnd(int timeoutMs = 5000)
    {
        return testenv::WaitUntil([this] { return dialog.isNull(); }, timeoutMs);
    }

    static QString TempFolder()
    {
        return qEnvironmentVariable("XDG_CACHE_HOME") + "/LumoCompress/Temp";
    }
    // The installer at path ran: its marker appeared.
    static bool Ran(const QString& path, int timeoutMs = 5000)
    {
        return testenv::WaitUntil([&] { return QFile::exists(path + ".ran"); }, timeoutMs);
    }
    static QStringList TempFiles()
    {
        return QDir(TempFolder()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    DownloadServer server;
    nettest::RecordingOwner owner;
    testenv::FakeShell shell;
    QPointer<DownloadDialog> dialog;
    std::vector<int> shown;
    QStringList shownTexts;
    int endRequests = 0;
};

TEST_F(DownloadTest, ShowsRisingPercentagesThenRunsTheCheckedInstallerAndEndsTheProgram)
{
    Start("/big.run", 0, Sha256Of(server.big).toUpper());
    ASSERT_TRUE(WaitForEnd());

    ASSERT_GT(shown.size(), 50u);
    EXPECT_EQ(shown.back(), 100);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end(), std::less_equal<int>()))
        << "every shown value differs from the one before and grows";
    for (size_t i = 0; i < shown.size(); ++i)
        EXPECT_EQ(shownTexts[static_cast<qsizetype>(i)], QString("%1%").arg(shown[i]));
    EXPECT_EQ(HttpDownload::LastShownPercent(), 100);

    const QString path = TempFolder() + "/big.run";
    EXPECT_TRUE(shell.opened.isEmpty()) << "run directly, not handed to the desktop";
    EXPECT_TRUE(Ran(path));
    struct stat status = {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0755u);
    EXPECT_EQ(testenv::ReadFile(path).toStdString(), server.big);
    EXPECT_EQ(TempFiles(), (QStringList{"big.run", "big.run.ran"}));
    EXPECT_EQ(endRequests, 1);
    EXPECT_TRUE(owner.messages.isEmpty());
    EXPECT_EQ(server.Requests(),
              (std::vector<std::string>{"HEAD /big.run", "GET /big.run.sig", "GET /big.run"}));
}

TEST_F(DownloadTest, ASecondDownloadKeepsTheLastShownPercentage)
{
    Start("/mid.run");
    ASSERT_TRUE(WaitForEnd());
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), 100);

    // One block is the whole file: 100 again, the same as last shown, so the bar never moves.
    Start("/small.run");
    ASSERT_TRUE(WaitForEnd());
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(Ran(TempFolder() + "/mid.run"));
    EXPECT_TRUE(Ran(TempFolder() + "/small.run"));
    EXPECT_EQ(endRequests, 2);
    EXPECT_EQ(testenv::ReadFile(TempFolder() + "/small.run").toStdString(), server.small);
}

class CancelTest : public DownloadTest, public ::testing::WithParamInterface<int> {};

TEST_P(CancelTest, CancelStopsTheDownloadAndEndsTheProgramOnlyWhenForced)
{
    const int force = GetParam();
    Start("/slow.run", force);
    ASSERT_TRUE(testenv::WaitUntil([this] { return !shown.empty(); }));
    dialog->FindControl<QAbstractButton>("cancel")->click();
    EXPECT_FALSE(dialog->isVisible());

    ASSERT_TRUE(WaitForEnd(2000)) << "the download thread ends soon after the cancel";
    EXPECT_LT(shown.back(), 100);
    EXPECT_TRUE(shell.opened.isEmpty());
    EXPECT_TRUE(TempFiles().isEmpty());
    EXPECT_EQ(endRequests, force);
    EXPECT_TRUE(owner.messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Force, CancelTest, ::testing::Values(0, 1));

TEST_F(DownloadTest, TheTitleBarCloseCancelsLikeTheCancelButton)
{
    Start("/slow.run", 1);
    ASSERT_TRUE(testenv::WaitUntil([this] { return !shown.empty(); }));
    dialog->FindControl<QAbstractButton>("closebtn")->click();
    ASSERT_TRUE(WaitForEnd(2000));
    EXPECT_TRUE(shell.opened.isEmpty());
    EXPECT_EQ(endRequests, 1);
}

TEST_F(DownloadTest, AStalledTransferEndsWithTheNetworkNoticeInBoundedTime)
{
    HttpDownload::SetStallTimeoutForTesting(std::chrono::milliseconds(500));
    const auto started = std::chrono::steady_clock::now();
    Start("/stall.run", 1);
    ASSERT_TRUE(WaitForEnd(4000));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));

    EXPECT_EQ(owner.messages, QList<int>{UM_NETWORK_ERROR});
    EXPECT_EQ(shown.back(), 50);
    EXPECT_TRUE(shell.opened.isEmpty());
    EXPECT_TRUE(TempFiles().isEmpty());
    EXPECT_EQ(endRequests, 0) << "a broken download of a forced upgrade does not end the program";
}

// Downloads that must never open anything: what is posted, and whether the server is asked.
struct FailureCase {
    const char* name;
    const char* path;
    const char* sha256;
    int notice;
    bool asksServer;
};

class DownloadFailureTest : public DownloadTest,
                            public ::testing::WithParamInterface<FailureCase> {};

TEST_P(DownloadFailureTest, EndsWithItsNoticeAndLeavesNoFile)
{
    const FailureCase& c = GetParam();
    nettest::LogCapture log;
    Start(c.path, 0, QString::fromLatin1(c.sha256));
    ASSERT_TRUE(WaitForEnd());

    EXPECT_EQ(owner.messages, QList<int>{c.notice});
    EXPECT_TRUE(shell.opened.isEmpty());
    EXPECT_TRUE(TempFiles().isEmpty()) << TempFiles().join(", ").toStdString();
    EXPECT_EQ(endRequests, 0);
    EXPECT_EQ(server.Requests().empty(), !c.asksServer);
    EXPECT_FALSE(log.Lines().empty()) << "each failure leaves a log line";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadFailureTest,
    ::testing::Values(
        FailureCase{"DigestMismatch", "/mid.run",
                    "0000000000000000000000000000000000000000000000000000000000000000",
                    UM_UPGRADE_FAILED, true},
        FailureCase{"NoLength", "/chunked.run", "", UM_NETWORK_ERROR, true},
        FailureCase{"NotFound", "/absent.run", "", UM_NETWORK_ERROR, true},
        FailureCase{"ShorterThanAnnounced", "/shifting.run", "", UM_NETWORK_ERROR, true},
        FailureCase{"DotDotName", "/files/%2e%2E", "", UM_UPGRADE_FAILED, false}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

// Installers that cannot run: the notice says why and where the file stays, without claiming
// the program is damaged, and the program goes on.
TEST_F(DownloadTest, AnInstallerThatCannotRunIsReportedInPlainWordsAndKept)
{
    const struct {
        const char* path;
        const char* reason;
    } cases[] = {{"/nointerpreter.run", "找不到安装程序或运行它所需的解释器"},
                 {"/noprogram.run", "它不是可以运行的程序"}};
    for (const auto& c : cases) {
        owner.messages.clear();
        owner.texts.clear();
        nettest::LogCapture log;
        Start(c.path, 1);
        ASSERT_TRUE(WaitForEnd());
        testenv::WaitUntil([] { return false; }, 50);

        const QString path = TempFolder() + c.path;
        EXPECT_EQ(owner.messages, QList<int>{UM_UPGRADE_FAILED}) << c.path;
        EXPECT_EQ(owner.texts,
                  QStringList{QStringLiteral("无法启动安装程序：%1。安装包已保存在 %2。")
                                  .arg(QString::fromUtf8(c.reason), path)});
        EXPECT_FALSE(owner.texts.value(0).contains("损坏"));
        EXPECT_EQ(endRequests, 0);
        EXPECT_TRUE(QFile::exists(path));
        EXPECT_TRUE(QFile::permissions(path) & QFile::ExeOwner);
        const auto lines = log.Lines();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
            return line.rfind("HttpDownload.cpp: 升级失败", 0) == 0;
        }));
    }
}

TEST_F(DownloadTest, WhenTheProgramMayNotEndTheInstallerWaitsUnrun)
{
    int asked = 0;
    Start("/mid.run", 1, {}, [&] {
        ++asked;
        EXPECT_FALSE(dialog && dialog->isVisible()) << "the download window has gone first";
        return false;
    });
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(Ran(TempFolder() + "/mid.run", 300));
    EXPECT_EQ(TempFiles(), QStringList{"mid.run"});
    EXPECT_EQ(endRequests, 0);
    EXPECT_TRUE(owner.messages.isEmpty());

    Start("/small.run", 0, {}, [&] { return ++asked > 0; });
    ASSERT_TRUE(WaitForEnd());
    EXPECT_TRUE(Ran(TempFolder() + "/small.run"));
    EXPECT_EQ(endRequests, 1);
}

// Installers without a valid signature: refused with a plain notice, never run nor kept, and a
// forced upgrade does not end the program over it. When the signature itself is unusable the
// installer is not even fetched.
struct SignatureCase {
    const char* name;
    const char* path;
    const char* reason;
    bool fetchesInstaller;
};

class SignatureTest : public DownloadTest, public ::testing::WithParamInterface<SignatureCase> {};

TEST_P(SignatureTest, RefusesTheInstallerAndSaysWhy)
{
    const SignatureCase& c = GetParam();
    Start(c.path, 1);
    ASSERT_TRUE(WaitForEnd());
    testenv::WaitUntil([] { return false; }, 50);

    EXPECT_EQ(owner.messages, QList<int>{UM_UPGRADE_FAILED});
    EXPECT_EQ(owner.texts,
              QStringList{QStringLiteral("无法验证安装包：%1。安装包没有保留，也没有运行。")
                              .arg(QString::fromUtf8(c.reason))});
    EXPECT_TRUE(TempFiles().isEmpty()) << TempFiles().join(", ").toStdString();
    EXPECT_FALSE(Ran(TempFolder() + c.path, 300));
    EXPECT_EQ(endRequests, 0);
    const auto requests = server.Requests();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), std::string("GET ") + c.path),
              c.fetchesInstaller ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SignatureTest,
    ::testing::Values(SignatureCase{"Missing", "/unsigned.run", "安装包没有签名", false},
                      SignatureCase{"Garbled", "/garbled.run", "安装包的签名格式不对", false},
                      SignatureCase{"TooLong", "/endless.run", "安装包的签名格式不对", false},
                      SignatureCase{"AnotherKey", "/foreign.run",
                                    "安装包的签名与文件不符，它可能被改动过", true},
                      SignatureCase{"OtherBytes", "/tampered.run",
                                    "安装包的签名与文件不符，它可能被改动过", true}),
    [](const ::testing::TestParamInfo<SignatureCase>& info) { return info.param.name; });

TEST_F(DownloadTest, TheSignatureIsTakenFromTheAddressTheOfferNames)
{
    Start("/elsewhere.run", 0, {}, nullptr, "/signatures/elsewhere");
    ASSERT_TRUE(WaitForEnd());
    EXPECT_TRUE(owner.messages.isEmpty()) << owner.texts.join(", ").toStdString();
    EXPECT_TRUE(Ran(TempFolder() + "/elsewhere.run"));
    EXPECT_EQ(server.Requests().at(1), "GET /signatures/elsewhere");
}

TEST_F(DownloadTest, ABuildWithoutAKeyAcceptsNoInstallerAndAsksNothing)
{
    signature::SetTrustedKeyForTesting({});
    if (!signature::TrustedKey().isEmpty()) GTEST_SKIP() << "this build has a key of its own";
    Start("/mid.run", 1);
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(owner.messages, QList<int>{UM_UPGRADE_FAILED});
    EXPECT_EQ(owner.texts,
              QStringList{"这个版本的程序无法验证安装包，不能自动升级。请从官网下载新版本。"});
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_TRUE(TempFiles().isEmpty());
    EXPECT_EQ(endRequests, 0);
}

TEST(DownloadFileNameTest, TakesTheLastPathSegmentAndRefusesNonNames)
{
    EXPECT_EQ(HttpDownload::FileNameOf("http://h/dl/setup-1.6.0.run"), "setup-1.6.0.run");
    EXPECT_EQ(HttpDownload::FileNameOf("http://h/dl/setup.run?from=menu#x"), "setup.run");
    EXPECT_EQ(HttpDownload::FileNameOf("http://h/dl/%E5%AE%89%E8%A3%85.run"), "安装.run");
    EXPECT_EQ(HttpDownload::FileNameOf("http://h/dl/a%2Fb.run"), "b.run");
    for (const char* refused : {"http://h", "http://h/", "http://h/dl/", "http://h/.",
                                "http://h/dl/..", "http://h/dl/%2E%2E", "http://h/x/%2e"}) {
        EXPECT_EQ(HttpDownload::FileNameOf(refused), "") << refused;
    }
}

}  // namespace
