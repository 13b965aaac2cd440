#include "core/intake/MediaScan.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include <array>
#include "core/app/Language.h"

namespace {

constexpr std::array<const char*, 24> kVideoExtensions = {
    "mp4",  "flv",  "wmv", "avi",  "mov", "mkv", "m4v", "f4v", "ts",  "mts", "rm",   "rmvb",
    "m3u8", "webm", "mpg", "mpeg", "asf", "dat", "3gp", "3g2", "vob", "ogv", "divx", "mxf"};

constexpr std::array<const char*, 10> kImageExtensions = {"bmp",  "jpg",  "png",  "gif", "webp",
                                                          "heic", "heif", "avif", "tif", "tiff"};

constexpr int kLongestExtension = 19;

template <size_t N>
bool IsOneOf(const std::array<const char*, N>& known, const QString& extension)
{
    for (const char* name : known) {
        const QString lower = QString::fromLatin1(name);
        if (extension == lower || extension == lower.toUpper()) return true;
    }
    return false;
}

QStringList ScanFolder(const QString& folder, bool (*accepts)(const QString&))
{
    const QStringList entries = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDir::Name | QDir::IgnoreCase);
    QStringList accepted;
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    for (const QString& name : entries) {
        if (!accepts(EntryExtension(name))) continue;
        // A name that is not valid UTF-8 comes back with replacement characters and names no
        // file; FileCheck's UnnameableEntries reports it instead.
        struct stat info {};
        const QByteArray native = QFile::encodeName(prefix + name);
        if (name.contains(QChar::ReplacementCharacter) && ::lstat(native.constData(), &info) != 0)
            continue;
        // Named pipes, devices and sockets are never opened (a reader would wait on a pipe);
        // FileCheck's EntriesNotTaken reports them.
        if (::stat(native.constData(), &info) == 0 &&
            (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ||
             S_ISSOCK(info.st_mode)))
            continue;
        // Nor is a link to a folder (it may lead anywhere, "/" included).
        struct stat own;
        if (S_ISDIR(info.st_mode) && ::lstat(native.constData(), &own) == 0 && S_ISLNK(own.st_mode))
            continue;
        accepted << name;
    }
    return accepted;
}

}  // namespace

QString VideoDialogFilter()
{
    QStringList patterns;
    for (const char* extension : kVideoExtensions) patterns << QStringLiteral("*.") + extension;
    // The dialog matches the patterns inside the parentheses, separated by blanks.
    return Texts::tr("视频文件(") + patterns.join(' ') + ')';
}

QString EntryExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0) return {};
    const QString extension = name.mid(dot + 1);
    return extension.size() > kLongestExtension ? QString() : extension;
}

bool IsVideoExtension(const QString& extension)
{
    return IsOneOf(kVideoExtensions, extension);
}

QStringList ScanFolderForVideos(const QString& folder)
{
    return ScanFolder(folder, &IsVideoExtension);
}

QString ImageDialogFilter()
{
    QStringList patterns;
    for (const char* extension : kImageExtensions) patterns << QStringLiteral("*.") + extension;
    return Texts::tr("支持图片格式(") + patterns.join(' ') + ')';
}

bool IsImageExtension(const QString& extension)
{
    return IsOneOf(kImageExtensions, extension);
}

QStringList ScanFolderForImages(const QString& folder)
{
    return ScanFolder(folder, &IsImageExtension);
}

VideoTask MakeVideoTask(const QString& dir, const QString& name)
{
    VideoTask task;
    task.fileName = name;
    task.fileDir = dir;
    task.filePath = dir.endsWith('/') ? dir + name : dir + '/' + name;
    return task;
}

QString FormatDuration(double seconds)
{
    const long long whole = seconds > 0 ? static_cast<long long>(seconds) : 0;
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600, 2, 10, QLatin1Char('0'))
        .arg((whole % 3600) / 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}
