// SPDX-License-Identifier: GPL-3.0-or-later
#include "GuardedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Workers beyond the connection bound: a refused client is answered by one of these while every
// admitted connection holds its own.
constexpr int kSpareWorkers = 8;
// Chunk sizes and line ends of a chunked body, on top of its data.
constexpr size_t kChunkFraming = 4 * 1024;

// A chunk-size line (hexadecimal digits and any extensions) longer than this is refused.
constexpr size_t kMaxChunkLine = 256;

thread_local RequestReadState* currentRequest = nullptr;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string TrimBlanks(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The comma-separated elements of every value of the header name, trimmed.
std::vector<std::string> HeaderElements(const httplib::Request& request, const char* name)
{
    std::vector<std::string> elements;
    const auto [begin, end] = request.headers.equal_range(name);
    for (auto it = begin; it != end; ++it) {
        size_t start = 0;
        for (;;) {
            const size_t comma = it->second.find(',', start);
            elements.push_back(TrimBlanks(it->second.substr(start, comma - start)));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }
    return elements;
}

// The status a request's framing headers are refused with, 0 when its body can be told
// apart from what follows in one way only.
int FramingRefusal(const httplib::Request& request)
{
    const std::vector<std::string> lengths = HeaderElements(request, "Content-Length");
    for (const std::string& length : lengths) {
        if (length.empty() || length.size() > 18 ||
            length.find_first_not_of("0123456789") != std::string::npos || length != lengths[0])
            return 400;
    }
    if (!request.has_header("Transfer-Encoding")) return 0;
    if (!lengths.empty()) return 400;
    const std::vector<std::string> codings = HeaderElements(request, "Transfer-Encoding");
    if (Lower(codings.back()) != "chunked") return 400;  // where the body ends is unknown
    return codings.size() == 1 ? 0 : 501;                // chunked after a coding not supported
}

// Waits for events on sock until deadline; false when the time ran out first. A hang-up or an
// error counts as an event: the read or write that follows reports it.
bool WaitFor(int sock, short events, Clock::time_point deadline)
{
    for (;;) {
        // Rounded up: a wait that ends early would look like an error rather than a timeout.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{sock, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (ready > 0) return true;
        if (ready == 0 || errno != EINTR) return false;
    }
}

std::string AddressText(const sockaddr_storage& address, int* port)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
        if (port) *port = ntohs(in.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
        if (port) *port = ntohs(in6.sin6_port);
    }
    return text;
}

// Whom a connection is counted against: its IPv4 address, or the /64 of its IPv6 address (one
// host usually owns a whole /64).
std::string ClientOf(int sock)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getpeername(sock, reinterpret_cast<sockaddr*>(&address), &length) != 0) return {};
    if (address.ss_family == AF_INET6) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(address);
        if (IN6_IS_ADDR_V4MAPPED(&in6.sin6_addr)) {
            sockaddr_storage v4{};
            auto& in = reinterpret_cast<sockaddr_in&>(v4);
            in.sin_family = AF_INET;
            std::memcpy(&in.sin_addr, in6.sin6_addr.s6_addr + 12, 4);
            return AddressText(v4, nullptr);
        }
        std::memset(in6.sin6_addr.s6_addr + 8, 0, 8);
        return AddressText(address, nullptr) + "/64";
    }
    return AddressText(address, nullptr);
}

// A connection of the server: reads through a buffer under the request's deadline and size
// bounds, writes under the write timeout. Never blocks past either, and wakes at once when
// the socket is shut down from another thread.
class ConnectionStream final : public httplib::Stream {
public:
    ConnectionStream(int sock, const ConnectionLimits& limits, RequestReadState& state)
        : sock_(sock), limits_(limits), state_(state)
    {
    }

    // The connection is ready for a request: the clock and the header bound start again.
    void BeginRequest()
    {
        state_ = {};
        deadline_ = Clock::now() + limits_.requestTimeout;
        budget_ = limits_.maxHeaderBytes;
        scan_ = Scan::RequestLine;
        line_.clear();
    }
    // The headers are in; the body has its own bound, and a chunked one is checked as it comes.
    void BeginBody(bool chunked)
    {
        state_.headersRead = true;
        budget_ = limits_.maxBodyBytes + kChunkFraming;
        scan_ = chunked ? Scan::ChunkSize : Scan::Off;
        line_.clear();
    }
    // Whether the request line ended within the header bound.
    bool RequestLineRead() const { return scan_ != Scan::RequestLine; }
    // The body announced is past the bound: none of it is read, the answer goes out at once.
    void RefuseBody()
    {
        state_.tooLarge = true;
        budget_ = 0;
    }
    // The request is refused with status: nothing more of it is read.
    void Refuse(int status)
    {
        state_.refusal = status;
        budget_ = 0;
    }
    // True once the first bytes of a request are there; false when the deadline passed first.
    bool WaitForRequest() { return begin_ < end_ || WaitFor(sock_, POLLIN, deadline_); }
    // The connection cannot carry another request.
    bool Broken() const
    {
        return failed_ || state_.timedOut || state_.tooLarge || state_.refusal != 0;
    }

    bool is_readable() const override { return begin_ < end_ || WaitFor(sock_, POLLIN, deadline_); }

    bool is_writable() const override
    {
        return WaitFor(sock_, POLLOUT, Clock::now() + limits_.writeTimeout);
    }

    ssize_t read(char* data, size_t size) override
    {
        if (size == 0) return 0;
        // Checked before waiting: a refused body is not waited for.
        if (budget_ == 0) {
            if (state_.refusal == 0) state_.tooLarge = true;
            return -1;
        }
        if (begin_ == end_) {
            const ssize_t filled = Fill();
            if (filled <= 0) return filled;
        }
        const size_t count = std::min({size, end_ - begin_, budget_});
        std::memcpy(data, buffer_ + begin_, count);
        begin_ += count;
        budget_ -= count;
        if (!Check(data, count)) {
            budget_ = 0;
            return -1;
        }
        return static_cast<ssize_t>(count);
    }

    ssize_t write(const char* data, size_t size) override
    {
        if (size == 0) return 0;
        const auto deadline = Clock::now() + limits_.writeTimeout;
        for (;;) {
            const ssize_t sent = ::send(sock_, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent >= 0) return sent;
            if (errno == EINTR) continue;
            if ((errno != EAGAIN && errno != EWOULDBLOCK) || !WaitFor(sock_, POLLOUT, deadline)) {
                failed_ = true;
                return -1;
            }
        }
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (getpeername(sock_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            ip = AddressText(address, &port);
    }

    void get_local_ip_and_port(std::string& ip, int& port) const override
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (getsockname(sock_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            ip = AddressText(address, &port);
    }

    socket_t socket() const override { return sock_; }

private:
    enum class Scan {
        RequestLine,
        HeaderLines,
        ChunkSize,
        ChunkData,
        ChunkEnd,    // the CR LF after a chunk's data
        ChunkEndLf,  // its LF
        TrailerLines,
        Off,  // nothing (more) to check
    };

    // Follows the bytes handed to httplib: header lines must have a colon (and no blank before
    // it, nor start with one), and a chunked body well-formed chunk-size lines and chunks
    // no larger than the body may be. False (with the refusal set) at the first fault, so the
    // request is answered at once rather than when its deadline passes.
    bool Check(const char* data, size_t count)
    {
        for (size_t i = 0; i < count && scan_ != Scan::Off; ++i) {
            const char c = data[i];
            if (scan_ == Scan::ChunkData) {
                const size_t take = std::min<size_t>(count - i, chunkLeft_);
                chunkLeft_ -= take;
                i += take - 1;
                if (chunkLeft_ == 0) scan_ = Scan::ChunkEnd;
                continue;
            }
            if (scan_ == Scan::ChunkEnd || scan_ == Scan::ChunkEndLf) {
                if (c != (scan_ == Scan::ChunkEnd ? '\r' : '\n')) return Fault(400);
                scan_ = scan_ == Scan::ChunkEnd ? Scan::ChunkEndLf : Scan::ChunkSize;
                continue;
            }
            if (c != '\n') {
                if (line_.size() >= kMaxChunkLine && scan_ == Scan::ChunkSize) return Fault(400);
                line_ += c;
                continue;
            }
            if (!line_.empty() && line_.back() == '\r') line_.pop_back();
            if (!EndOfLine()) return false;
            line_.clear();
        }
        return true;
    }

    // A whole line (without its end) is in line_.
    bool EndOfLine()
    {
        switch (scan_) {
            case Scan::RequestLine:
                scan_ = Scan::HeaderLines;
                return true;
            case Scan::TrailerLines:
                // httplib reads no trailer fields: one would be taken for the next request.
                if (!line_.empty()) return Fault(400);
                scan_ = Scan::Off;
                return true;
            case Scan::HeaderLines: {
                if (line_.empty()) {
                    scan_ = Scan::Off;
                    return true;
                }
                const size_t colon = line_.find(':');
                if (colon == std::string::npos || colon == 0 || line_[0] == ' ' ||
                    line_[0] == '\t' || line_[colon - 1] == ' ' || line_[colon - 1] == '\t')
                    return Fault(400);
                return true;
            }
            case Scan::ChunkSize: {
                const std::string digits = TrimBlanks(line_.substr(0, line_.find(';')));
                const size_t significant = digits.find_first_not_of('0');
                if (digits.empty() ||
                    digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                    return Fault(400);
                if (significant == std::string::npos) {  // the last chunk
                    scan_ = Scan::TrailerLines;
                    return true;
                }
                if (digits.size() - significant > 8) return Fault(413);
                chunkLeft_ = std::stoull(digits.substr(significant), nullptr, 16);
                if (chunkLeft_ > limits_.maxBodyBytes) return Fault(413);
                scan_ = Scan::ChunkData;
                return true;
            }
            default:
                return true;
        }
    }

    bool Fault(int status)
    {
        state_.refusal = status;
        scan_ = Scan::Off;
        return false;
    }

    // Refills the empty buffer: the count read, 0 at the end of the stream, -1 on an error or
    // when the deadline passed.
    ssize_t Fill()
    {
        begin_ = end_ = 0;
        for (;;) {
            if (!WaitFor(sock_, POLLIN, deadline_)) {
                if (Clock::now() >= deadline_) state_.timedOut = true;
                failed_ = true;
                return -1;
            }
            const ssize_t got = ::recv(sock_, buffer_, sizeof buffer_, MSG_DONTWAIT);
            if (got > 0) {
                end_ = static_cast<size_t>(got);
                return got;
            }
            if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
            failed_ = true;
            return got == 0 ? 0 : -1;
        }
    }

    const int sock_;
    const ConnectionLimits& limits_;
    RequestReadState& state_;
    Clock::time_point deadline_ = Clock::now();
    size_t budget_ = 0;
    bool failed_ = false;
    char buffer_[4096];
    size_t begin_ = 0;
    size_t end_ = 0;
    Scan scan_ = Scan::RequestLine;
    std::string line_;
    size_t chunkLeft_ = 0;
};

// The answer to a client over its bounds, sent without waiting for a slow reader.
void AnswerBusy(int sock)
{
    // Taking in what already came makes the close a clean one, so the client reads the answer.
    WaitFor(sock, POLLIN, Clock::now() + std::chrono::milliseconds(100));
    char discard[4096];
    for (int i = 0; i < 16 && ::recv(sock, discard, sizeof discard, MSG_DONTWAIT) > 0; ++i) {
    }
    static const std::string body = R"({"ret":1,"msg":"too many connections"})";
    static const std::string answer =
        "HTTP/1.1 503 Service Unavailable\r\n"
        "Content-Type: application/json; charset=UTF-8\r\n"
        "Content-Length: " +
        std::to_string(body.size()) +
        "\r\n"
        "Retry-After: 1\r\n"
        "Connection: close\r\n\r\n" +
        body;
    [[maybe_unused]] const ssize_t sent =
        ::send(sock, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

// Closing a socket with unread input resets the connection, and the client may lose the answer
// sent last (a 413 to a body not read, say). So the end of the answer goes first, then what the
// client still sends is read and dropped for a short while; a shutdown of the socket ends it.
void Linger(int sock)
{
    ::shutdown(sock, SHUT_WR);
    const auto until = Clock::now() + std::chrono::milliseconds(500);
    char discard[16 * 1024];
    size_t dropped = 0;
    while (dropped < 1024 * 1024 && WaitFor(sock, POLLIN, until)) {
        const ssize_t got = ::recv(sock, discard, sizeof discard, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) break;
        if (got > 0) dropped += static_cast<size_t>(got);
    }
}

}  // namespace

GuardedServer::GuardedServer(ConnectionLimits limits) : limits_(limits)
{
    const size_t workers = static_cast<size_t>(limits_.maxConnections + kSpareWorkers);
    new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
    set_payload_max_length(limits_.maxBodyBytes);
    // What the Keep-Alive header of the answers announces.
    set_keep_alive_max_count(static_cast<size_t>(limits_.maxRequestsPerConnection));
    set_keep_alive_timeout(
        std::chrono::duration_cast<std::chrono::seconds>(limits_.requestTimeout).count());
    // Used by the listening loop for the accepted sockets; the connections below keep their own
    // deadlines.
    set_read_timeout(std::chrono::duration_cast<std::chrono::seconds>(limits_.requestTimeout));
    set_write_timeout(std::chrono::duration_cast<std::chrono::seconds>(limits_.writeTimeout));

    set_error_handler(
        HandlerWithResponse([this](const httplib::Request& request, httplib::Response& response) {
            // httplib answers 400 to any request it could not read; say why.
            const RequestReadState* state = CurrentRequest();
            if (state && state->refusal != 0) {
                response.status = state->refusal;
                if (request.get_header_value("Connection") != "close")
                    response.set_header("Connection", "close");
            } else if (state && response.status == 400) {
                if (state->timedOut)
                    response.status = 408;
                else if (state->tooLarge)
                    response.status = state->headersRead ? 413 : 431;
            }
            if (response.body.empty() && !response.content_provider_ && errorPage_)
                errorPage_(request, response);
            return HandlerResponse::Handled;
        }));
    // A refused request is answered before any handler reads its body.
    set_pre_routing_handler([](const httplib::Request&, httplib::Response& response) {
        const RequestReadState* state = CurrentRequest();
        if (!state || state->refusal == 0) return HandlerResponse::Unhandled;
        response.status = state->refusal;
        return HandlerResponse::Handled;
    });
    // "100 Continue" only for a body that will be read.
    set_expect_100_continue_handler([](const httplib::Request&, httplib::Response& response) {
        const RequestReadState* state = CurrentRequest();
        if (state && state->refusal != 0)
            response.status = state->refusal;
        else if (state && state->tooLarge)
            response.status = 413;
        else
            return 100;
        return response.status;
    });
}

int GuardedServer::Bind(const std::string& host, int port)
{
    const int bound = port == 0 ? bind_to_any_port(host) : bind_to_port(host, port) ? port : -1;
    // Listening again on a listening socket sets its backlog anew.
    if (bound >= 0) ::listen(svr_sock_, SOMAXCONN);
    return bound;
}

void GuardedServer::SetErrorPage(
    std::function<void(const httplib::Request&, httplib::Response&)> page)
{
    errorPage_ = std::move(page);
}

const RequestReadState* GuardedServer::CurrentRequest()
{
    return currentRequest;
}

void GuardedServer::Shutdown()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        // The workers own their sockets and close them; shutting them down wakes every read and
        // write at once.
        for (const socket_t sock : open_) ::shutdown(sock, SHUT_RDWR);
    }
    // Once the listening socket is gone there is nothing left to stop (and httplib wants it
    // stopped once).
    if (is_running() && svr_sock_ != INVALID_SOCKET) stop();
}

GuardedServer::Admission GuardedServer::Admit(socket_t sock, const std::string& client)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (stopping_) return Admission::Stopping;
    if (static_cast<int>(open_.size()) >= limits_.maxConnections) return Admission::Busy;
    int& fromClient = perClient_[client];
    if (fromClient >= limits_.maxPerClient) return Admission::Busy;
    ++fromClient;
    open_.insert(sock);
    return Admission::Admitted;
}

void GuardedServer::Release(socket_t sock, const std::string& client)
{
    std::lock_guard<std::mutex> guard(lock_);
    open_.erase(sock);
    const auto counted = perClient_.find(client);
    if (counted != perClient_.end() && --counted->second <= 0) perClient_.erase(counted);
}

bool GuardedServer::process_and_close_socket(socket_t sock)
{
    const std::string client = ClientOf(sock);
    switch (Admit(sock, client)) {
        case Admission::Admitted:
            ServeConnection(sock);
            if (!stopping_) Linger(sock);
            Release(sock, client);
            break;
        case Admission::Busy:
            AnswerBusy(sock);
            break;
        case Admission::Stopping:
            break;
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return true;
}

void GuardedServer::ServeConnection(socket_t sock)
{
    RequestReadState state;
    ConnectionStream stream(sock, limits_, state);
    currentRequest = &state;
    for (int served = 0; served < limits_.maxRequestsPerConnection && !stopping_; ++served) {
        stream.BeginRequest();
        if (!stream.WaitForRequest() || stopping_) break;
        const bool last = served + 1 == limits_.maxRequestsPerConnection;
        bool closed = false;
        const bool answered = process_request(stream, last, closed, [&](httplib::Request& request) {
            const int refusal = FramingRefusal(request);
            stream.BeginBody(refusal == 0 && request.has_header("Transfer-Encoding"));
            if (refusal != 0)
                stream.Refuse(refusal);
            else if (request.has_header("Content-Length") &&
                     std::strtoull(request.get_header_value("Content-Length").c_str(), nullptr,
                                   10) > limits_.maxBodyBytes)
                stream.RefuseBody();
            // Byte ranges are left to the handlers, which read the Range header themselves.
            request.ranges.clear();
            // Bodies are taken as sent: inflating one could turn a small request into a
            // very large one.
            if (request.has_header("Content-Encoding")) {
                std::string coding = request.get_header_value("Content-Encoding");
                std::transform(coding.begin(), coding.end(), coding.begin(),
                               [](unsigned char c) { return std::tolower(c); });
                if (coding != "identity") state.encodedBody = true;
                request.headers.erase("Content-Encoding");
            }
        });
        // A request line past the header bound: httplib gives up without an answer.
        if (!answered && state.tooLarge && !stream.RequestLineRead()) AnswerUnread(stream, 414);
        if (!answered || closed || stream.Broken()) break;
    }
    currentRequest = nullptr;
}

void GuardedServer::AnswerUnread(httplib::Stream& stream, int status)
{
    httplib::Request request;
    httplib::Response response;
    response.status = status;
    if (errorPage_) errorPage_(request, response);
    const char* reason = status == 414 ? "URI Too Long" : "Bad Request";
    std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
    if (!response.body.empty())
        answer += "Content-Type: " + response.get_header_value("Content-Type") + "\r\n";
    answer += "Content-Length: " + std::to_string(response.body.size()) +
              "\r\nConnection: close\r\n\r\n" + response.body;
    size_t sent = 0;
    while (sent < answer.size()) {
        const ssize_t n = stream.write(answer.data() + sent, answer.size() - sent);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
}
