#include "core/app/OutputName.h"

#include <QByteArray>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace {

constexpr char kVideoPartMarker[] = ".lumo-part.";
constexpr char kImagePartPrefix[] = ".lumo-";
constexpr char kImagePartSuffix[] = ".part";
constexpr int kImagePartDigits = 16;

// When this process started, as the file system's clock counts: taken while the library is
// loaded, before main runs.
const struct timespec kProcessStart = [] {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}();

bool Before(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Cuts the string at a character boundary (never inside a surrogate pair) so that its UTF-8 form
// takes at most maxBytes.
QString CutToBytes(const QString& text, qsizetype maxBytes)
{
    if (maxBytes <= 0) return {};
    QString cut = text;
    while (!cut.isEmpty() && cut.toUtf8().size() > maxBytes) {
        cut.chop(1);
        if (!cut.isEmpty() && cut.back().isHighSurrogate()) cut.chop(1);
    }
    return cut;
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

}  // namespace

QString OutputBaseName(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot < 0 ? fileName : fileName.left(dot);
}

QString FittedFileName(const QString& baseName, const QString& extension, int n, int maxBytes)
{
    QString tail = n >= 2 ? u'(' + QString::number(n) + u')' : QString();
    tail += u'.' + extension;
    const qsizetype room = maxBytes - tail.toUtf8().size();
    const QString base = baseName.toUtf8().size() > room ? CutToBytes(baseName, room) : baseName;
    return base + tail;
}

QString OutputCandidate(const QString& folder, const QString& baseName, const QString& extension,
                        int n)
{
    const QString path = folder.endsWith(u'/') ? folder : folder + u'/';
    return path + FittedFileName(baseName, extension, n, kMaxFileNameBytes);
}

QString OutputPartCandidate(const QString& folder, const QString& baseName,
                            const QString& extension, int n)
{
    const QString path = folder.endsWith(u'/') ? folder : folder + u'/';
    // "." + base(n) + ".lumo-part." + ext: the marker goes where the extension's dot was.
    const QString marked = QLatin1String(kVideoPartMarker).mid(1) + extension;
    return path + u'.' + FittedFileName(baseName, marked, n, kMaxFileNameBytes - 1);
}

bool IsOutputPartName(const QByteArray& name)
{
    if (name.size() < 2 || name[0] != '.') return false;
    // The image engine's: ".lumo-" + 16 lower-case hex digits + ".part".
    const qsizetype imageSize =
        sizeof(kImagePartPrefix) - 1 + kImagePartDigits + sizeof(kImagePartSuffix) - 1;
    if (name.size() == imageSize && name.startsWith(kImagePartPrefix) &&
        name.endsWith(kImagePartSuffix)) {
        const QByteArray digits = name.mid(sizeof(kImagePartPrefix) - 1, kImagePartDigits);
        bool hex = true;
        for (char c : digits) hex = hex && IsHexDigit(c);
        if (hex) return true;
    }
    // The video engine's: "." + a name + ".lumo-part." + an extension without dots.
    const qsizetype at = name.lastIndexOf(kVideoPartMarker);
    if (at < 1) return false;
    const QByteArray extension = name.mid(at + sizeof(kVideoPartMarker) - 1);
    return !extension.isEmpty() && !extension.contains('.');
}

bool LockPartFile(int fd)
{
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

int RemoveLeftoverParts(const QString& folder)
{
    const QByteArray native = QFile::encodeName(folder);
    DIR* dir = ::opendir(native.constData());
    if (!dir) return 0;
    const int dirFd = ::dirfd(dir);
    int removed = 0;
    while (const struct dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!IsOutputPartName(name)) continue;
        struct stat info {};
        if (::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) continue;
        if (!Before(info.st_mtim, kProcessStart)) continue;
        // A run that still writes the file holds its lock (never block on it).
        const int fd = ::openat(dirFd, entry->d_name,
                                O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) continue;
        const bool idle = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        struct stat opened {};
        const bool same = ::fstat(fd, &opened) == 0 && opened.st_ino == info.st_ino &&
                          opened.st_dev == info.st_dev;
        if (idle && same && ::unlinkat(dirFd, entry->d_name, 0) == 0) ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}
