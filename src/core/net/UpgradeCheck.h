// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <stop_token>
#include <string>

// Asking the service whether a newer version of the program exists. No widgets: the windows
// that announce and download a new version live in Upgrader and DownloadDialog.

inline constexpr char kLocalVersion[] = "1.5.0";
inline constexpr char kUpgradeCheckPath[] = "/v2/upgrade_check";
inline constexpr char kUpgradeAppName[] = "LumoCompress";

struct Version {
    int major = 0;
    int minor = 0;
    int revision = 0;
};

// "major.minor.revision": the first three pieces between dots as decimal integers (leading
// digits count, a missing or non-numeric piece is 0).
Version ParseVersion(const std::string& text);
// True when server is a higher version than local (major, then minor, then revision).
bool IsNewerVersion(const Version& server, const Version& local);

// What the service announces about a newer version.
struct UpgradeOffer {
    std::string version;
    std::string downloadUrl;
    int force = 0;       // non-zero: the user cannot decline
    std::string sha256;  // the installer's digest in hexadecimal; empty when not given
    // Where the installer's detached signature is; empty: beside it, its address + ".sig".
    std::string signatureUrl;
};

struct UpgradeCheckResult {
    enum class Outcome {
        Failed,  // no answer, not JSON, or "ret" not 0: the check says nothing
        UpToDate,
        NewVersion,  // offer holds the announcement
    };
    Outcome outcome = Outcome::Failed;
    UpgradeOffer offer;
};

// The request body: {"app_name":"LumoCompress"}.
std::string UpgradeRequestBody();
// serviceAddress + kUpgradeCheckPath + "?timestamp=" + milliseconds since the epoch.
std::string UpgradeRequestUrl(const QString& serviceAddress);
// Reads the service's answer against the local version.
UpgradeCheckResult ReadUpgradeAnswer(const std::string& answer, const Version& local);

// One check against the service at serviceAddress (blocking, at most about ten seconds of
// transfer); stop ends a running request early.
UpgradeCheckResult CheckForUpgrade(const QString& serviceAddress, std::stop_token stop = {});
