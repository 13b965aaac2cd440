// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/ServiceAddress.h"

#include <gtest/gtest.h>

#include <QTcpSocket>
#include <QUrl>

#include "support/ServiceGuard.h"

namespace {

// The tests reach no service they did not start: the address read from the Config.ini beside
// the test executables is a closed port, and the default address is refused in this process.
TEST(ServiceAddressTest, TheTestsReadAClosedPortFromConfigIni)
{
    EXPECT_EQ(ServiceAddress(), testenv::UnreachableServiceAddress());
    EXPECT_EQ(ServiceUrl("/help").toString(), testenv::UnreachableServiceAddress() + "/help");

    const QUrl url(ServiceAddress());
    QTcpSocket socket;
    socket.connectToHost(url.host(), static_cast<quint16>(url.port()));
    EXPECT_FALSE(socket.waitForConnected(3000));
    EXPECT_EQ(socket.error(), QAbstractSocket::ConnectionRefusedError);
}

TEST(ServiceAddressTest, TheDefaultAddressIsRefusedAndCounted)
{
    const QUrl url(QString::fromUtf8(kDefaultServiceAddress));
    for (int attempt = 0; attempt < 2; ++attempt) {
        QTcpSocket socket;
        socket.connectToHost(url.host(), static_cast<quint16>(url.port()));
        EXPECT_FALSE(socket.waitForConnected(3000));
        EXPECT_EQ(socket.error(), QAbstractSocket::ConnectionRefusedError);
    }
    // Taken here, so this test passes; any other test that tries fails. (Qt may try a refused
    // address more than once.)
    EXPECT_GE(testenv::TakeDefaultServiceAttempts(), 2);
    EXPECT_EQ(testenv::TakeDefaultServiceAttempts(), 0);
}

}  // namespace
