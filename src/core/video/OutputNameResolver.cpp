// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/video/OutputNameResolver.h"

#include "core/app/OutputName.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
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

OutputNameResolver OutputNameResolver::WithBase(QString folder, QString baseName, QString extension)
{
    OutputNameResolver resolver(std::move(folder), QString(), std::move(extension));
    resolver.base_ = std::move(baseName);
    return resolver;
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

OutputNameResolver::PartClaim OutputNameResolver::ClaimPart(const TakenTest& reserved,
                                                            QString* error) const
{
    for (int n = 1; n < kMaxCandidates; ++n) {
        const QString candidate = Candidate(n);
        if ((reserved && reserved(candidate)) || EntryExists(candidate)) continue;
        const QString part = OutputPartCandidate(folder_, base_, extension_, n);
        const int fd = ::open(QFile::encodeName(part).constData(),
                              O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            LockPartFile(fd);
            return {candidate, part, fd};
        }
        if (errno == EEXIST) continue;
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno)) + QLatin1String(": ") + part;
        return {};
    }
    if (error) *error = QStringLiteral("no free output name for ") + Candidate(1);
    return {};
}

int OutputNameResolver::CandidateNumber(const QString& path) const
{
    for (int n = 1; n < kMaxCandidates; ++n)
        if (Candidate(n) == path) return n;
    return 0;
}

QString OutputNameResolver::Publish(const PartClaim& claim, const TakenTest& reserved,
                                    QString* error) const
{
    const QByteArray part = QFile::encodeName(claim.partPath);
    for (int n = std::max(1, CandidateNumber(claim.path)); n < kMaxCandidates; ++n) {
        const QString candidate = Candidate(n);
        if (candidate != claim.path && reserved && reserved(candidate)) continue;
        const QByteArray target = QFile::encodeName(candidate);
        if (::renameat2(AT_FDCWD, part.constData(), AT_FDCWD, target.constData(),
                        RENAME_NOREPLACE) == 0)
            return candidate;
        if (errno == EEXIST) continue;
        if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
            // A file system without the no-replace rename: a hard link refuses an existing
            // target too; without links, look before renaming.
            if (::link(part.constData(), target.constData()) == 0) {
                ::unlink(part.constData());
                return candidate;
            }
            if (errno == EEXIST) continue;
            if (!EntryExists(candidate) && ::rename(part.constData(), target.constData()) == 0)
                return candidate;
            if (EntryExists(candidate)) continue;
        }
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno)) + QLatin1String(": ") + candidate;
        return {};
    }
    if (error) *error = QStringLiteral("no free output name for ") + claim.path;
    return {};
}
