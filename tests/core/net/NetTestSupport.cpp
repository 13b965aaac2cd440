// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/net/NetTestSupport.h"

#include <QTcpServer>

#include <chrono>
#include <thread>

#include "core/net/InstallerSignature.h"

namespace nettest {

LocalServer::LocalServer()
{
    port_ = server_.bind_to_any_port("127.0.0.1");
}

LocalServer::~LocalServer()
{
    stopping_ = true;
    // A stop before the loop has begun is lost, and the loop would then wait for a connection
    // for good: it is given the loop's start first (bounded, for a loop that never starts).
    for (int waited = 0; thread_.joinable() && !server_.is_running() && waited < 5000; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server_.stop();
    if (thread_.joinable()) thread_.join();
}

void LocalServer::Start()
{
    // The socket is bound already: a request made before the loop runs waits in the backlog.
    thread_ = std::thread([this] { server_.listen_after_bind(); });
}

QString LocalServer::Address() const
{
    return QString("http://127.0.0.1:%1").arg(port_);
}

std::string LocalServer::Url(const std::string& path) const
{
    return Address().toStdString() + path;
}

int UnusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

TrustedSigningKey::TrustedSigningKey(const QString& folder)
    : secretFile_(folder + "/installers.key")
{
    QProcess keygen;
    keygen.start(QStringLiteral(LUMO_SIGN_BINARY), {"keygen", secretFile_});
    if (!keygen.waitForFinished(10000) || keygen.exitCode() != 0) return;
    publicKey_ = signature::Decode(keygen.readAllStandardOutput(), signature::kPublicKeyBytes);
    signature::SetTrustedKeyForTesting(publicKey_);
}

TrustedSigningKey::~TrustedSigningKey()
{
    signature::SetTrustedKeyForTesting({});
}

bool TrustedSigningKey::Sign(const QString& file) const
{
    QProcess sign;
    sign.start(QStringLiteral(LUMO_SIGN_BINARY), {"sign", secretFile_, file});
    return sign.waitForFinished(10000) && sign.exitStatus() == QProcess::NormalExit &&
           sign.exitCode() == 0;
}

void LogCapture::send(google::LogSeverity, const char*, const char* baseFilename, int,
                      const google::LogMessageTime&, const char* message, size_t length)
{
    std::lock_guard<std::mutex> guard(lock_);
    lines_.push_back(std::string(baseFilename) + ": " + std::string(message, length));
}

std::vector<std::string> LogCapture::Lines() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return lines_;
}

}  // namespace nettest
