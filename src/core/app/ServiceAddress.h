// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>

// The address of the service's web server: key "server" of section "global" in "Config.ini"
// beside the executable or installed (scheme, host and port, no trailing "/"), else
// kDefaultServiceAddress.
inline constexpr char kDefaultServiceAddress[] = "http://127.0.0.1:8731";

QString ServiceAddress();
// The address followed by path ("/help", "/v2/upgrade_check", ...).
QUrl ServiceUrl(const QString& path);
