// SPDX-License-Identifier: GPL-3.0-or-later
// Clients that take their time, or too many connections: the service keeps answering the others,
// cuts the slow ones off, and stops at once whatever they are doing.
#include <gtest/gtest.h>

#include <httplib.h>
#include <thread>

#include <poll.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <memory>
#include <vector>

#include "tools/ServiceHarness.h"

namespace {

using servicetest::Connection;
using servicetest::milliseconds;

std::string Request(const std::string& path)
{
    return "GET " + path + " HTTP/1.1\r\nHost: service.test\r\nConnection: close\r\n\r\n";
}

// A client that sent the start of a request and adds one header line now and then.
struct SlowClient {
    std::unique_ptr<Connection> connection;
    qint64 startedMs = 0;
    qint64 closedMs = -1;  // when the service closed the connection
    std::string received;
};

// count slow clients, spread over the addresses 127.0.0.2 onwards, perAddress on each.
std::vector<SlowClient> StartSlowClients(int port, int count, int perAddress,
                                         const QElapsedTimer& clock)
{
    std::vector<SlowClient> clients(count);
    for (int i = 0; i < count; ++i) {
        const std::string from = "127.0.0." + std::to_string(2 + i / perAddress);
        clients[i].connection = std::make_unique<Connection>(port, from.c_str());
        clients[i].startedMs = clock.elapsed();
        clients[i].connection->Send("GET /help HTTP/1.1\r\nHost: service.test\r\n");
    }
    return clients;
}

// Sends every open client one more header line each interval and collects what comes back, until
// the service has closed them all or limit has passed.
void Dribble(std::vector<SlowClient>& clients, const QElapsedTimer& clock, milliseconds interval,
             milliseconds limit)
{
    qint64 nextLine = clock.elapsed() + interval.count();
    int line = 0;
    const qint64 end = clock.elapsed() + limit.count();
    for (;;) {
        std::vector<pollfd> waiting;
        std::vector<SlowClient*> owners;
        for (SlowClient& client : clients) {
            if (client.closedMs >= 0) continue;
            waiting.push_back({client.connection->fd(), POLLIN, 0});
            owners.push_back(&client);
        }
        if (waiting.empty() || clock.elapsed() >= end) return;
        const qint64 wait = std::max<qint64>(0, std::min(nextLine, end) - clock.elapsed());
        ::poll(waiting.data(), waiting.size(), static_cast<int>(wait));
        for (size_t i = 0; i < waiting.size(); ++i) {
            if (!(waiting[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const std::string got = owners[i]->connection->ReadSome(milliseconds(0));
            if (got.empty())
                owners[i]->closedMs = clock.elapsed();
            else
                owners[i]->received += got;
        }
        if (clock.elapsed() >= nextLine) {
            ++line;
            for (SlowClient* client : owners) {
                if (client->closedMs < 0)
                    client->connection->Send("X-Slow-" + std::to_string(line) + ": yes\r\n");
            }
            nextLine += interval.count();
        }
    }
}

class SlowClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(QDir(folder.path()).mkpath("files"));
    }

    bool StartService()
    {
        return service.Start({"--files", folder.path() + "/files", "--feedback-file",
                              folder.path() + "/feedback.jsonl", "--upgrade-file",
                              folder.path() + "/upgrade.ini"});
    }

    QTemporaryDir folder;
    servicetest::Service service;
};

TEST_F(SlowClientTest, DribblingClientsNeitherHoldUpOthersNorOutstayTheRequestDeadline)
{
    ASSERT_TRUE(StartService());
    QElapsedTimer clock;
    clock.start();
    // More than the worker threads httplib starts by itself, fewer than any bound on connections.
    std::vector<SlowClient> slow = StartSlowClients(service.port(), 12, 4, clock);
    for (const SlowClient& client : slow) ASSERT_TRUE(client.connection->connected());
    Dribble(slow, clock, milliseconds(1000), milliseconds(1200));

    httplib::Client client("127.0.0.1", service.port());
    client.set_connection_timeout(3);
    client.set_read_timeout(3);
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer took;
        took.start();
        const auto answer = client.Get("/help");
        ASSERT_TRUE(answer) << "request " << i << " was not answered";
        EXPECT_EQ(answer->status, 200);
        EXPECT_LT(took.elapsed(), 1000) << "request " << i;
    }

    Dribble(slow, clock, milliseconds(1000), milliseconds(9000));
    for (size_t i = 0; i < slow.size(); ++i) {
        ASSERT_GE(slow[i].closedMs, 0) << "client " << i << " is still connected";
        const qint64 lasted = slow[i].closedMs - slow[i].startedMs;
        EXPECT_GE(lasted, 4500) << "client " << i;
        EXPECT_LE(lasted, 7000) << "client " << i;
        EXPECT_EQ(slow[i].received.substr(0, 12), "HTTP/1.1 408") << "client " << i;
    }
}

TEST_F(SlowClientTest, StoppingTakesUnderTwoSecondsWhateverTheClientsAreDoing)
{
    QFile big(folder.path() + "/files/big.run");
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(10'000'000));
    big.close();
    ASSERT_TRUE(StartService());

    QElapsedTimer clock;
    clock.start();
    std::vector<SlowClient> slow = StartSlowClients(service.port(), 12, 4, clock);
    Dribble(slow, clock, milliseconds(300), milliseconds(700));
    // Downloads nobody reads: their workers wait to write.
    std::vector<std::unique_ptr<Connection>> stalled;
    for (const char* from : {"127.0.0.20", "127.0.0.21"}) {
        stalled.push_back(std::make_unique<Connection>(service.port(), from));
        ASSERT_TRUE(stalled.back()->Send(Request("/download/big.run")));
    }
    Connection silent(service.port(), "127.0.0.22");
    ASSERT_TRUE(silent.connected());
    Dribble(slow, clock, milliseconds(300), milliseconds(300));
    for (size_t i = 0; i < slow.size(); ++i) ASSERT_LT(slow[i].closedMs, 0) << "client " << i;

    const milliseconds took = service.Terminate(milliseconds(5000));
    EXPECT_GE(took.count(), 0) << "still running 5 s after SIGTERM";
    EXPECT_LT(took.count(), 2000);
    EXPECT_EQ(service.ExitCode(), 0);
}

TEST_F(SlowClientTest, ConnectionsAreBoundedPerClientAddressAndInAll)
{
    ASSERT_TRUE(StartService());
    const int port = service.port();
    auto get = [port](const char* from) {
        return servicetest::Parse(
            servicetest::Exchange(port, Request("/help"), milliseconds(3000), from));
    };
    // Connections kept open after one answer each: the answer shows the service took them in.
    auto hold = [port](const std::string& from, int count,
                       std::vector<std::unique_ptr<Connection>>& held) {
        for (int i = 0; i < count; ++i) {
            held.push_back(std::make_unique<Connection>(port, from.c_str()));
            held.back()->Send("GET /help HTTP/1.1\r\nHost: service.test\r\n\r\n");
            EXPECT_EQ(held.back()->ReadSome(milliseconds(3000)).substr(0, 12), "HTTP/1.1 200")
                << from << " #" << i;
        }
    };

    // Six connections from one address are all it gets; others are still served.
    std::vector<std::unique_ptr<Connection>> first;
    hold("127.0.0.2", 6, first);
    QElapsedTimer took;
    took.start();
    const servicetest::Answer refused = get("127.0.0.2");
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.Header("Retry-After"), "1");
    EXPECT_LT(took.elapsed(), 1000);
    EXPECT_EQ(get("127.0.0.30").status, 200);
    // That connection is closed; the service lets go of it when it reads the end, which a busy
    // machine may delay: the counts below start without it.
    std::this_thread::sleep_for(milliseconds(300));

    // Sixty-four in all, whatever their addresses.
    std::vector<std::unique_ptr<Connection>> others;
    for (int host = 3; host <= 11; ++host) hold("127.0.0." + std::to_string(host), 6, others);
    hold("127.0.0.12", 4, others);
    EXPECT_EQ(get("127.0.0.13").status, 503);

    // Room is made as soon as connections end.
    first.clear();
    int status = 0;
    for (int attempt = 0; attempt < 20 && status != 200; ++attempt) {
        status = get("127.0.0.13").status;
        if (status != 200) QThread::msleep(100);
    }
    EXPECT_EQ(status, 200);
}

}  // namespace
