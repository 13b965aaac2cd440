#include "Service.h"

#include <json/json.h>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

constexpr size_t kMaxBodyBytes = 64 * 1024;
constexpr char kDownloadMount[] = "/download";
constexpr char kJson[] = "application/json; charset=UTF-8";

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

// key=value lines; blank lines and lines starting with '#' are skipped.
bool ReadKeyValues(const std::string& path, std::map<std::string, std::string>& values)
{
    std::ifstream file(path);
    if (!file) return false;
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
    server_.set_payload_max_length(kMaxBodyBytes);
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
    server_.set_mount_point(kDownloadMount, options_.filesFolder);
}

int Service::Bind()
{
    if (options_.port == 0) return server_.bind_to_any_port(options_.host);
    return server_.bind_to_port(options_.host, options_.port) ? options_.port : -1;
}

bool Service::Run()
{
    return server_.listen_after_bind();
}

void Service::Stop()
{
    server_.stop();
}

void Service::UpgradeCheck(const httplib::Request& request, httplib::Response& response)
{
    std::map<std::string, std::string> offer;
    if (!ReadKeyValues(options_.upgradeFile, offer) || offer["version"].empty())
        return AnswerJson(response, Ret(1, "no upgrade information"));

    std::string url = offer["download_url"];
    if (!url.empty() && url[0] == '/') {
        std::string host = request.get_header_value("Host");
        if (host.empty()) host = options_.host + ":" + std::to_string(options_.port);
        url = "http://" + host + url;
    }
    std::string sha256 = offer["sha256"];
    if (sha256.empty()) {
        // A file this service hands out itself gets its digest computed.
        const std::string name = url.substr(url.find_last_of('/') + 1);
        const std::string served = std::string(kDownloadMount) + "/" + name;
        if (!name.empty() && url.size() >= served.size() &&
            url.compare(url.size() - served.size(), served.size(), served) == 0)
            sha256 = DigestOf(name);
    }

    Json::Value data(Json::objectValue);
    data["app_name"] = "LumoCompress";
    data["app_version"] = offer["version"];
    data["download_url"] = url;
    data["force_upgrade"] = offer["force"].empty() ? "0" : offer["force"];
    if (!sha256.empty()) data["sha256"] = sha256;
    Json::Value answer = Ret(0, nullptr);
    answer["data"] = data;
    AnswerJson(response, answer);
}

void Service::Feedback(const httplib::Request& request, httplib::Response& response)
{
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value body;
    std::string errors;
    const char* begin = request.body.data();
    if (!reader->parse(begin, begin + request.body.size(), &body, &errors) || !body.isObject() ||
        !body["content"].isString() || body["content"].asString().empty())
        return AnswerJson(response, Ret(1, "bad request"), 400);

    Json::Value line(Json::objectValue);
    line["time"] = NowIso();
    line["content"] = body["content"].asString();
    line["contact"] = body["contact"].isString() ? body["contact"].asString() : std::string();

    std::lock_guard<std::mutex> guard(feedbackLock_);
    std::ofstream file(options_.feedbackFile, std::ios::app | std::ios::binary);
    file << WriteJson(line) << '\n';
    file.flush();
    if (!file) return AnswerJson(response, Ret(1, "cannot store the message"), 500);
    AnswerJson(response, Ret(0, nullptr));
}

void Service::Help(const httplib::Request&, httplib::Response& response)
{
    if (!options_.helpPage.empty()) {
        std::ifstream file(options_.helpPage, std::ios::binary);
        std::ostringstream page;
        if (file && (page << file.rdbuf())) {
            response.set_content(page.str(), "text/html; charset=UTF-8");
            return;
        }
    }
    response.set_content(kBuiltInHelpPage, "text/html; charset=UTF-8");
}

std::string Service::DigestOf(const std::string& fileName)
{
    if (fileName == "." || fileName == ".." || fileName.find('/') != std::string::npos) return {};
    const QString path = QString::fromStdString(options_.filesFolder + "/" + fileName);
    const QFileInfo info(path);
    if (!info.isFile()) return {};

    std::lock_guard<std::mutex> guard(digestLock_);
    Digest& digest = digests_[fileName];
    const long long modified = info.lastModified().toMSecsSinceEpoch();
    if (digest.size == info.size() && digest.modified == modified) return digest.hex;

    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) return {};
    digest = {info.size(), modified, hash.result().toHex().toStdString()};
    return digest.hex;
}
