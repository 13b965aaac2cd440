// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>

// How much of the service one client may hold, and for how long.
struct ConnectionLimits {
    int maxConnections = 64;  // open connections in all
    int maxPerClient = 6;     // open connections from one address (IPv6: from one /64)
    // A request (line, headers and body) must arrive in full within this time, counted from when
    // the connection is ready for it: just accepted, or done with the previous answer.
    std::chrono::milliseconds requestTimeout{5000};
    // Each write of an answer must get under way within this time.
    std::chrono::milliseconds writeTimeout{5000};
    size_t maxHeaderBytes = 16 * 1024;  // request line and headers
    size_t maxBodyBytes = 64 * 1024;
    int maxRequestsPerConnection = 100;
};

// How the reading of the request this thread serves went, for the handlers and the error page.
struct RequestReadState {
    bool headersRead = false;
    bool timedOut = false;     // the request did not arrive in time
    bool tooLarge = false;     // headers or body beyond their bounds
    bool encodedBody = false;  // a Content-Encoding was sent (and left undecoded)
    // Not 0: the request is answered with this status and read no further. Framing that could
    // be read two ways (Content-Length twice with different values, or beside
    // Transfer-Encoding), a transfer coding other than chunked, a header line without a colon,
    // a malformed chunk size, or a chunk larger than the body may be.
    int refusal = 0;
};

// An httplib server that bounds its clients: connections per address and in all, whole-request
// deadlines, header and body sizes. Shutdown ends every connection at once, however slow its
// client. Request bodies are never decoded, and byte ranges are left to the handlers (the
// Range header is there, Request::ranges is empty). A request whose framing is unclear or
// malformed is refused as soon as that shows (see RequestReadState::refusal), and the
// connection closes after the answer: nothing of it could be told from the next request.
class GuardedServer : public httplib::Server {
public:
    explicit GuardedServer(ConnectionLimits limits = {});

    // Binds to host and port (0: any free port); the port bound, or -1. The queue of connections
    // not yet accepted holds a burst of clients, not httplib's five.
    int Bind(const std::string& host, int port);

    // Closes the listening socket and every connection; the listening loop returns soon after.
    // A loop that had not started yet when this was called is not stopped: call again until it
    // has returned (from one thread at a time).
    void Shutdown();
    bool ShuttingDown() const { return stopping_; }

    // The state of the request served on the calling thread; nullptr outside one.
    static const RequestReadState* CurrentRequest();

    // Fills the answer for a status of 400 or more that has no body yet. A request that came too
    // slowly or too large has its status made 408, 413 or 431 before this is called.
    void SetErrorPage(std::function<void(const httplib::Request&, httplib::Response&)> page);

    const ConnectionLimits& limits() const { return limits_; }

private:
    bool process_and_close_socket(socket_t sock) override;
    void ServeConnection(socket_t sock);
    // Answers a request httplib gave up on before its headers (a request line past the header
    // bound) with status and the error page.
    void AnswerUnread(httplib::Stream& stream, int status);

    enum class Admission { Admitted, Busy, Stopping };
    Admission Admit(socket_t sock, const std::string& client);
    void Release(socket_t sock, const std::string& client);

    const ConnectionLimits limits_;
    std::function<void(const httplib::Request&, httplib::Response&)> errorPage_;
    std::atomic<bool> stopping_{false};
    std::mutex lock_;
    std::set<socket_t> open_;
    std::map<std::string, int> perClient_;
};
