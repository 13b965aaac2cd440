#include "core/app/Settings.h"

#include "core/app/AppConfig.h"
#include "core/platform/ProfileFile.h"

namespace {

QString Section()
{
    return QString::fromUtf8(settings::kSection);
}

}  // namespace

int ReadSetting(const IntSetting& setting)
{
    return ReadSettingFrom(AppConfig::Path(), setting);
}

QString ReadSetting(const StringSetting& setting)
{
    return ReadSettingFrom(AppConfig::Path(), setting);
}

bool WriteSetting(const IntSetting& setting, int value)
{
    return AppConfig::WriteInt(Section(), QString::fromUtf8(setting.key), value);
}

bool WriteSetting(const StringSetting& setting, const QString& value)
{
    return AppConfig::WriteString(Section(), QString::fromUtf8(setting.key), value);
}

int ReadSettingFrom(const QString& iniPath, const IntSetting& setting)
{
    return platform::GetPrivateProfileInt(Section(), QString::fromUtf8(setting.key),
                                          setting.defaultValue, iniPath);
}

QString ReadSettingFrom(const QString& iniPath, const StringSetting& setting)
{
    return platform::GetPrivateProfileString(Section(), QString::fromUtf8(setting.key), QString(),
                                             setting.capacity, iniPath);
}
