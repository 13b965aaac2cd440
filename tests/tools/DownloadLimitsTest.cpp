// SPDX-License-Identifier: GPL-3.0-or-later
// Installer files under /download/: one byte range at most, files sent from the disk piece by
// piece, and no name that leads out of the files folder.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <future>
#include <vector>

#include "tools/ServiceHarness.h"

namespace {

using servicetest::Answer;
using servicetest::Connection;
using servicetest::milliseconds;

constexpr qint64 kBigSize = 10'000'000;

QByteArray Pattern(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + i / 251) & 0xFF);
    return bytes;
}

bool Write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

std::string Get(const std::string& target, const std::string& extra = {})
{
    return "GET " + target + " HTTP/1.1\r\nHost: service.test\r\n" + extra +
           "Connection: close\r\n\r\n";
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        const QString files = folder.path() + "/files";
        ASSERT_TRUE(QDir(folder.path()).mkpath("files/sub"));
        big = Pattern(kBigSize);
        small = Pattern(1000);
        ASSERT_TRUE(Write(files + "/big.run", big));
        ASSERT_TRUE(Write(files + "/small.run", small));
        ASSERT_TRUE(Write(files + "/sub/nested.run", "NESTED-FILE"));
        ASSERT_TRUE(Write(files + "/.hidden", "HIDDEN-FILE"));
        ASSERT_TRUE(Write(folder.path() + "/secret.txt", "TOP-SECRET"));
        ASSERT_EQ(::mkfifo(QFile::encodeName(files + "/pipe").constData(), 0600), 0);
        // Links: out of the folder, relative and absolute, and one to a file inside it.
        ASSERT_TRUE(QFile::link("../secret.txt", files + "/outside.run"));
        ASSERT_TRUE(QFile::link(folder.path() + "/secret.txt", files + "/absolute.run"));
        ASSERT_TRUE(QFile::link("small.run", files + "/latest.run"));
        ASSERT_TRUE(
            service.Start({"--files", files, "--feedback-file", folder.path() + "/feedback.jsonl",
                           "--upgrade-file", folder.path() + "/upgrade.ini"}));
    }

    Answer Fetch(const std::string& target, const std::string& extra = {})
    {
        return servicetest::Parse(servicetest::Exchange(service.port(), Get(target, extra)));
    }

    // The peak memory of the service once it has answered a first download.
    long WarmPeak()
    {
        EXPECT_EQ(Fetch("/download/small.run").status, 200);
        return service.PeakKiB();
    }

    QTemporaryDir folder;
    QByteArray big;
    QByteArray small;
    servicetest::Service service;
};

TEST_F(DownloadTest, RepeatedRangesAreRefusedWithoutSendingOrLoadingTheFile)
{
    const long before = WarmPeak();
    ASSERT_GT(before, 0);

    std::string ranges = "bytes=0-10000000";
    for (int i = 1; i < 20; ++i) ranges += ",0-10000000";
    Connection attack(service.port());
    ASSERT_TRUE(attack.Send(Get("/download/big.run", "Range: " + ranges + "\r\n")));
    std::string head;
    bool closed = false;
    const size_t sent = attack.ReadToClose(milliseconds(10000), &head, 4096, &closed);
    EXPECT_TRUE(closed);
    EXPECT_LT(sent, 4096u);
    const Answer answer = servicetest::Parse(head);
    EXPECT_EQ(answer.status, 416);
    EXPECT_EQ(answer.Header("Content-Range"), "bytes */10000000");

    // Two ranges apart are refused the same way: one range is what is served.
    EXPECT_EQ(Fetch("/download/big.run", "Range: bytes=0-99,200-299\r\n").status, 416);
    EXPECT_LT(service.PeakKiB() - before, 4096);
}

TEST_F(DownloadTest, WholeFilesAreStreamedFromTheDiskNotLoaded)
{
    const long before = WarmPeak();
    ASSERT_GT(before, 0);

    // Three at once: loading the file for each would take 30 MB.
    std::vector<std::future<Answer>> downloads;
    for (int i = 0; i < 3; ++i) {
        downloads.push_back(std::async(std::launch::async, [this, i] {
            Connection connection(service.port(), ("127.0.0." + std::to_string(2 + i)).c_str());
            std::string raw;
            if (connection.Send(Get("/download/big.run")))
                connection.ReadToClose(milliseconds(20000), &raw, 2 * kBigSize);
            return servicetest::Parse(raw);
        }));
    }
    for (auto& download : downloads) {
        const Answer answer = download.get();
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.Header("Content-Length"), std::to_string(kBigSize));
        EXPECT_TRUE(answer.body == big.toStdString()) << answer.body.size() << " bytes";
    }
    EXPECT_LT(service.PeakKiB() - before, 6 * 1024);
}

TEST_F(DownloadTest, OneRangeIsServedExactly)
{
    struct Case {
        const char* range;
        int status;
        int first;  // the part expected, when the status is 206 or 200
        int last;
        const char* contentRange;  // nullptr: not looked at
    };
    const Case cases[] = {
        {"bytes=100-199", 206, 100, 199, "bytes 100-199/1000"},
        {"bytes=990-", 206, 990, 999, "bytes 990-999/1000"},
        {"bytes=-5", 206, 995, 999, "bytes 995-999/1000"},
        {"bytes=-5000", 206, 0, 999, "bytes 0-999/1000"},
        {"bytes=900-5000", 206, 900, 999, "bytes 900-999/1000"},
        {"bytes=999-999", 206, 999, 999, "bytes 999-999/1000"},
        {"bytes=1000-", 416, 0, -1, "bytes */1000"},
        {"bytes=-0", 416, 0, -1, "bytes */1000"},
        {"bytes=5-2", 416, 0, -1, nullptr},
        {"bytes=1-2,4-5", 416, 0, -1, "bytes */1000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.range);
        const Answer answer =
            Fetch("/download/small.run", std::string("Range: ") + c.range + "\r\n");
        EXPECT_EQ(answer.status, c.status);
        if (c.contentRange) {
            EXPECT_EQ(answer.Header("Content-Range"), c.contentRange);
        }
        if (c.status != 416) {
            const QByteArray part = small.mid(c.first, c.last - c.first + 1);
            EXPECT_TRUE(answer.body == part.toStdString());
            EXPECT_EQ(answer.Header("Content-Length"), std::to_string(part.size()));
        }
    }

    const Answer head = servicetest::Parse(
        servicetest::Exchange(service.port(),
                              "HEAD /download/big.run HTTP/1.1\r\nHost: service.test\r\n"
                              "Range: bytes=10-19\r\nConnection: close\r\n\r\n"));
    EXPECT_EQ(head.status, 206);
    EXPECT_EQ(head.Header("Content-Length"), "10");
    EXPECT_TRUE(head.body.empty());
}

TEST_F(DownloadTest, NamesThatLeaveTheFilesFolderAreRefused)
{
    EXPECT_EQ(Fetch("/download/small.run").status, 200);
    const char* targets[] = {
        "/download/..%2Fsecret.txt",
        "/download/%2e%2e%2fsecret.txt",
        "/download/..%5Csecret.txt",
        "/download/../secret.txt",
        "/download/sub%2Fnested.run",
        "/download/sub/nested.run",
        "/download/small.run%00",
        "/download/small.run%00.txt",
        "/download/.hidden",
        "/download/%2e%2e",
        "/download/",
        "/download/sub",
        "/download/pipe",
        "/download/outside.run",
        "/download/absolute.run",
    };
    // Each from an address of its own: a connection is let go a moment after the client has
    // read its answer, and back-to-back requests from one address could meet the per-client
    // bound.
    int client = 2;
    for (const char* target : targets) {
        SCOPED_TRACE(target);
        const std::string from = "127.0.1." + std::to_string(client++);
        const Answer answer = servicetest::Parse(
            servicetest::Exchange(service.port(), Get(target), milliseconds(5000), from.c_str()));
        EXPECT_TRUE(answer.status == 400 || answer.status == 404) << answer.status;
        EXPECT_NE(answer.body.find("\"ret\":1"), std::string::npos) << answer.body;
        for (const char* kept : {"TOP-SECRET", "NESTED-FILE", "HIDDEN-FILE"})
            EXPECT_EQ(answer.body.find(kept), std::string::npos);
    }
    // A link that stays inside the folder is served as the file it names.
    const Answer latest = Fetch("/download/latest.run");
    EXPECT_EQ(latest.status, 200);
    EXPECT_TRUE(latest.body == small.toStdString());
}

}  // namespace
