// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/skinlib/SkinBuilder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QUiLoader>
#include <QWidget>
#include <QXmlStreamReader>

#include <vector>

#include "core/app/Paths.h"
#include "gui/skinlib/ElideLabel.h"
#include "gui/skinlib/SkinList.h"

namespace skin {
namespace {

QString& FolderOverride()
{
    static QString folder;
    return folder;
}

QIcon& Icon()
{
    static QIcon icon;
    return icon;
}

ColorScheme& Scheme()
{
    static ColorScheme scheme = ColorScheme::Light;
    return scheme;
}

// The dark look's sheet, which also follows every layout's own sheet (see Build). Empty in
// the light look.
QString& LayoutSuffix()
{
    static QString sheet;
    return sheet;
}

// An entry of res.xml that belongs to a scheme ("scheme" attribute) or to both (none).
struct SchemeEntry {
    QString file;
    QString scheme;
};

// The entry for the scheme: its own if res.xml has one, else the one for both.
QString Pick(const std::vector<SchemeEntry>& entries, const QString& scheme)
{
    QString common;
    for (const SchemeEntry& entry : entries) {
        if (entry.scheme == scheme) return entry.file;
        if (entry.scheme.isEmpty() && common.isEmpty()) common = entry.file;
    }
    return common;
}

// A widget's own style sheet wins over the application's whatever the rules' specificity, so
// the colours a layout sets for itself would stay light. The dark sheet after them wins.
void FollowWithDarkSheet(QWidget* root)
{
    const QString& dark = LayoutSuffix();
    if (dark.isEmpty() || !root) return;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        const QString own = widget->styleSheet();
        if (!own.isEmpty()) widget->setStyleSheet(own + QStringLiteral("\n") + dark);
    }
}

// Lets the window's factory make custom controls first, then knows the skin's own classes.
class Loader : public QUiLoader {
public:
    explicit Loader(const ControlFactory& factory) : factory_(factory) {}

    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override
    {
        QWidget* widget = factory_ ? factory_(className, parent) : nullptr;
        if (!widget && className == QLatin1String("SkinList")) widget = new SkinList(parent);
        if (!widget && className == QLatin1String("ElideLabel")) widget = new ElideLabel(parent);
        if (!widget) return QUiLoader::createWidget(className, parent, name);
        widget->setObjectName(name);
        return widget;
    }

private:
    const ControlFactory& factory_;
};

void SetError(QString* error, const QString& text)
{
    if (error) *error = text;
}

}  // namespace

QString SkinFolder()
{
    if (!FolderOverride().isEmpty()) return FolderOverride();
    return FindDataPath(QStringLiteral("skin"));
}

void SetSkinFolder(const QString& folder)
{
    FolderOverride() = folder;
}

bool LoadResources(QString* error)
{
    const QString folder = SkinFolder();
    QFile index(folder + "/res.xml");
    if (!index.open(QIODevice::ReadOnly)) {
        SetError(error, "cannot read " + index.fileName());
        return false;
    }
    std::vector<SchemeEntry> styles;
    std::vector<SchemeEntry> searchPaths;
    QString iconFile;
    QXmlStreamReader xml(&index);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        const QString scheme = attributes.value("scheme").toString();
        if (xml.name() == QLatin1String("StyleSheet"))
            styles.push_back({attributes.value("file").toString(), scheme});
        else if (xml.name() == QLatin1String("SearchPath"))
            searchPaths.push_back({attributes.value("folder").toString(), scheme});
        else if (xml.name() == QLatin1String("Icon"))
            iconFile = attributes.value("file").toString();
    }
    if (xml.hasError()) {
        SetError(error, "res.xml: " + xml.errorString());
        return false;
    }

    const ColorScheme scheme = ChooseColorScheme(ReadSchemeHints());
    const QString schemeName = SchemeName(scheme);
    // "skin:images/x.png" is looked up in the scheme's folders first, then in the skin folder:
    // a scheme replaces only the images it has its own of. QIcon and the style sheet find
    // "x@2x.png" beside either on a screen of a higher density.
    QStringList paths;
    for (const SchemeEntry& entry : searchPaths)
        if (entry.scheme == schemeName) paths << folder + u'/' + entry.file;
    QDir::setSearchPaths("skin", paths << folder);

    if (!iconFile.isEmpty()) Icon() = QIcon(folder + "/" + iconFile);
    const QString styleFile = Pick(styles, schemeName);
    QString sheet;
    if (!styleFile.isEmpty()) {
        QFile style(folder + "/" + styleFile);
        if (!style.open(QIODevice::ReadOnly)) {
            SetError(error, "cannot read " + style.fileName());
            return false;
        }
        sheet = QString::fromUtf8(style.readAll());
    }
    Scheme() = scheme;
    LayoutSuffix() = scheme == ColorScheme::Dark ? sheet : QString();
    ApplyPalette(scheme);
    if (!styleFile.isEmpty()) qApp->setStyleSheet(sheet);
    return true;
}

ColorScheme ActiveScheme()
{
    return Scheme();
}

QIcon AppIcon()
{
    return Icon();
}

QWidget* Build(const QString& file, const ControlFactory& factory, QWidget* parent, QString* error)
{
    QFile layout(SkinFolder() + "/" + file);
    if (!layout.open(QIODevice::ReadOnly)) {
        SetError(error, "cannot read " + layout.fileName());
        return nullptr;
    }
    Loader loader(factory);
    QWidget* root = loader.load(&layout, parent);
    if (!root) SetError(error, file + ": " + loader.errorString());
    FollowWithDarkSheet(root);
    return root;
}

}  // namespace skin
