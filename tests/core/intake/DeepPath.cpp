// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/intake/DeepPath.h"

#include <QFile>
#include <QList>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace testenv {

namespace {

constexpr int kLevels = PATH_MAX / 200 + 2;

}  // namespace

DeepPath::DeepPath(const QString& base, const QString& fileName, const QByteArray& content)
    : base_(QFile::encodeName(base)), fileName_(QFile::encodeName(fileName))
{
    const QByteArray level(200, 'd');
    int fd = ::open(base_.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; fd >= 0 && i < kLevels; ++i) {
        const QByteArray name = level + QByteArray::number(i);
        chain_ += (i ? "/" : "") + name;
        const int next = ::mkdirat(fd, name.constData(), 0700) == 0
                             ? ::openat(fd, name.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC)
                             : -1;
        ::close(fd);
        fd = next;
    }
    if (fd < 0) return;
    const int file =
        ::openat(fd, fileName_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ::close(fd);
    if (file < 0) return;
    made_ = ::write(file, content.constData(), content.size()) == content.size();
    ::close(file);
}

DeepPath::~DeepPath()
{
    // From the deepest folder up: the file, then each folder in its parent.
    QList<QByteArray> names = chain_.split('/');
    std::vector<int> fds{::open(base_.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC)};
    for (const QByteArray& name : names) {
        if (fds.back() < 0) break;
        fds.push_back(::openat(fds.back(), name.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    if (fds.back() >= 0) ::unlinkat(fds.back(), fileName_.constData(), 0);
    for (qsizetype i = static_cast<qsizetype>(fds.size()) - 1; i > 0; --i) {
        if (fds[i] >= 0) ::close(fds[i]);
        if (fds[i - 1] >= 0) ::unlinkat(fds[i - 1], names[i - 1].constData(), AT_REMOVEDIR);
    }
    if (fds[0] >= 0) ::close(fds[0]);
}

QString DeepPath::File() const
{
    return Folder() + u'/' + QFile::decodeName(fileName_);
}

QString DeepPath::Folder() const
{
    return QFile::decodeName(base_ + '/' + chain_);
}

}  // namespace testenv
