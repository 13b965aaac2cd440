// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QString>
#include <functional>

#include "gui/skinlib/ColorScheme.h"

class QWidget;

// Builds widget trees from the skin's layout files (Qt Designer XML under the program's own
// file names) and loads the skin's index "res.xml" (style sheet, icon).
namespace skin {

// The skin folder: "skin/" beside the executable, else the installed share folder. Tests and
// tools may set it explicitly.
QString SkinFolder();
void SetSkinFolder(const QString& folder);

// Reads "res.xml": chooses the light or dark look (see ColorScheme.h), applies the look's style
// sheet to the application and remembers the icon. Registers the search path "skin:" so the
// style sheet can name images as skin:images/x.png; the look's own folders come first.
// res.xml entries:
//   <StyleSheet file="style.qss"/>                       for a look without its own sheet
//   <StyleSheet file="style-dark.qss" scheme="dark"/>    a look's own sheet
//   <SearchPath folder="dark" scheme="dark"/>            a look's own images, before the common
//   <Icon file="images/logo.png"/>
// Returns false (and says why in error) when the index or a file it names cannot be read.
bool LoadResources(QString* error = nullptr);
QIcon AppIcon();
// The look LoadResources chose.
ColorScheme ActiveScheme();

// Makes a custom control for a class name of the layout, or returns null to let the builder
// make the class itself.
using ControlFactory = std::function<QWidget*(const QString& className, QWidget* parent)>;

// Builds the layout file (a name inside the skin folder) under parent. Null, with the reason in
// error, when the file is missing or malformed. In the dark look the dark sheet is appended to
// every style sheet the layout sets on its own widgets, so their light colours give way.
QWidget* Build(const QString& file, const ControlFactory& factory, QWidget* parent,
               QString* error = nullptr);

}  // namespace skin
