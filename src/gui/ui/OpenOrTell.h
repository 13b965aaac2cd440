// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>

class QWidget;

// Opens a web page or a local folder with the user's programs; when nothing on the desktop can
// open it, says so in a notice over owner, with the address or the path, and returns false.
bool OpenOrTell(QWidget* owner, const QUrl& url);

// The notice's text: "无法打开文件夹：<path>" for a local folder, "无法打开网页：<address>" else.
QString CannotOpenText(const QUrl& url);
