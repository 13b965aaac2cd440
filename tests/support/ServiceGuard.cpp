// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ServiceGuard.h"

#include <QUrl>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "core/app/AppConfig.h"
#include "core/app/ServiceAddress.h"

namespace {

std::atomic<int> attempts{0};

bool IsDefaultService(const sockaddr* address, socklen_t length)
{
    static const QUrl url(QString::fromUtf8(kDefaultServiceAddress));
    static const in_addr_t host = inet_addr(url.host().toLatin1().constData());
    static const in_port_t port = htons(static_cast<uint16_t>(url.port()));
    if (!address) return false;
    if (address->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        return v4->sin_port == port && v4->sin_addr.s_addr == host;
    }
    if (address->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (v6->sin6_port != port || !IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) return false;
        return std::memcmp(&v6->sin6_addr.s6_addr[12], &host, 4) == 0;
    }
    return false;
}

}  // namespace

// Every connect() of a test process, in the test's own code and in the libraries (libcurl, Qt
// Network), comes here first: the executable's definition precedes the C library's.
extern "C" int connect(int socket, const sockaddr* address, socklen_t length)
{
    using Connect = int (*)(int, const sockaddr*, socklen_t);
    static const auto next = reinterpret_cast<Connect>(dlsym(RTLD_NEXT, "connect"));
    if (IsDefaultService(address, length)) {
        ++attempts;
        errno = ECONNREFUSED;
        return -1;
    }
    return next(socket, address, length);
}

namespace testenv {

QString UnreachableServiceAddress()
{
    return QStringLiteral("http://127.0.0.1:1");
}

int TakeDefaultServiceAttempts()
{
    return attempts.exchange(0);
}

QString ServiceGuard::CheckConfig()
{
    const QString address = ServiceAddress();
    if (address == UnreachableServiceAddress()) return {};
    return QStringLiteral("the tests read the service address %1 from %2; expected %3 there")
        .arg(address, AppConfig::InstallConfigPath(), UnreachableServiceAddress());
}

void ServiceGuard::OnTestStart(const ::testing::TestInfo&)
{
    TakeDefaultServiceAttempts();
}

void ServiceGuard::OnTestEnd(const ::testing::TestInfo&)
{
    if (const int count = TakeDefaultServiceAttempts()) {
        ADD_FAILURE() << count << " connection(s) to the default service address "
                      << kDefaultServiceAddress
                      << " (give the window under test a local server's address)";
    }
}

}  // namespace testenv
