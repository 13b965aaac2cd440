#include "gui/skinlib/SkinBuilder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QUiLoader>
#include <QXmlStreamReader>

#include "core/app/Paths.h"
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

// Lets the window's factory make custom controls first, then knows the skin's own list class.
class Loader : public QUiLoader {
public:
    explicit Loader(const ControlFactory& factory) : factory_(factory) {}

    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override
    {
        QWidget* widget = factory_ ? factory_(className, parent) : nullptr;
        if (!widget && className == QLatin1String("SkinList")) widget = new SkinList(parent);
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

void SetSkinFolder(const QString& folder) { FolderOverride() = folder; }

bool LoadResources(QString* error)
{
    const QString folder = SkinFolder();
    QDir::setSearchPaths("skin", {folder});
    QFile index(folder + "/res.xml");
    if (!index.open(QIODevice::ReadOnly)) {
        SetError(error, "cannot read " + index.fileName());
        return false;
    }
    QString styleFile;
    QString iconFile;
    QXmlStreamReader xml(&index);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == QLatin1String("StyleSheet"))
            styleFile = xml.attributes().value("file").toString();
        else if (xml.name() == QLatin1String("Icon"))
            iconFile = xml.attributes().value("file").toString();
    }
    if (xml.hasError()) {
        SetError(error, "res.xml: " + xml.errorString());
        return false;
    }
    if (!iconFile.isEmpty()) Icon() = QIcon(folder + "/" + iconFile);
    if (!styleFile.isEmpty()) {
        QFile style(folder + "/" + styleFile);
        if (!style.open(QIODevice::ReadOnly)) {
            SetError(error, "cannot read " + style.fileName());
            return false;
        }
        qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
    }
    return true;
}

QIcon AppIcon() { return Icon(); }

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
    return root;
}

}  // namespace skin
