// SPDX-License-Identifier: GPL-3.0-or-later
// Feedback as it is stored: bad bodies get a plain JSON error, every line of the file is one
// valid JSON object in UTF-8, and concurrent writers never tear a line.
#include <gtest/gtest.h>
#include <httplib.h>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <future>
#include <vector>

#include "tools/ServiceHarness.h"

namespace {

using servicetest::Answer;
using servicetest::milliseconds;

std::string Post(const std::string& body, const std::string& extra = {})
{
    return "POST /v2/feedback HTTP/1.1\r\nHost: service.test\r\n"
           "Content-Type: application/json;charset=UTF-8\r\n" +
           extra + "Content-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

QList<QByteArray> Lines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

class FeedbackStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    QStringList Arguments() const
    {
        return {"--feedback-file", stored,           "--files",
                folder.path(),     "--upgrade-file", folder.path() + "/upgrade.ini"};
    }

    Answer Send(int port, const std::string& request)
    {
        return servicetest::Parse(servicetest::Exchange(port, request));
    }

    QTemporaryDir folder;
    const QString stored = folder.path() + "/feedback.jsonl";
};

TEST_F(FeedbackStoreTest, BadBodiesGetAPlainJsonErrorAndStoreNothing)
{
    servicetest::Service service;
    ASSERT_TRUE(service.Start(Arguments()));

    const std::string content = R"({"content":"fine","contact":"x"})";
    std::string chunked;  // 70 000 bytes of data in 1000-byte chunks
    for (int i = 0; i < 70; ++i) chunked += "3e8\r\n" + std::string(1000, 'a') + "\r\n";
    chunked += "0\r\n\r\n";
    struct Case {
        const char* name;
        std::string request;
        int status;
    };
    const Case cases[] = {
        {"nested arrays", Post(std::string(60000, '[')), 400},
        {"nested objects", Post(R"({"content":)" + std::string(30000, '[') + "}"), 400},
        {"not JSON", Post("content=hello"), 400},
        {"no content", Post(R"({"contact":"x"})"), 400},
        {"something after the object", Post(content + " {}"), 400},
        {"a comment after the object", Post(content + " // sent"), 400},
        {"the content twice", Post(R"({"content":"a","content":"b"})"), 400},
        {"past the body bound", Post(std::string(70000, '[')), 413},
        {"declared past the bound",
         "POST /v2/feedback HTTP/1.1\r\nHost: service.test\r\nContent-Type: application/json\r\n"
         "Content-Length: 1000000000\r\nConnection: close\r\n\r\n{",
         413},
        {"chunked past the bound",
         "POST /v2/feedback HTTP/1.1\r\nHost: service.test\r\nContent-Type: application/json\r\n"
         "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n" +
             chunked,
         413},
        {"compressed", Post(content, "Content-Encoding: gzip\r\n"), 415},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Answer answer = Send(service.port(), c.request);
        EXPECT_EQ(answer.status, c.status);
        const QJsonObject error =
            QJsonDocument::fromJson(QByteArray::fromStdString(answer.body)).object();
        EXPECT_EQ(error.value("ret").toInt(-1), 1) << answer.body;
        EXPECT_TRUE(error.value("msg").isString()) << answer.body;
        EXPECT_EQ(answer.Header("EXCEPTION_WHAT"), "");
        for (const char* leak : {"stackLimit", "xceeded", "exception", "Syntax error"})
            EXPECT_EQ(answer.body.find(leak), std::string::npos) << answer.body;
    }
    EXPECT_TRUE(Lines(stored).isEmpty());
    EXPECT_EQ(Send(service.port(), Post(content)).status, 200);
    EXPECT_EQ(Send(service.port(), Post(content + "\r\n")).status, 200) << "blanks may follow";
    EXPECT_EQ(Lines(stored).size(), 2);
}

// Files named on the command line that are no regular files: a named pipe without a reader
// would block an open for writing (or reading) for ever. Each request is answered at once.
TEST_F(FeedbackStoreTest, NamedPipesInPlaceOfTheServicesFilesDoNotHoldARequest)
{
    const QString pipe = folder.path() + "/pipe";
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    servicetest::Service service;
    ASSERT_TRUE(service.Start({"--feedback-file", pipe, "--upgrade-file", pipe, "--help-page", pipe,
                               "--files", folder.path()}));

    const auto started = std::chrono::steady_clock::now();
    const Answer feedback = Send(service.port(), Post(R"({"content":"fine"})"));
    EXPECT_EQ(feedback.status, 500);
    EXPECT_NE(feedback.body.find("\"ret\":1"), std::string::npos);
    const Answer check = Send(service.port(),
                              "POST /v2/upgrade_check HTTP/1.1\r\nHost: s\r\nContent-Length: 2\r\n"
                              "Connection: close\r\n\r\n{}");
    EXPECT_EQ(check.status, 200);
    EXPECT_NE(check.body.find("no upgrade information"), std::string::npos) << check.body;
    const Answer help =
        Send(service.port(), "GET /help HTTP/1.1\r\nHost: s\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(help.status, 200);
    EXPECT_NE(help.body.find("<html"), std::string::npos) << "the built-in page";
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

TEST_F(FeedbackStoreTest, TextThatIsNotUtf8IsStoredWithReplacementCharacters)
{
    servicetest::Service service;
    ASSERT_TRUE(service.Start(Arguments()));

    struct Case {
        const char* sent;      // raw bytes inside the JSON string
        const char* expected;  // UTF-8
    };
    const Case cases[] = {
        {"ok \xff end", "ok \uFFFD end"},
        {"\xc3\x28", "\uFFFD("},
        {"overlong \xc0\xaf", "overlong \uFFFD\uFFFD"},
        {"surrogate \xed\xa0\x80!", "surrogate \uFFFD\uFFFD\uFFFD!"},
        {"past the last \xf4\x90\x80\x80", "past the last \uFFFD\uFFFD\uFFFD\uFFFD"},
        {"cut \xe2\x82", "cut \uFFFD"},
        {"cut \xf0\x9f\x8e then", "cut \uFFFD then"},
        {"kept: \xc3\xa9 \xe4\xb8\xad \xf0\x9f\x8e\xac",
         "kept: \xc3\xa9 \xe4\xb8\xad \xf0\x9f\x8e\xac"},
        {"escaped lone half \\udc00.", "escaped lone half \uFFFD\uFFFD\uFFFD."},
    };
    for (const Case& c : cases) {
        const std::string body =
            std::string(R"({"content":")") + c.sent + "\",\"contact\":\"bad \xfe here\"}";
        EXPECT_EQ(Send(service.port(), Post(body)).status, 200) << c.expected;
    }

    const QList<QByteArray> lines = Lines(stored);
    ASSERT_EQ(lines.size(), static_cast<int>(std::size(cases)));
    for (int i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(cases[i].expected);
        QJsonParseError error;
        const QJsonObject line = QJsonDocument::fromJson(lines[i], &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError)
            << error.errorString().toStdString() << ": " << lines[i].toStdString();
        EXPECT_EQ(line.value("content").toString(), QString::fromUtf8(cases[i].expected));
        EXPECT_EQ(line.value("contact").toString(), QString::fromUtf8("bad \uFFFD here"));
    }
}

// Two services share one file, two clients each: long messages from four writers at once.
TEST_F(FeedbackStoreTest, ConcurrentWritersNeverTearALine)
{
    servicetest::Service first;
    servicetest::Service second;
    ASSERT_TRUE(first.Start(Arguments()));
    ASSERT_TRUE(second.Start(Arguments()));

    constexpr int kWriters = 4;
    constexpr int kMessages = 50;
    auto message = [](int writer, int index) {
        // Long, and not all ASCII: about 40 KB once stored.
        std::string text =
            "writer " + std::to_string(writer) + " message " + std::to_string(index) + " ";
        while (text.size() < 40000) text += "\xe5\x8e\x8b\xe7\xbc\xa9 " + std::to_string(writer);
        return text;
    };
    std::vector<std::future<int>> writers;
    for (int w = 0; w < kWriters; ++w) {
        const int port = (w % 2 ? second : first).port();
        writers.push_back(std::async(std::launch::async, [&, w, port] {
            httplib::Client client("127.0.0.1", port);
            client.set_read_timeout(10);
            int accepted = 0;
            for (int i = 0; i < kMessages; ++i) {
                const std::string body = R"({"content":")" + message(w, i) + R"(","contact":"w"})";
                const auto answer = client.Post("/v2/feedback", body, "application/json");
                if (answer && answer->status == 200 && answer->body == R"({"ret":0})") ++accepted;
            }
            return accepted;
        }));
    }
    // On a loaded machine a request can outlast the service's deadline and be refused: what
    // matters is that every stored line is whole, one per accepted message.
    int accepted = 0;
    for (auto& writer : writers) accepted += writer.get();
    EXPECT_GE(accepted, kWriters * kMessages * 9 / 10);

    QSet<QString> expected;
    for (int w = 0; w < kWriters; ++w)
        for (int i = 0; i < kMessages; ++i) expected.insert(QString::fromStdString(message(w, i)));
    const QList<QByteArray> lines = Lines(stored);
    EXPECT_GE(lines.size(), accepted);
    EXPECT_LE(lines.size(), kWriters * kMessages);
    QSet<QString> seen;
    for (int i = 0; i < lines.size(); ++i) {
        QJsonParseError error;
        const QJsonObject line = QJsonDocument::fromJson(lines[i], &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << "line " << i << " is torn";
        const QString content = line.value("content").toString();
        ASSERT_TRUE(expected.contains(content)) << "line " << i << " is not a message sent";
        seen.insert(content);
    }
    EXPECT_EQ(seen.size(), lines.size()) << "no message stored twice";
}

}  // namespace
