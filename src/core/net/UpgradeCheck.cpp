#include "core/net/UpgradeCheck.h"

#include <json/json.h>
#include <QDateTime>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "core/app/TextUtil.h"
#include "core/net/HttpClient.h"

namespace {

// Leading decimal digits as an integer, as atoi reads them.
int LeadingInt(const std::string& text)
{
    return std::atoi(text.c_str());
}

// A member of an object as text ("0" and 0 both give "0"); empty when absent or not a scalar.
std::string TextOf(const Json::Value& object, const char* key)
{
    if (!object.isObject()) return {};
    const Json::Value& value = object[key];
    if (value.isString()) return value.asString();
    if (value.isIntegral() || value.isDouble() || value.isBool()) return value.asString();
    return {};
}

bool ParseJson(const std::string& text, Json::Value& root)
{
    Json::CharReaderBuilder builder;
    builder["collectComments"] = true;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    return reader->parse(text.data(), text.data() + text.size(), &root, &errors);
}

}  // namespace

Version ParseVersion(const std::string& text)
{
    Version version;
    std::vector<std::string> pieces;
    std::string piece;
    std::istringstream stream(text);
    while (pieces.size() < 3 && std::getline(stream, piece, '.')) pieces.push_back(piece);
    if (pieces.size() > 0) version.major = LeadingInt(pieces[0]);
    if (pieces.size() > 1) version.minor = LeadingInt(pieces[1]);
    if (pieces.size() > 2) version.revision = LeadingInt(pieces[2]);
    return version;
}

bool IsNewerVersion(const Version& server, const Version& local)
{
    if (server.major != local.major) return server.major > local.major;
    if (server.minor != local.minor) return server.minor > local.minor;
    return server.revision > local.revision;
}

std::string UpgradeRequestBody()
{
    return std::string("{\"app_name\":\"") + kUpgradeAppName + "\"}";
}

std::string UpgradeRequestUrl(const QString& serviceAddress)
{
    return serviceAddress.toStdString() + kUpgradeCheckPath +
           "?timestamp=" + std::to_string(QDateTime::currentMSecsSinceEpoch());
}

UpgradeCheckResult ReadUpgradeAnswer(const std::string& answer, const Version& local)
{
    UpgradeCheckResult result;
    Json::Value root;
    if (!ParseJson(answer, root) || !root.isObject()) return result;
    const Json::Value& ret = root["ret"];
    if (!ret.isIntegral() || ret.asInt64() != 0) return result;

    const Json::Value& data = root["data"];
    const std::string versionText = TextOf(data, "app_version");
    const Version server = ParseVersion(versionText);
    DebugPrint("routeMajorVersion: %d routeMinorVersion: %d routeRevisionVersion: %d\n",
               server.major, server.minor, server.revision);
    DebugPrint("localMajorVersion: %d localMinorVersion: %d localRevisionVersion: %d\n",
               local.major, local.minor, local.revision);

    if (!IsNewerVersion(server, local)) {
        result.outcome = UpgradeCheckResult::Outcome::UpToDate;
        return result;
    }
    result.outcome = UpgradeCheckResult::Outcome::NewVersion;
    result.offer.version = versionText;
    result.offer.downloadUrl = TextOf(data, "download_url");
    result.offer.force = LeadingInt(TextOf(data, "force_upgrade"));
    result.offer.sha256 = TextOf(data, "sha256");
    return result;
}

UpgradeCheckResult CheckForUpgrade(const QString& serviceAddress, std::stop_token stop)
{
    HttpClient& client = HttpClient::Instance();
    const std::string body = UpgradeRequestBody();
    DebugPrint("message: %s\n", body.c_str());

    std::string answer;
    if (client.HttpPost(body, UpgradeRequestUrl(serviceAddress), answer, stop) != 0) return {};
    DebugPrint("response: %s\n", answer.c_str());
    return ReadUpgradeAnswer(answer, ParseVersion(kLocalVersion));
}
