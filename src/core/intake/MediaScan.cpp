// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/intake/MediaScan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QMimeType>

#include <sys/stat.h>

#include <array>
#include "core/app/Language.h"

namespace {

constexpr std::array<const char*, 24> kVideoExtensions = {
    "mp4",  "flv",  "wmv", "avi",  "mov", "mkv", "m4v", "f4v", "ts",  "mts", "rm",   "rmvb",
    "m3u8", "webm", "mpg", "mpeg", "asf", "dat", "3gp", "3g2", "vob", "ogv", "divx", "mxf"};

constexpr std::array<const char*, 12> kImageExtensions = {
    "bmp", "jpg", "jpeg", "jpe", "png", "gif", "webp", "heic", "heif", "avif", "tif", "tiff"};

// The image formats the image engine reads, by MIME type, with the usual extension of each.
struct ImageMime {
    const char* mime;
    const char* extension;
};
constexpr ImageMime kImageMimes[] = {
    {"image/jpeg", "jpg"},  {"image/png", "png"},   {"image/gif", "gif"},
    {"image/bmp", "bmp"},   {"image/webp", "webp"}, {"image/heif", "heic"},
    {"image/heic", "heic"}, {"image/avif", "avif"}, {"image/tiff", "tiff"},
};

// Containers ffmpeg reads whose MIME types are not under video/.
constexpr const char* kVideoContainerMimes[] = {
    "application/x-matroska",           "application/vnd.ms-asf", "application/vnd.rn-realmedia",
    "application/vnd.rn-realmedia-vbr", "application/mxf",        "application/ogg",
    "application/vnd.apple.mpegurl",    "application/x-mpegurl",  "audio/x-mpegurl",
};

constexpr int kLongestExtension = 19;

template <size_t N>
bool IsOneOf(const std::array<const char*, N>& known, const QString& extension)
{
    for (const char* name : known)
        if (extension.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return true;
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

namespace {

bool IsOrInherits(const QMimeType& type, const char* name)
{
    return type.name() == QLatin1String(name) || type.aliases().contains(QLatin1String(name)) ||
           type.inherits(QLatin1String(name));
}

bool IsVideoMime(const QMimeType& type)
{
    if (type.name().startsWith(QLatin1String("video/"))) return true;
    for (const QString& ancestor : type.allAncestors())
        if (ancestor.startsWith(QLatin1String("video/"))) return true;
    for (const char* name : kVideoContainerMimes)
        if (IsOrInherits(type, name)) return true;
    return false;
}

}  // namespace

SourceType DetectSourceType(const QString& path)
{
    static const QMimeDatabase database;
    const QMimeType content = database.mimeTypeForFile(path, QMimeDatabase::MatchContent);
    SourceType type;
    for (const ImageMime& image : kImageMimes) {
        if (IsOrInherits(content, image.mime)) {
            type.kind = SourceType::Kind::Image;
            type.imageExtension = QString::fromLatin1(image.extension);
            return type;
        }
    }
    if (IsVideoMime(content)) {
        type.kind = SourceType::Kind::Video;
        return type;
    }
    // Content nothing recognises: the name decides, and the engine reading it has the last word.
    if (!content.isValid() || content.isDefault() ||
        content.name() == QLatin1String("application/x-zerosize")) {
        const QString extension = EntryExtension(QFileInfo(path).fileName());
        if (IsVideoExtension(extension)) {
            type.kind = SourceType::Kind::Video;
        } else if (IsImageExtension(extension)) {
            type.kind = SourceType::Kind::Image;
            const QString lower = extension.toLower();
            type.imageExtension = lower == u"jpeg" || lower == u"jpe" ? QStringLiteral("jpg")
                                  : lower == u"tif"                   ? QStringLiteral("tiff")
                                  : lower == u"heif"                  ? QStringLiteral("heic")
                                                                      : lower;
        } else {
            type.reason = QStringLiteral("not a video or an image (its content is not one)");
        }
        return type;
    }
    type.reason = QStringLiteral("not a video or an image: its content is %1 (%2)")
                      .arg(content.comment(), content.name());
    return type;
}

VideoTask MakeVideoTask(const QString& dir, const QString& name, const QString& addedRoot)
{
    VideoTask task;
    task.fileName = name;
    task.fileDir = dir;
    task.filePath = dir.endsWith('/') ? dir + name : dir + '/' + name;
    task.addedRoot = addedRoot;
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
