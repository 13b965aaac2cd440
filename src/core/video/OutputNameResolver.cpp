#include "core/video/OutputNameResolver.h"

#include "core/app/OutputName.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Past this many clashes something is wrong with the folder (or a name is reserved forever).
constexpr int kMaxCandidates = 100000;

}  // namespace

OutputNameResolver::OutputNameResolver(QString folder, const QString& sourceFileName,
                                       QString extension)
    : folder_(std::move(folder)), base_(BaseName(sourceFileName)), extension_(std::move(extension))
{
    while (folder_.size() > 1 && folder_.endsWith(u'/')) folder_.chop(1);
}

QString OutputNameResolver::BaseName(const QString& fileName)
{
    return OutputBaseName(fileName);
}

QString OutputNameResolver::Candidate(int n) const
{
    return OutputCandidate(folder_, base_, extension_, n);
}

QString OutputNameResolver::Resolve(const TakenTest& taken) const
{
    for (int n = 1; n < kMaxCandidates; ++n) {
        const QString candidate = Candidate(n);
        if (!taken(candidate)) return candidate;
    }
    return {};
}

bool OutputNameResolver::EntryExists(const QString& path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 || errno != ENOENT;
}

QString OutputNameResolver::Claim(const TakenTest& reserved, QString* error) const
{
    for (int n = 1; n < kMaxCandidates; ++n) {
        const QString candidate = Candidate(n);
        if (reserved && reserved(candidate)) continue;
        const int fd = ::open(QFile::encodeName(candidate).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return candidate;
        }
        if (errno == EEXIST) continue;
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno)) + QLatin1String(": ") + candidate;
        return {};
    }
    if (error) *error = QStringLiteral("no free output name for ") + Candidate(1);
    return {};
}
