// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <httplib.h>

#include <glog/logging.h>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <atomic>
#include <mutex>
#include <string>

#include <thread>
#include <vector>
#include "tools/ServiceHarness.h"

#include "support/Printers.h"

namespace nettest {

// An HTTP server on 127.0.0.1 at a free port, running on its own thread. Add the handlers with
// server() before Start(); handlers that wait should give up once Stopping() is true.
class LocalServer {
public:
    LocalServer();
    ~LocalServer();

    httplib::Server& server() { return server_; }
    void Start();
    bool Stopping() const { return stopping_; }

    int port() const { return port_; }
    // "http://127.0.0.1:<port>"
    QString Address() const;
    std::string Url(const std::string& path) const;

private:
    httplib::Server server_;
    int port_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens (bound and released).
int UnusedPort();

// The reference service as a child process on a free port of 127.0.0.1 (the harness the
// service's own tests use).
using ServiceProcess = servicetest::Service;

// A key pair made by the real lumo-sign in folder, trusted by the program's upgrade while the
// object lives (the built-in key again afterwards).
class TrustedSigningKey {
public:
    explicit TrustedSigningKey(const QString& folder);
    ~TrustedSigningKey();
    bool ok() const { return !publicKey_.isEmpty(); }
    const QByteArray& publicKey() const { return publicKey_; }
    // Runs "lumo-sign sign" on file, which writes file.sig; false when it failed.
    bool Sign(const QString& file) const;

private:
    QString secretFile_;
    QByteArray publicKey_;
};

// Collects glog lines while it lives.
class LogCapture : public google::LogSink {
public:
    LogCapture() { google::AddLogSink(this); }
    ~LogCapture() override { google::RemoveLogSink(this); }
    void send(google::LogSeverity severity, const char* fullFilename, const char* baseFilename,
              int line, const google::LogMessageTime& time, const char* message,
              size_t length) override;
    // Every line, as "<file>: <message>".
    std::vector<std::string> Lines() const;

private:
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
};

}  // namespace nettest
