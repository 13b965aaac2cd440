#include <gtest/gtest.h>

#include <algorithm>

#include "core/net/HttpClient.h"
#include "core/net/NetTestSupport.h"

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

}  // namespace
