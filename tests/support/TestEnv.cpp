#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace testenv {
namespace {

QTemporaryDir& Root()
{
    static QTemporaryDir dir(QDir::tempPath() + "/lumo-test-XXXXXX");
    return dir;
}

}  // namespace

QString Home() { return Root().path() + "/home"; }
QString ConfigHome() { return Home() + "/.config"; }
QString RuntimeDir() { return Root().path() + "/run"; }

bool WriteFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return file.write(content) == content.size();
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

void SetUserDirs(const QString& documents, const QString& desktop)
{
    const QByteArray text = "XDG_DOCUMENTS_DIR=\"" + documents.toUtf8() + "\"\n" +
                            "XDG_DESKTOP_DIR=\"" + desktop.toUtf8() + "\"\n";
    WriteFile(ConfigHome() + "/user-dirs.dirs", text);
}

void SetUp()
{
    QDir().mkpath(ConfigHome());
    QDir().mkpath(RuntimeDir());
    QFile::setPermissions(RuntimeDir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ExeOwner);
    qputenv("HOME", Home().toUtf8());
    qputenv("XDG_CONFIG_HOME", ConfigHome().toUtf8());
    qputenv("XDG_DATA_HOME", (Home() + "/.local/share").toUtf8());
    qputenv("XDG_CACHE_HOME", (Home() + "/.cache").toUtf8());
    qputenv("XDG_RUNTIME_DIR", RuntimeDir().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

}  // namespace testenv
