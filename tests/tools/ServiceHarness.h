// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <chrono>
#include <string>

// The reference service as a child process on a free port of 127.0.0.1, and raw connections to
// it: what a hostile client sends is sent byte for byte.
namespace servicetest {

using std::chrono::milliseconds;

class Service {
public:
    ~Service();
    // Starts it with "--port 0" and these arguments; false when it did not report its port.
    bool Start(const QStringList& arguments);
    int port() const { return port_; }
    qint64 pid() const { return process_.processId(); }
    // "http://127.0.0.1:<port>"
    std::string Address() const;

    // Peak resident memory so far, in KiB (VmHWM); -1 when unreadable.
    long PeakKiB() const;
    // Sends SIGTERM; the time until the process ended, or -1 ms when it was still running after
    // limit (it is killed then).
    milliseconds Terminate(milliseconds limit);
    int ExitCode() const { return process_.exitCode(); }

private:
    QProcess process_;
    int port_ = -1;
};

// A TCP connection to 127.0.0.1:port, made from the loopback address from (any of 127.0.0.0/8
// on Linux), so that one test can be several clients.
class Connection {
public:
    Connection(int port, const char* from = "127.0.0.1");
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool connected() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    bool Send(const std::string& bytes);
    // Reads until the server closes the connection or limit passes, keeping the first keep
    // bytes. Returns the count received; closed tells whether the server closed.
    size_t ReadToClose(milliseconds limit, std::string* kept = nullptr, size_t keep = 64 * 1024,
                       bool* closed = nullptr);
    // Whatever arrives within limit (no more than max bytes); empty when nothing did.
    std::string ReadSome(milliseconds limit, size_t max = 64 * 1024);
    void Close();

private:
    int fd_ = -1;
};

// Sends request on a new connection and reads the answer until the server closes (at most
// limit). The request should ask for "Connection: close".
std::string Exchange(int port, const std::string& request, milliseconds limit = milliseconds(5000),
                     const char* from = "127.0.0.1");

// An answer split into its parts.
struct Answer {
    int status = 0;
    std::string headers;  // as received, one "Name: value\r\n" a line
    std::string body;
    // The value of the header name (case-insensitive), empty when it is missing.
    std::string Header(const std::string& name) const;
};
Answer Parse(const std::string& raw);

}  // namespace servicetest
