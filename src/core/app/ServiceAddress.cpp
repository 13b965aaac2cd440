// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/ServiceAddress.h"

#include "core/app/AppConfig.h"
#include "core/app/Settings.h"

QString ServiceAddress()
{
    QString address = AppConfig::GetInstallString(settings::kServer.key, kDefaultServiceAddress,
                                                  settings::kServer.capacity)
                          .trimmed();
    while (address.endsWith('/')) address.chop(1);
    return address.isEmpty() ? QString(kDefaultServiceAddress) : address;
}

QUrl ServiceUrl(const QString& path)
{
    return QUrl(ServiceAddress() + path);
}
