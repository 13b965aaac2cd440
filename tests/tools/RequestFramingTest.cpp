// SPDX-License-Identifier: GPL-3.0-or-later
// Requests whose framing is unclear or malformed: each is refused with its status as soon as the
// fault shows, never after the request deadline, and nothing of it reaches a handler or is
// read as a second request.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <chrono>

#include "tools/ServiceHarness.h"

namespace {

using servicetest::Answer;
using servicetest::Connection;
using servicetest::milliseconds;

constexpr char kBody[] = R"({"content":"hello"})";  // 19 bytes

std::string Feedback(const std::string& headers, const std::string& body)
{
    return "POST /v2/feedback HTTP/1.1\r\nHost: service.test\r\n"
           "Content-Type: application/json\r\n" +
           headers + "\r\n" + body;
}

int CountAnswers(const std::string& raw)
{
    int count = 0;
    for (size_t at = raw.find("HTTP/1.1 "); at != std::string::npos;
         at = raw.find("HTTP/1.1 ", at + 1))
        ++count;
    return count;
}

class RequestFramingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(service.Start({"--feedback-file", stored, "--files", folder.path(),
                                   "--upgrade-file", folder.path() + "/upgrade.ini"}));
    }

    int StoredLines() const
    {
        QFile file(stored);
        return file.open(QIODevice::ReadOnly) ? static_cast<int>(file.readAll().count('\n')) : 0;
    }

    QTemporaryDir folder;
    const QString stored = folder.path() + "/feedback.jsonl";
    servicetest::Service service;
};

TEST_F(RequestFramingTest, UnclearOrMalformedFramingIsRefusedAtOnce)
{
    const std::string body = kBody;
    struct Case {
        const char* name;
        std::string request;
        int status;
    };
    const Case cases[] = {
        {"two different lengths", Feedback("Content-Length: 19\r\nContent-Length: 20\r\n", body),
         400},
        {"two lengths in one header", Feedback("Content-Length: 19, 20\r\n", body), 400},
        {"a signed length", Feedback("Content-Length: +19\r\n", body), 400},
        {"length beside chunked",
         Feedback("Content-Length: 19\r\nTransfer-Encoding: chunked\r\n",
                  "13\r\n" + body + "\r\n0\r\n\r\n"),
         400},
        {"a coding before chunked",
         Feedback("Transfer-Encoding: gzip, chunked\r\n", "5\r\nhello\r\n"), 501},
        {"chunked not last", Feedback("Transfer-Encoding: chunked, gzip\r\n", "5\r\nhello\r\n"),
         400},
        {"a negative chunk size", Feedback("Transfer-Encoding: chunked\r\n", "-5\r\nhello\r\n"),
         400},
        {"a chunk size that is no number",
         Feedback("Transfer-Encoding: chunked\r\n", "0x5\r\nhello\r\n"), 400},
        {"one chunk past the body bound",
         Feedback("Transfer-Encoding: chunked\r\n", "10001\r\nhello\r\n"), 413},
        {"a chunk size past any bound",
         Feedback("Transfer-Encoding: chunked\r\n", "ffffffffffffffff1\r\nhello\r\n"), 413},
        {"a trailer field (not read, it would pass for a request)",
         Feedback("Transfer-Encoding: chunked\r\n", "0\r\nX-Trailer: 1\r\n\r\n"), 400},
        {"chunk data longer than its size",
         Feedback("Transfer-Encoding: chunked\r\n", "3\r\nhello\r\n"), 400},
        {"a header line without a colon", Feedback("NoColonHere\r\nContent-Length: 19\r\n", body),
         400},
        {"a blank before the colon", Feedback("Content-Length : 19\r\n", body), 400},
        {"a folded header line", Feedback("X-A: 1\r\n  folded\r\nContent-Length: 19\r\n", body),
         400},
        {"a continue asked for a body past the bound",
         Feedback("Expect: 100-continue\r\nContent-Length: 100000\r\n", ""), 413},
        {"a request line past the header bound",
         "GET /" + std::string(17 * 1024, 'a') + " HTTP/1.1\r\nHost: service.test\r\n\r\n", 414},
    };
    int client = 2;  // each case from an address of its own, clear of the per-client bound
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // No "Connection: close": the service closes the connection after a refusal itself.
        const std::string from = "127.0.2." + std::to_string(client++);
        Connection connection(service.port(), from.c_str());
        ASSERT_TRUE(connection.Send(c.request));
        const auto started = std::chrono::steady_clock::now();
        std::string raw;
        bool closed = false;
        connection.ReadToClose(milliseconds(4000), &raw, 64 * 1024, &closed);
        const auto took = std::chrono::steady_clock::now() - started;
        const Answer answer = servicetest::Parse(raw);
        EXPECT_EQ(answer.status, c.status) << raw.substr(0, 200);
        EXPECT_NE(answer.body.find("\"ret\":1"), std::string::npos) << answer.body;
        EXPECT_EQ(raw.find("100 Continue"), std::string::npos);
        EXPECT_TRUE(closed);
        EXPECT_LT(took, std::chrono::milliseconds(1500)) << "answered before the 5 s deadline";
    }
    EXPECT_EQ(StoredLines(), 0);
}

// A length beside chunked is the classic way to hide a second request in a body; the service
// answers the first request only and reads nothing after it.
TEST_F(RequestFramingTest, ASecondRequestHiddenInARefusedBodyIsNeverServed)
{
    const std::string hidden = "GET /help HTTP/1.1\r\nHost: service.test\r\n\r\n";
    const std::string raw = servicetest::Exchange(
        service.port(),
        Feedback("Content-Length: 4\r\nTransfer-Encoding: chunked\r\n", "0\r\n\r\n" + hidden),
        milliseconds(3000));
    EXPECT_EQ(servicetest::Parse(raw).status, 400);
    EXPECT_EQ(CountAnswers(raw), 1) << raw;
    EXPECT_EQ(raw.find("<html"), std::string::npos);
}

// Well-formed requests of the same kinds go through, pipelined on one connection.
TEST_F(RequestFramingTest, SoundFramingIsServedAndKeepsTheConnection)
{
    const std::string body = kBody;
    Connection connection(service.port());
    ASSERT_TRUE(connection.Send(
        Feedback(
            "Transfer-Encoding: chunked\r\n",
            "a;ext=1\r\n" + body.substr(0, 10) + "\r\n9\r\n" + body.substr(10) + "\r\n0\r\n\r\n") +
        Feedback("Content-Length: 19\r\nContent-Length: 19\r\nExpect: 100-continue\r\n", body) +
        "GET /help HTTP/1.1\r\nHost: service.test\r\nConnection: close\r\n\r\n"));
    std::string raw;
    connection.ReadToClose(milliseconds(4000), &raw);
    EXPECT_EQ(CountAnswers(raw), 4) << raw;  // 100 Continue among them
    EXPECT_EQ(raw.rfind("HTTP/1.1 200 OK", 0), 0u);
    EXPECT_NE(raw.find("<html"), std::string::npos);
    EXPECT_EQ(StoredLines(), 2);
}

}  // namespace
