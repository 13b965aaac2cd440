// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>

#include <QDir>
#include <QProcess>

#include "core/net/CurlHandles.h"
#include "core/net/HttpClient.h"
#include "core/net/HttpDownload.h"
#include "core/net/NetTestSupport.h"
#include "support/TestEnv.h"

namespace {

using nettest::LocalServer;
using nettest::LogCapture;

bool HasLine(const LogCapture& log, const std::string& text)
{
    const auto lines = log.Lines();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line == text; });
}

TEST(HttpClientTest, PostSendsJsonHeadersAndBodyAndTakesAnyStatusWithABody)
{
    LocalServer local;
    httplib::Request seen;
    local.server().Post("/v2/echo",
                        [&](const httplib::Request& request, httplib::Response& response) {
                            seen = request;
                            response.status = 500;
                            response.set_content("{\"ret\":7}", "application/json");
                        });
    local.Start();

    LogCapture log;
    std::string response;
    EXPECT_EQ(HttpClient::Instance().HttpPost("{\"a\":\"视频\"}", local.Url("/v2/echo"), response),
              0);
    EXPECT_EQ(response, "{\"ret\":7}");
    EXPECT_EQ(seen.body, "{\"a\":\"视频\"}");
    EXPECT_EQ(seen.get_header_value("Accept"), "application/json");
    EXPECT_EQ(seen.get_header_value("Content-Type"), "application/json;charset=UTF-8");
    EXPECT_TRUE(HasLine(log, "HttpClient.cpp: curl code:0,strerror:No error"));
    EXPECT_TRUE(HasLine(log, "HttpClient.cpp: response code:500"));
}

TEST(HttpClientTest, PostWithAnEmptyAnswerFailsAndLogsTheEmptyResult)
{
    LocalServer local;
    local.server().Post("/empty", [](const httplib::Request&, httplib::Response& response) {
        response.status = 200;
    });
    local.Start();

    LogCapture log;
    std::string response;
    EXPECT_EQ(HttpClient::Instance().HttpPost("{}", local.Url("/empty"), response), -1);
    EXPECT_TRUE(HasLine(log, "HttpClient.cpp: response code:200"));
    EXPECT_TRUE(HasLine(log, "HttpClient.cpp: response result:"));
}

TEST(HttpClientTest, PostWithoutAServerFailsAndLogsTheCurlError)
{
    LogCapture log;
    std::string response;
    const std::string url = "http://127.0.0.1:" + std::to_string(nettest::UnusedPort()) + "/x";
    EXPECT_EQ(HttpClient::Instance().HttpPost("{}", url, response), -1);
    EXPECT_TRUE(HasLine(log, "HttpClient.cpp: curl code:7,strerror:Couldn't connect to server"));
    EXPECT_TRUE(response.empty());
}

TEST(HttpClientTest, GetNeedsASuccessStatusAndABody)
{
    LocalServer local;
    local.server().Get("/ok", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("hello", "text/plain");
    });
    local.server().Get("/missing", [](const httplib::Request&, httplib::Response& response) {
        response.status = 404;
        response.set_content("not here", "text/plain");
    });
    local.server().Get("/nothing", [](const httplib::Request&, httplib::Response& response) {
        response.status = 204;
    });
    local.Start();

    std::string body;
    EXPECT_EQ(HttpClient::Instance().HttpGet(local.Url("/ok"), body), 0);
    EXPECT_EQ(body, "hello");

    std::string missing;
    EXPECT_EQ(HttpClient::Instance().HttpGet(local.Url("/missing"), missing), -1);
    std::string nothing;
    EXPECT_EQ(HttpClient::Instance().HttpGet(local.Url("/nothing"), nothing), -1);
    std::string refused;
    const std::string url = "http://127.0.0.1:" + std::to_string(nettest::UnusedPort()) + "/";
    EXPECT_EQ(HttpClient::Instance().HttpGet(url, refused), -1);
}

// An https server on 127.0.0.1 whose certificate no authority signed (made by openssl here):
// every request of the program refuses it, where a client that does not verify gets through.
TEST(HttpClientTest, EveryRequestVerifiesTheServersCertificate)
{
    const QString cert = testenv::Home() + "/cert.pem";
    const QString key = testenv::Home() + "/key.pem";
    QProcess openssl;
    openssl.start("openssl",
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                   "-nodes", "-keyout", key, "-out", cert, "-days", "1", "-subj", "/CN=127.0.0.1",
                   "-addext", "subjectAltName=IP:127.0.0.1"});
    ASSERT_TRUE(openssl.waitForFinished(30000) && openssl.exitCode() == 0)
        << openssl.readAllStandardError().toStdString();

    httplib::SSLServer server(QFile::encodeName(cert).constData(),
                              QFile::encodeName(key).constData());
    ASSERT_TRUE(server.is_valid());
    std::atomic<int> requests{0};
    server.Post("/v2/upgrade_check", [&](const httplib::Request&, httplib::Response& response) {
        ++requests;
        response.set_content("{\"ret\":0}", "application/json");
    });
    server.Get(".*", [&](const httplib::Request&, httplib::Response& response) {
        ++requests;
        response.set_content("installer", "application/octet-stream");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread loop([&] { server.listen_after_bind(); });
    const std::string base = "https://127.0.0.1:" + std::to_string(port);

    std::string answer;
    EXPECT_EQ(HttpClient::Instance().HttpPost("{}", base + "/v2/upgrade_check", answer), -1);
    std::string page;
    EXPECT_EQ(HttpClient::Instance().HttpGet(base + "/help", page), -1);
    struct Observer : DownloadObserver {
        void OnProgress(int) override {}
        bool IsCancelled() const override { return false; }
    } observer;
    QByteArray secretKey;
    QByteArray publicKey;
    signature::MakeKeyPair(secretKey, publicKey);
    signature::SetTrustedKeyForTesting(publicKey);  // so that the download asks at all
    HttpDownload download;
    EXPECT_EQ(download.Download(QString::fromStdString(base + "/setup.run"), {}, {}, observer),
              HttpDownload::kNetworkError);
    signature::SetTrustedKeyForTesting({});
    EXPECT_EQ(requests, 0) << "no request went over the unverified connection";

    // The server itself answers a client that skips the check.
    EasyHandle curl(curl_easy_init());
    const std::string url = base + "/help";
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl.get(), CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(curl.get(), CURLOPT_NOBODY, 1L);
    EXPECT_EQ(curl_easy_perform(curl.get()), CURLE_OK);
    EXPECT_EQ(requests, 1);
    curl.reset();  // its connection would hold the server's stop

    server.stop();
    loop.join();
}

}  // namespace
