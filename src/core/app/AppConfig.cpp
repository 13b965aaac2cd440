// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/AppConfig.h"

#include "core/app/Paths.h"
#include "core/app/Settings.h"
#include "core/platform/ProfileFile.h"

#include <list>
#include <mutex>

namespace {

struct ConfigLocation {
    QString folder;
    QString file;
};

// The location in use is the last one built. Forgotten locations stay allocated, so a
// reference that Path() handed out never dangles.
std::mutex locationLock;
std::list<ConfigLocation> locations;
bool locationKnown = false;

const ConfigLocation& Location()
{
    std::lock_guard guard(locationLock);
    if (!locationKnown) {
        const QString folder = EnsureUserFolder(QString::fromUtf8(kConfigFolder));
        locations.push_back(ConfigLocation{folder, folder + QStringLiteral("/configure.ini")});
        locationKnown = true;
    }
    return locations.back();
}

}  // namespace

const QString& AppConfig::Path()
{
    const ConfigLocation& location = Location();
    // The folder may have been removed while the program runs; make sure it is there before
    // the caller reads or writes. On the first call this only finds what was just created.
    EnsureFolder(location.folder);
    return location.file;
}

void AppConfig::ForgetPath()
{
    std::lock_guard guard(locationLock);
    locationKnown = false;
}

int AppConfig::GetInt(const QString& section, const QString& key, int defaultValue)
{
    CheckSettingsFile(Path());
    return platform::GetPrivateProfileInt(section, key, defaultValue, Path());
}

bool AppConfig::GetString(const QString& section, const QString& key, const QString& defaultValue,
                          QString& out, int capacity)
{
    CheckSettingsFile(Path());
    out = platform::GetPrivateProfileString(section, key, defaultValue, capacity, Path());
    return !out.isEmpty();
}

bool AppConfig::WriteString(const QString& section, const QString& key, const QString& value)
{
    return platform::WritePrivateProfileString(section, key, value, Path());
}

bool AppConfig::WriteInt(const QString& section, const QString& key, int value)
{
    return WriteString(section, key, QString::number(value));
}

QString AppConfig::InstallConfigPath()
{
    return FindDataPath(QStringLiteral("Config.ini"));
}

QString AppConfig::GetInstallString(const QString& key, const QString& defaultValue, int capacity)
{
    const QString path = InstallConfigPath();
    CheckSettingsFile(path);
    return platform::GetPrivateProfileString(QString::fromUtf8(settings::kSection), key,
                                             defaultValue, capacity, path);
}
