// SPDX-License-Identifier: GPL-3.0-or-later
#include "Service.h"

#include <fcntl.h>
#include <json/json.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCryptographicHash>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <sstream>

#include "Downloads.h"

namespace {

constexpr char kDownloadMount[] = "/download";
// Feedback is a flat object; anything nested deeper is refused before it costs anything.
constexpr int kFeedbackJsonDepth = 16;
constexpr char kJson[] = "application/json; charset=UTF-8";
// The upgrade file and the help page are small; a larger file is read no further.
constexpr size_t kMaxConfigBytes = 1024 * 1024;
// What a file served under /download/ has beside it: its detached signature.
constexpr char kSignatureSuffix[] = ".sig";

constexpr char kBuiltInHelpPage[] = R"(<!DOCTYPE html>
<html lang="zh-CN">
<head><meta charset="utf-8"><title>LumoCompress 帮助</title>
<style>
body { font-family: sans-serif; color: #1F2329; background: #F5F6F8; margin: 0; }
main { max-width: 720px; margin: 40px auto; background: #FFFFFF; padding: 24px 32px;
       border: 1px solid #E5E6EB; border-radius: 8px; }
h1 { color: #2F7CF6; font-size: 22px; }
</style></head>
<body><main>
<h1>LumoCompress 帮助</h1>
<p>添加视频或图片,选择压缩方式,点击“全部压缩”即可。压缩后的文件保存在输出目录中,原文件不会被修改。</p>
<p>遇到问题?请在程序菜单中选择“意见反馈”告诉我们。</p>
</main></body></html>
)";

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// The whole of a regular file, at most maxBytes of it. Opened without blocking and refused when
// it is no regular file: a named pipe or a device named in the options cannot hold a request.
bool ReadRegularFile(const std::string& path, size_t maxBytes, std::string& content)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    struct stat info {};
    bool read = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    content.clear();
    char buffer[16 * 1024];
    while (read && content.size() < maxBytes) {
        const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, maxBytes - content.size()));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            read = got == 0;
            break;
        }
        content.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return read;
}

// key=value lines; blank lines and lines starting with '#' are skipped.
bool ReadKeyValues(const std::string& path, std::map<std::string, std::string>& values)
{
    std::string content;
    if (!ReadRegularFile(path, kMaxConfigBytes, content)) return false;
    std::istringstream file(content);
    std::string line;
    while (std::getline(file, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        values[Trim(line.substr(0, equals))] = Trim(line.substr(equals + 1));
    }
    return true;
}

std::string WriteJson(const Json::Value& value)
{
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    writer["emitUTF8"] = true;
    return Json::writeString(writer, value);
}

void AnswerJson(httplib::Response& response, const Json::Value& value, int status = 200)
{
    response.status = status;
    response.set_content(WriteJson(value), kJson);
}

Json::Value Ret(int ret, const char* message)
{
    Json::Value value(Json::objectValue);
    value["ret"] = ret;
    if (message) value["msg"] = message;
    return value;
}

const char* StatusText(int status)
{
    switch (status) {
        case 400:
            return "bad request";
        case 404:
            return "not found";
        case 405:
            return "method not allowed";
        case 408:
            return "request timeout";
        case 413:
            return "request too large";
        case 414:
            return "address too long";
        case 415:
            return "unsupported content encoding";
        case 416:
            return "range not satisfiable";
        case 431:
            return "headers too large";
        case 500:
            return "internal error";
        case 501:
            return "transfer coding not supported";
        default:
            return "error";
    }
}

// text with every ill-formed UTF-8 sequence (stray bytes, overlong forms, surrogates, code points
// past U+10FFFF, cut sequences) replaced by U+FFFD, one for each maximal ill-formed part.
std::string RepairUtf8(const std::string& text)
{
    static const char kReplacement[] = "\xEF\xBF\xBD";
    std::string repaired;
    repaired.reserve(text.size());
    const size_t size = text.size();
    size_t i = 0;
    while (i < size) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            repaired += static_cast<char>(lead);
            ++i;
            continue;
        }
        size_t trail = 0;
        unsigned char low = 0x80;  // the bounds of the first trailing byte
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            trail = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trail = 2;
            if (lead == 0xE0) low = 0xA0;   // overlong
            if (lead == 0xED) high = 0x9F;  // surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            trail = 3;
            if (lead == 0xF0) low = 0x90;   // overlong
            if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
        } else {
            repaired += kReplacement;
            ++i;
            continue;
        }
        size_t good = 0;
        while (good < trail && i + 1 + good < size) {
            const auto byte = static_cast<unsigned char>(text[i + 1 + good]);
            if (byte < (good == 0 ? low : 0x80) || byte > (good == 0 ? high : 0xBF)) break;
            ++good;
        }
        if (good == trail)
            repaired.append(text, i, trail + 1);
        else
            repaired += kReplacement;
        i += good + 1;
    }
    return repaired;
}

std::string NowIso()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    return text;
}

}  // namespace

Service::Service(ServiceOptions options) : options_(std::move(options))
{
    server_.SetErrorPage([](const httplib::Request&, httplib::Response& response) {
        response.set_content(WriteJson(Ret(1, StatusText(response.status))), kJson);
    });
    // What went wrong stays in the service: the client learns only that something did.
    server_.set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
            AnswerJson(response, Ret(1, StatusText(500)), 500);
        });
    server_.Post("/v2/upgrade_check",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     UpgradeCheck(request, response);
                 });
    server_.Post("/v2/feedback",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     Feedback(request, response);
                 });
    server_.Get("/help", [this](const httplib::Request& request, httplib::Response& response) {
        Help(request, response);
    });
    server_.Get(std::string(kDownloadMount) + "/(.*)",
                [this](const httplib::Request& request, httplib::Response& response) {
                    downloads::Serve(options_.filesFolder, request.matches[1], request, response);
                });
}

int Service::Bind()
{
    const int port = server_.Bind(options_.host, options_.port);
    if (port < 0) return port;
    publicUrl_ = options_.publicUrl;
    if (publicUrl_.empty()) {
        const bool ipv6 = options_.host.find(':') != std::string::npos;
        publicUrl_ = "http://" + (ipv6 ? "[" + options_.host + "]" : options_.host) + ":" +
                     std::to_string(port);
    }
    return port;
}

bool Service::Run()
{
    if (server_.ShuttingDown()) return true;
    return server_.listen_after_bind();
}

void Service::Stop()
{
    server_.Shutdown();
}

void Service::UpgradeCheck(const httplib::Request& request, httplib::Response& response)
{
    std::map<std::string, std::string> offer;
    if (!ReadKeyValues(options_.upgradeFile, offer) || offer["version"].empty())
        return AnswerJson(response, Ret(1, "no upgrade information"));

    // Completed with the configured address, never with the Host the client sent: the answer
    // must not point anywhere a client chooses.
    std::string url = offer["download_url"];
    if (!url.empty() && url[0] == '/') url = publicUrl_ + url;
    std::string signatureUrl = offer["signature_url"];
    if (!signatureUrl.empty() && signatureUrl[0] == '/') signatureUrl = publicUrl_ + signatureUrl;
    std::string sha256 = offer["sha256"];
    // A file this service hands out itself gets its digest computed, and its signature named
    // when one lies beside it.
    const std::string name = url.substr(url.find_last_of('/') + 1);
    const std::string served = std::string(kDownloadMount) + "/" + name;
    if (!name.empty() && url.size() >= served.size() &&
        url.compare(url.size() - served.size(), served.size(), served) == 0) {
        if (sha256.empty()) sha256 = DigestOf(name);
        long long size = 0;
        const int signature =
            downloads::OpenServable(options_.filesFolder, name + kSignatureSuffix, size);
        if (signature >= 0) {
            ::close(signature);
            if (signatureUrl.empty()) signatureUrl = url + kSignatureSuffix;
        }
    }
    Json::Value data(Json::objectValue);
    data["app_name"] = "LumoCompress";
    data["app_version"] = offer["version"];
    data["download_url"] = url;
    data["force_upgrade"] = offer["force"].empty() ? "0" : offer["force"];
    if (!sha256.empty()) data["sha256"] = sha256;
    if (!signatureUrl.empty()) data["signature_url"] = signatureUrl;
    Json::Value answer = Ret(0, nullptr);
    answer["data"] = data;
    AnswerJson(response, answer);
}

void Service::Feedback(const httplib::Request& request, httplib::Response& response)
{
    const RequestReadState* read = GuardedServer::CurrentRequest();
    if (read && read->encodedBody) return AnswerJson(response, Ret(1, StatusText(415)), 415);
    if (request.body.size() > server_.limits().maxBodyBytes)
        return AnswerJson(response, Ret(1, StatusText(413)), 413);

    // Strict: one JSON object and nothing after it but blanks, no comments, no repeated keys.
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    builder["stackLimit"] = kFeedbackJsonDepth;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value body;
    std::string errors;
    const char* begin = request.body.data();
    bool parsed = false;
    try {
        parsed = reader->parse(begin, begin + request.body.size(), &body, &errors);
    } catch (const std::exception&) {
        parsed = false;  // nested too deep
    }
    if (!parsed || !body.isObject() || !body["content"].isString() ||
        body["content"].asString().empty())
        return AnswerJson(response, Ret(1, StatusText(400)), 400);

    // Text that is not UTF-8 is kept with U+FFFD in place of the bad bytes, so every line of the
    // file stays valid JSON.
    Json::Value line(Json::objectValue);
    line["time"] = NowIso();
    line["content"] = RepairUtf8(body["content"].asString());
    line["contact"] =
        body["contact"].isString() ? RepairUtf8(body["contact"].asString()) : std::string();
    if (!StoreFeedback(WriteJson(line) + '\n'))
        return AnswerJson(response, Ret(1, "cannot store the message"), 500);
    AnswerJson(response, Ret(0, nullptr));
}

bool Service::StoreFeedback(const std::string& line)
{
    // One write of the whole line at the end of the file, under a lock that other processes
    // writing the same file take too; a write that fell short is taken back.
    // Only a regular file takes messages: opening a named pipe without a reader would wait
    // for one, so the open does not block, and anything but a regular file is refused.
    std::lock_guard<std::mutex> guard(feedbackLock_);
    const int fd = ::open(options_.feedbackFile.c_str(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "lumo-service: cannot open the feedback file %s: %s\n",
                     options_.feedbackFile.c_str(), std::strerror(errno));
        return false;
    }
    struct stat before {};
    if (::fstat(fd, &before) != 0 || !S_ISREG(before.st_mode)) {
        std::fprintf(stderr,
                     "lumo-service: the feedback file %s is no regular file; message "
                     "refused\n",
                     options_.feedbackFile.c_str());
        ::close(fd);
        return false;
    }
    bool stored = false;
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked == 0 && ::fstat(fd, &before) == 0) {
        ssize_t written;
        do {
            written = ::write(fd, line.data(), line.size());
        } while (written < 0 && errno == EINTR);
        stored = written == static_cast<ssize_t>(line.size());
        if (!stored && written > 0) {
            [[maybe_unused]] const int undone = ::ftruncate(fd, before.st_size);
        }
    }
    ::close(fd);  // also releases the lock
    return stored;
}

void Service::Help(const httplib::Request&, httplib::Response& response)
{
    std::string page;
    if (!options_.helpPage.empty() && ReadRegularFile(options_.helpPage, kMaxConfigBytes, page)) {
        response.set_content(page, "text/html; charset=UTF-8");
        return;
    }
    response.set_content(kBuiltInHelpPage, "text/html; charset=UTF-8");
}

std::string Service::DigestOf(const std::string& fileName)
{
    long long size = 0;
    const int fd = downloads::OpenServable(options_.filesFolder, fileName, size);
    if (fd < 0) return {};
    QFile file;
    struct stat info {};
    if (::fstat(fd, &info) != 0 ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    const long long modified =
        static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;

    std::lock_guard<std::mutex> guard(digestLock_);
    Digest& digest = digests_[fileName];
    if (digest.size == size && digest.modified == modified) return digest.hex;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) return {};
    digest = {size, modified, hash.result().toHex().toStdString()};
    return digest.hex;
}
