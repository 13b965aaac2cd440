// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/net/PackageInstall.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace {

// Folders where only the package manager installs programs.
bool InSystemFolder(const QString& path)
{
    if (path.startsWith(QLatin1String("/usr/local/"))) return false;
    for (const char* folder : {"/usr/", "/bin/", "/sbin/", "/lib/", "/opt/"}) {
        if (path.startsWith(QLatin1String(folder))) return true;
    }
    return false;
}

// The file lists of the installed packages: "<package>[:<arch>].list", one path a line.
bool Lists(const QString& listFile, const QStringList& paths)
{
    QFile file(listFile);
    if (!file.open(QIODevice::ReadOnly)) return false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (paths.contains(line)) return true;
    }
    return false;
}

}  // namespace

QString OwningPackage(const QString& executable, const QString& root)
{
    const QString realRoot = QFileInfo(root).canonicalFilePath();
    const QString real = QFileInfo(executable).canonicalFilePath();
    if (realRoot.isEmpty() || real.isEmpty()) return {};
    QString path = real;
    if (realRoot != QLatin1String("/")) {
        if (!real.startsWith(realRoot + u'/')) return {};
        path = real.mid(realRoot.size());
    }
    if (!InSystemFolder(path)) return {};

    // A merged /usr lists a program under /usr/bin or /bin as it was packaged.
    QStringList paths{path};
    if (path.startsWith(QLatin1String("/usr/")))
        paths << path.mid(4);
    else
        paths << QStringLiteral("/usr") + path;

    const QString info = realRoot + (realRoot.endsWith(u'/') ? "" : "/") + "var/lib/dpkg/info";
    QDirIterator lists(info, {QStringLiteral("*.list")}, QDir::Files);
    while (lists.hasNext()) {
        const QString list = lists.next();
        if (Lists(list, paths)) {
            const QString name = QFileInfo(list).completeBaseName();
            return name.left(name.indexOf(u':'));
        }
    }
    return {};
}
