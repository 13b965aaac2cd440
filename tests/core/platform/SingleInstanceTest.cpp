// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

#include "core/intake/FileCheck.h"
#include "core/platform/SingleInstance.h"
#include "support/TestEnv.h"

namespace {

TEST(SingleInstanceTest, OnlyTheFirstAcquiresAndTheLockOutlivesNoOwner)
{
    auto first = std::make_unique<SingleInstance>("lumo-test");
    ASSERT_TRUE(first->Acquire());
    SingleInstance second("lumo-test");
    EXPECT_FALSE(second.Acquire());

    first.reset();  // the owner goes: the next start becomes the first
    SingleInstance third("lumo-test");
    EXPECT_TRUE(third.Acquire());
}

TEST(SingleInstanceTest, AnAskWithNoFirstRunningGivesUpInTime)
{
    SingleInstance lonely("lumo-test-none");
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(lonely.ActivateRunning(300));
    EXPECT_LT(timer.elapsed(), 2000);
}

// A later start's HandOver, run in a thread while this one serves the first's socket; true when
// the first answered.
bool HandOverFromAnotherThread(const QString& name, const QList<QByteArray>& paths)
{
    std::atomic<int> answered{-1};
    std::thread later([&] {
        SingleInstance second(name);
        answered = second.HandOver(paths, 3000) ? 1 : 0;
    });
    const bool ended = testenv::WaitUntil([&] { return answered != -1; }, 4000);
    later.join();
    return ended && answered == 1;
}

TEST(SingleInstanceTest, HandedOverPathsArriveIntactBeforeTheCallToComeForward)
{
    SingleInstance first("lumo-test-hand");
    ASSERT_TRUE(first.Acquire());
    QList<QByteArray> events;
    QObject::connect(&first, &SingleInstance::filesHanded,
                     [&](const QList<QByteArray>& paths) { events << paths; });
    QObject::connect(&first, &SingleInstance::activationRequested, [&] { events << "forward"; });

    // Text of every kind, and a Latin-1 name that is no UTF-8.
    const QList<QByteArray> paths{"/media/a b.mp4",
                                  QFile::encodeName("/tmp/line\nbreak 视频 $HOME 'q' \"d\".mp4"),
                                  "/tmp/-dash", "/tmp/open activate", "/tmp/caf\xe9 \xff.jpg"};
    EXPECT_TRUE(HandOverFromAnotherThread("lumo-test-hand", paths));
    ASSERT_TRUE(testenv::WaitUntil([&] { return events.contains("forward"); }));
    EXPECT_EQ(events, paths + QList<QByteArray>{"forward"});
}

// A file named by Latin-1 bytes, handed over by a later start, is the real file to the first:
// it is named as a first start's own argument of that name is, bytes shown, not lost.
TEST(SingleInstanceTest, AHandedNameThatIsNotUtf8IsNamedAsAnArgumentIs)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QByteArray native = QFile::encodeName(folder.path()) + "/caf\xe9.jpg";
    const int fd = ::open(native.constData(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ::close(fd);

    SingleInstance first("lumo-test-latin");
    ASSERT_TRUE(first.Acquire());
    QList<QByteArray> handed;
    QObject::connect(&first, &SingleInstance::filesHanded,
                     [&](const QList<QByteArray>& paths) { handed = paths; });
    EXPECT_TRUE(HandOverFromAnotherThread("lumo-test-latin", {native}));
    ASSERT_TRUE(testenv::WaitUntil([&] { return !handed.isEmpty(); }));
    ASSERT_EQ(handed, QList<QByteArray>{native});

    const NotTaken named = UnusablePath(HandedPath(handed.front()));
    EXPECT_EQ(named.reason, UnnameableReason());
    EXPECT_EQ(named.name, ShownName(native));
    EXPECT_TRUE(named.name.endsWith(QStringLiteral("caf\\xe9.jpg"))) << named.name.toStdString();
    // A name that is UTF-8 text is the same path either way.
    EXPECT_EQ(HandedPath(QFile::encodeName(folder.path()) + "/b.jpg"), folder.path() + "/b.jpg");
    ::unlink(native.constData());  // the folder's own removal goes by text names
}

// Peers of the previous version speak "open" and UTF-8 text: a running one of them still gets
// the paths (as text), and its later start's request still opens them here.
TEST(SingleInstanceTest, APeerOfThePreviousVersionIsUnderstoodBothWays)
{
    const QList<QByteArray> paths{"/tmp/a b.png", QFile::encodeName("/tmp/视频.mp4")};

    // The previous version's first: answers an "open" line of UTF-8 text, closes on any other.
    SingleInstance names("lumo-test-old");
    QLocalServer old;
    QLocalServer::removeServer(names.SocketPath());
    ASSERT_TRUE(old.listen(names.SocketPath()));
    QByteArrayList lines;
    QObject::connect(&old, &QLocalServer::newConnection, [&] {
        QLocalSocket* socket = old.nextPendingConnection();
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [&lines, socket] {
            if (!socket->canReadLine()) return;
            const QByteArray line = socket->readLine();
            lines << line;
            if (line.startsWith("open ")) socket->write("ok\n");
            socket->flush();
            socket->disconnectFromServer();
        });
    });
    EXPECT_TRUE(HandOverFromAnotherThread("lumo-test-old", paths));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines.back(), "open " + paths[0].toBase64() + ' ' + paths[1].toBase64() + '\n');
    old.close();

    // The previous version's later start, to this version's first.
    SingleInstance first("lumo-test-old");
    ASSERT_TRUE(first.Acquire());
    QList<QByteArray> handed;
    QObject::connect(&first, &SingleInstance::filesHanded,
                     [&](const QList<QByteArray>& got) { handed = got; });
    QLocalSocket socket;
    socket.connectToServer(first.SocketPath());
    ASSERT_TRUE(socket.waitForConnected(2000));
    socket.write("open " + paths[0].toBase64() + ' ' + paths[1].toBase64() + '\n');
    ASSERT_TRUE(testenv::WaitUntil([&] { return !handed.isEmpty(); }));
    EXPECT_EQ(handed, paths);
    EXPECT_TRUE(testenv::WaitUntil([&] { return socket.canReadLine(); }));
    EXPECT_EQ(socket.readLine(), "ok\n");
}

}  // namespace
