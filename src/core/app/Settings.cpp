#include "core/app/Settings.h"

#include "core/app/AppConfig.h"

namespace {

QString Section()
{
    return QString::fromUtf8(settings::kSection);
}

}  // namespace

int ReadSetting(const IntSetting& setting)
{
    return AppConfig::GetInt(Section(), QString::fromUtf8(setting.key), setting.defaultValue);
}

QString ReadSetting(const StringSetting& setting)
{
    QString value;
    AppConfig::GetString(Section(), QString::fromUtf8(setting.key), QString(), value,
                         setting.capacity);
    return value;
}

bool WriteSetting(const IntSetting& setting, int value)
{
    return AppConfig::WriteInt(Section(), QString::fromUtf8(setting.key), value);
}

bool WriteSetting(const StringSetting& setting, const QString& value)
{
    return AppConfig::WriteString(Section(), QString::fromUtf8(setting.key), value);
}
