// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/ServiceHarness.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cctype>

namespace servicetest {

Service::~Service()
{
    if (process_.state() == QProcess::NotRunning) return;
    process_.kill();
    process_.waitForFinished(5000);
}

bool Service::Start(const QStringList& arguments)
{
    process_.setProgram(QStringLiteral(LUMO_SERVICE_BINARY));
    process_.setArguments(QStringList{"--port", "0"} + arguments);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start();
    if (!process_.waitForStarted(5000)) return false;
    static const QRegularExpression listening("listening on http://127\\.0\\.0\\.1:(\\d+)");
    QByteArray output;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000 && process_.waitForReadyRead(1000)) {
        output += process_.readAllStandardOutput();
        const auto match = listening.match(QString::fromUtf8(output));
        if (match.hasMatch()) {
            port_ = match.captured(1).toInt();
            return true;
        }
    }
    return false;
}

std::string Service::Address() const
{
    return "http://127.0.0.1:" + std::to_string(port_);
}

long Service::PeakKiB() const
{
    QFile status(QString("/proc/%1/status").arg(pid()));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ')[0].toLong();
    }
    return -1;
}

milliseconds Service::Terminate(milliseconds limit)
{
    QElapsedTimer clock;
    clock.start();
    process_.terminate();
    if (process_.waitForFinished(static_cast<int>(limit.count())))
        return milliseconds(clock.elapsed());
    process_.kill();
    process_.waitForFinished(5000);
    return milliseconds(-1);
}

Connection::Connection(int port, const char* from)
{
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, from, &local.sin_addr);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd_, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0)
        Close();
}

Connection::~Connection()
{
    Close();
}

void Connection::Close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool Connection::Send(const std::string& bytes)
{
    size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return fd_ >= 0;
}

size_t Connection::ReadToClose(milliseconds limit, std::string* kept, size_t keep, bool* closed)
{
    if (closed) *closed = false;
    if (fd_ < 0) return 0;
    size_t total = 0;
    char buffer[64 * 1024];
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < limit.count()) {
        pollfd entry{fd_, POLLIN, 0};
        const int left = static_cast<int>(limit.count() - clock.elapsed());
        if (::poll(&entry, 1, std::max(left, 0)) <= 0) continue;
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) {  // the end, or a reset: closed either way
            if (closed) *closed = true;
            break;
        }
        if (kept && kept->size() < keep)
            kept->append(buffer, std::min(static_cast<size_t>(n), keep - kept->size()));
        total += static_cast<size_t>(n);
    }
    return total;
}

std::string Connection::ReadSome(milliseconds limit, size_t max)
{
    std::string got;
    if (fd_ < 0) return got;
    pollfd entry{fd_, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(limit.count())) <= 0) return got;
    got.resize(max);
    const ssize_t n = ::recv(fd_, got.data(), max, 0);
    got.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return got;
}

std::string Exchange(int port, const std::string& request, milliseconds limit, const char* from)
{
    Connection connection(port, from);
    std::string answer;
    if (connection.Send(request)) connection.ReadToClose(limit, &answer, std::string::npos);
    return answer;
}

std::string Answer::Header(const std::string& name) const
{
    auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        return text;
    };
    const std::string wanted = lower(name) + ":";
    size_t start = 0;
    while (start < headers.size()) {
        const size_t end = headers.find("\r\n", start);
        const std::string line = headers.substr(start, end - start);
        if (lower(line.substr(0, wanted.size())) == wanted) {
            const size_t value = line.find_first_not_of(' ', wanted.size());
            return value == std::string::npos ? std::string() : line.substr(value);
        }
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return {};
}

Answer Parse(const std::string& raw)
{
    Answer answer;
    const size_t lineEnd = raw.find("\r\n");
    const size_t headersEnd = raw.find("\r\n\r\n");
    if (raw.rfind("HTTP/1.", 0) != 0 || lineEnd == std::string::npos ||
        headersEnd == std::string::npos)
        return answer;
    answer.status = std::atoi(raw.c_str() + raw.find(' ') + 1);
    answer.headers = raw.substr(lineEnd + 2, headersEnd + 2 - (lineEnd + 2));
    answer.body = raw.substr(headersEnd + 4);
    return answer;
}

}  // namespace servicetest
