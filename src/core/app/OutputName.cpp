// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/OutputName.h"

#include <QByteArray>
#include <QFile>

#include <sys/file.h>

namespace {

constexpr char kVideoPartMarker[] = ".lumo-part.";

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

bool LockPartFile(int fd)
{
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}
