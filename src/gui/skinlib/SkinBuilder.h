#pragma once

#include <QIcon>
#include <QString>
#include <functional>

class QWidget;

// Builds widget trees from the skin's layout files (Qt Designer XML under the program's own
// file names) and loads the skin's index "res.xml" (style sheet, icon).
namespace skin {

// The skin folder: "skin/" beside the executable, else the installed share folder. Tests and
// tools may set it explicitly.
QString SkinFolder();
void SetSkinFolder(const QString& folder);

// Reads "res.xml": applies its style sheet to the application and remembers its icon.
// Registers the search path "skin:" so the style sheet can name images as skin:images/x.png.
// Returns false (and says why in error) when the index or a file it names cannot be read.
bool LoadResources(QString* error = nullptr);
QIcon AppIcon();

// Makes a custom control for a class name of the layout, or returns null to let the builder
// make the class itself.
using ControlFactory = std::function<QWidget*(const QString& className, QWidget* parent)>;

// Builds the layout file (a name inside the skin folder) under parent. Null, with the reason in
// error, when the file is missing or malformed.
QWidget* Build(const QString& file, const ControlFactory& factory, QWidget* parent,
               QString* error = nullptr);

}  // namespace skin
