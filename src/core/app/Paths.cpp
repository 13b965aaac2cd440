// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/Paths.h"

#include "core/app/Settings.h"
#include "core/app/TextUtil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace {

QString HomeFolder()
{
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty()) {
        if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
            home = QFile::decodeName(entry->pw_dir);
    }
    return home.isEmpty() ? QString() : QDir::cleanPath(home);
}

// An XDG base folder: the variable when it holds an absolute path (a relative one is invalid
// and ignored, as the XDG rule says), else the folder under the home folder.
QString XdgHome(const char* variable, const char* underHome)
{
    const QString xdg = qEnvironmentVariable(variable);
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) return QDir::cleanPath(xdg);
    const QString home = HomeFolder();
    return home.isEmpty() ? QString() : home + u'/' + QLatin1String(underHome);
}

QString ConfigHome()
{
    return XdgHome("XDG_CONFIG_HOME", ".config");
}

}  // namespace

QString CacheHome()
{
    return XdgHome("XDG_CACHE_HOME", ".cache");
}

namespace {

QString JoinPath(const QString& base, const QString& relative)
{
    return base.endsWith(u'/') ? base + relative : base + u'/' + relative;
}

// Creates one level when it is missing; false only when it is still missing afterwards (a
// concurrent creator of the same level is no failure).
bool EnsureLevel(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::access(native.constData(), F_OK) == 0) return true;
    if (::mkdir(native.constData(), 0777) == 0) return true;
    return errno == EEXIST && ::access(native.constData(), F_OK) == 0;
}

}  // namespace

QString GetSpecialFolder(SpecialFolder folder)
{
    switch (folder) {
        case SpecialFolder::AppData:
            return ConfigHome();
        case SpecialFolder::Documents:
            // Read from user-dirs.dirs on each call; Qt keeps no copy for these two.
            return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        case SpecialFolder::Desktop:
            return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    }
    return {};
}

QString EnsureUserFolder(const QString& relative)
{
    // What can be deleted at any time belongs in the cache, not beside the settings.
    const QString base = relative == QLatin1String(kTempFolder)
                             ? CacheHome()
                             : GetSpecialFolder(SpecialFolder::AppData);
    const QString path = JoinPath(base, relative);
    EnsureFolder(path);
    return path;
}

void EnsureFolder(const QString& absolute)
{
    // Every level above the folder itself, from the root down. The root of an absolute path
    // is taken as it is; a relative path has its first level tested too.
    qsizetype slash = absolute.indexOf(u'/', absolute.startsWith(u'/') ? 1 : 0);
    while (slash > 0) {
        const QString prefix = absolute.left(slash);
        if (!prefix.endsWith(u'/') && !EnsureLevel(prefix))
            DebugPrint("create dir error fullPath: %s\n", WideToAnsi(prefix).c_str());
        slash = absolute.indexOf(u'/', slash + 1);
    }
    if (!EnsureLevel(absolute))
        DebugPrint("create dir error curPath: %s\n", WideToAnsi(absolute).c_str());
}

QString GetOutputFolder()
{
    return ResolveOutputFolder(ReadSetting(settings::kOutputDir));
}

QString ResolveOutputFolder(const QString& outputDir)
{
    const QString folder = PlannedOutputFolder(outputDir);
    EnsureFolder(folder);
    return folder;
}

QString PlannedOutputFolder(const QString& outputDir)
{
    QString folder = outputDir.trimmed();
    if (!folder.isEmpty()) {
        while (folder.size() > 1 && folder.endsWith(u'/')) folder.chop(1);
        return folder;
    }

    // Where a Documents folder exists the default goes to the Desktop, otherwise into the
    // (missing) Documents folder, which is then created. Creating it must not move the default
    // on the next call: a default folder made earlier is kept, the Desktop's first.
    const QString name = QString::fromUtf8(kDefaultOutputFolderName);
    const QString documents = GetSpecialFolder(SpecialFolder::Documents);
    const QString desktop = GetSpecialFolder(SpecialFolder::Desktop);
    const QString onDesktop = JoinPath(desktop, name);
    const QString inDocuments = JoinPath(documents, name);
    if (!desktop.isEmpty() && QFileInfo(onDesktop).isDir()) {
        folder = onDesktop;
    } else if (!documents.isEmpty() && QFileInfo(inDocuments).isDir()) {
        folder = inDocuments;
    } else {
        const bool documentsExists = !documents.isEmpty() && QFileInfo::exists(documents);
        folder = documentsExists ? onDesktop : inDocuments;
    }
    return folder;
}

bool FileExists(const QString& path)
{
    if (path.isEmpty()) return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}

QString ExecutableFolder()
{
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) break;
        if (static_cast<size_t>(length) < buffer.size()) {
            buffer.resize(length);
            const QString exe = QFile::decodeName(QByteArray::fromStdString(buffer));
            return exe.left(exe.lastIndexOf(u'/') + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath() + u'/';
    return {};
}

QString FindDataPath(const QString& executableFolder, const QString& name)
{
    const QString beside = JoinPath(executableFolder, name);
    if (QFileInfo::exists(beside)) return beside;
    const QString installed = QDir::cleanPath(
        JoinPath(executableFolder, QStringLiteral("../share/lumocompress/") + name));
    return QFileInfo::exists(installed) ? installed : beside;
}

QString FindDataPath(const QString& name)
{
    return FindDataPath(ExecutableFolder(), name);
}

QString FindTool(const QString& name)
{
    if (name.isEmpty()) return {};
    const QString beside = ExecutableFolder() + name;
    const QFileInfo info(beside);
    if (info.isFile() && info.isExecutable()) return beside;
    return QStandardPaths::findExecutable(name);
}
