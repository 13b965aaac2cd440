// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/OutputFile.h"

#include "core/app/OutputName.h"
#include "core/app/OwnFiles.h"

#include <QFile>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

// Enough for any real folder; a bound so that a folder that refuses every name cannot loop.
constexpr int kMaxCandidates = 1000000;
constexpr int kMaxTemporaryAttempts = 100;

QByteArray Native(const QString& path)
{
    return QFile::encodeName(path);
}

bool Exists(const QByteArray& path)
{
    struct stat info;
    return ::lstat(path.constData(), &info) == 0;
}

bool WriteAll(int fd, const void* data, std::size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

std::string ErrorText(const char* what, const QString& path, int error)
{
    return std::string(what) + " " + path.toStdString() + ": " + std::strerror(error);
}

// Removes a file on every way out unless released.
class RemoveGuard {
public:
    explicit RemoveGuard(QByteArray path) : path_(std::move(path)) {}
    ~RemoveGuard()
    {
        if (!path_.isEmpty()) ::unlink(path_.constData());
    }
    RemoveGuard(const RemoveGuard&) = delete;
    RemoveGuard& operator=(const RemoveGuard&) = delete;
    void Release() { path_.clear(); }

private:
    QByteArray path_;
};

enum class Publish { Done, Taken, Failed };

// Gives the temporary file the name target without replacing anything: a hard link where the
// file system has them, else a rename that refuses an existing target, else an exclusive create
// and a second write of the data.
Publish PublishAs(const QByteArray& temporary, const QByteArray& target, const void* data,
                  std::size_t size, const QString& targetPath, int& error)
{
    if (::link(temporary.constData(), target.constData()) == 0) return Publish::Done;
    if (errno == EEXIST) return Publish::Taken;
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK) {
        error = errno;
        return Publish::Failed;
    }
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(),
                    RENAME_NOREPLACE) == 0)
        return Publish::Done;
    if (errno == EEXIST) return Publish::Taken;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        error = errno;
        return Publish::Failed;
    }
    if (OutputFile::WriteExclusive(targetPath, data, size)) return Publish::Done;
    if (errno == EEXIST) return Publish::Taken;
    error = errno;
    return Publish::Failed;
}

}  // namespace

OutputFile::SourceName OutputFile::Split(const QString& path)
{
    const QString fileName = path.mid(path.lastIndexOf(u'/') + 1);
    const QString baseName = OutputBaseName(fileName);
    if (baseName.size() == fileName.size()) return {fileName, QString()};
    QString extension = fileName.mid(baseName.size() + 1);
    // Byte by byte as C tolower does in the C locale: ASCII letters only.
    for (QChar& c : extension) {
        if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() + ('a' - 'A'));
    }
    return {baseName, extension};
}

QString OutputFile::Candidate(const QString& dir, const QString& baseName, const QString& extension,
                              int n)
{
    return OutputCandidate(dir, baseName, extension, n);
}

bool OutputFile::WriteExclusive(const QString& path, const void* data, std::size_t size)
{
    const QByteArray native = Native(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, data, size);
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(native.constData());
        errno = error;
    }
    return ok;
}

QString OutputFile::WriteHidden(const QString& dir, const void* data, std::size_t size)
{
    const QString folder = dir.endsWith(u'/') ? dir : dir + u'/';
    for (int attempt = 0;; ++attempt) {
        const QString path =
            folder + QStringLiteral(".lumo-%1.part")
                         .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
        if (WriteExclusive(path, data, size)) return path;
        if (errno != EEXIST || attempt + 1 == kMaxTemporaryAttempts)
            throw std::runtime_error(ErrorText("cannot write", path, errno));
    }
}

QString OutputFile::SaveNew(const QString& dir, const QString& baseName, const QString& extension,
                            const void* data, std::size_t size)
{
    // The temporary file lives in the target folder, so that linking it is one step.
    const QString temporaryPath = WriteHidden(dir, data, size);
    const QByteArray temporary = Native(temporaryPath);
    // Ours until it is gone: forgotten after the guard has removed it.
    const OwnFiles::Record record(temporaryPath);
    RemoveGuard removeTemporary(temporary);

    for (int n = 1; n <= kMaxCandidates; ++n) {
        const QString candidate = Candidate(dir, baseName, extension, n);
        const QByteArray target = Native(candidate);
        if (Exists(target)) continue;
        int error = 0;
        switch (PublishAs(temporary, target, data, size, candidate, error)) {
            case Publish::Done:
                return candidate;
            case Publish::Taken:
                continue;
            case Publish::Failed:
                throw std::runtime_error(ErrorText("cannot save", candidate, error));
        }
    }
    throw std::runtime_error(
        ErrorText("no free name for", Candidate(dir, baseName, extension, 1), EEXIST));
}
