// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/net/UpgradeCheck.h"

#include <json/json.h>
#include <QDateTime>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "core/app/JsonText.h"
#include "core/app/TextUtil.h"
#include "core/net/HttpClient.h"

namespace {

// Leading decimal digits as an integer, as atoi reads them.
int LeadingInt(const std::string& text)
{
    return std::atoi(text.c_str());
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
    if (!json::Parse(answer, root) || !json::IsAccepted(root)) return result;

    const Json::Value& data = root["data"];
    const std::string versionText = json::Text(data, "app_version");
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
    result.offer.downloadUrl = json::Text(data, "download_url");
    result.offer.force = LeadingInt(json::Text(data, "force_upgrade"));
    result.offer.sha256 = json::Text(data, "sha256");
    result.offer.signatureUrl = json::Text(data, "signature_url");
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
