// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/OutputPlace.h"

#include "core/app/DesktopTrash.h"
#include "core/app/OutputName.h"
#include "core/app/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Enough for any real folder; a bound so that a folder that refuses every name cannot loop.
constexpr int kMaxCandidates = 100000;

QString CleanFolder(const QString& path)
{
    QString clean = QDir::cleanPath(path);
    while (clean.size() > 1 && clean.endsWith(u'/')) clean.chop(1);
    return clean;
}

QString Join(const QString& folder, const QString& name)
{
    if (name.isEmpty()) return folder;
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

QString ErrnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The extension's format as a word, so spellings of one format compare equal.
QString FormatWord(const QString& extension)
{
    const QString e = extension.toLower();
    if (e == u"jpeg" || e == u"jpe") return QStringLiteral("jpg");
    if (e == u"tif") return QStringLiteral("tiff");
    if (e == u"heif") return QStringLiteral("heic");
    return e;
}

}  // namespace

PlaceChoice ReadPlaceChoice(const QString& iniPath)
{
    PlaceChoice choice;
    choice.place = ReadSettingFrom(iniPath, settings::kPlace);
    choice.suffix = ReadSettingFrom(iniPath, settings::kPlaceSuffix);
    if (choice.suffix.isEmpty()) choice.suffix = QString::fromLatin1(choices::kDefaultPlaceSuffix);
    return choice;
}

QString PlaceSuffixProblem(const QString& suffix)
{
    if (suffix.isEmpty()) return QStringLiteral("the suffix is empty");
    if (suffix.contains(u'/')) return QStringLiteral("the suffix holds a \"/\"");
    if (suffix.contains(QChar(0))) return QStringLiteral("the suffix holds a NUL character");
    if (suffix.count(u'.') == suffix.size()) return QStringLiteral("the suffix is only dots");
    return {};
}

OutputTarget PlanOutputTarget(const PlaceChoice& choice, const QString& outputFolder,
                              const QString& sourcePath, const QString& addedRoot,
                              const QString& extension)
{
    const QFileInfo source(sourcePath);
    OutputTarget target;
    target.baseName = OutputBaseName(source.fileName());
    target.extension = extension;
    switch (choice.place) {
        case place::kTree: {
            target.folder = CleanFolder(outputFolder);
            if (addedRoot.isEmpty()) break;
            const QString root = CleanFolder(addedRoot);
            const QString folder = CleanFolder(source.absolutePath());
            const QString rootSlash = root.endsWith(u'/') ? root : root + u'/';
            if (folder != root && !folder.startsWith(rootSlash)) break;
            // The added folder's own name, then the folders between it and the source.
            QString below = QFileInfo(root).fileName();
            if (folder != root) below = Join(below, folder.mid(rootSlash.size()));
            target.folder = Join(target.folder, below);
            break;
        }
        case place::kBeside:
            target.folder = CleanFolder(source.absolutePath());
            target.baseName += choice.suffix;
            if (const QString problem = PlaceSuffixProblem(choice.suffix); !problem.isEmpty())
                target.error =
                    QStringLiteral("cannot name the output beside its source: ") + problem;
            break;
        case place::kInPlace: {
            target.folder = CleanFolder(source.absolutePath());
            target.replacesSource = true;
            // The same format keeps the source's exact name, its extension's case included.
            const QString own = source.fileName().mid(target.baseName.size() + 1);
            if (target.baseName.size() < source.fileName().size() &&
                SameFormatExtension(own, extension))
                target.extension = own;
            break;
        }
        default:
            target.folder = outputFolder;  // exactly as given: today's names, byte for byte
            break;
    }
    return target;
}

bool MakeTargetFolder(const QString& folder, QString* error)
{
    const QFileInfo info(folder);
    if (info.isDir()) return true;
    if (QDir().mkpath(folder) && QFileInfo(folder).isDir()) return true;
    if (error) *error = QStringLiteral("cannot create the folder ") + folder;
    return false;
}

bool SameFormatExtension(const QString& a, const QString& b)
{
    return FormatWord(a) == FormatWord(b);
}

bool RenameNoReplace(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
    // A file system without the no-replace rename: a hard link refuses an existing target too.
    if (::link(source.constData(), target.constData()) != 0) return false;
    ::unlink(source.constData());
    return true;
}

ReplaceOutcome ReplaceSource(const QString& sourcePath, const QString& hiddenPath,
                             const OutputTarget& target, const NoReplaceRename& rename)
{
    ReplaceOutcome outcome;
    const auto fail = [&](const QString& why) {
        QFile::remove(hiddenPath);
        outcome.outputPath.clear();
        outcome.error = why;
        return outcome;
    };

    struct stat info;
    if (::lstat(QFile::encodeName(sourcePath).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return fail(QStringLiteral("the original is no longer there: ") + sourcePath);
    outcome.sourceBytes = info.st_size;

    // First the original to the trash: from there the user can always put it back.
    const DesktopTrash::Trashed trashed = DesktopTrash::Move(sourcePath);
    if (trashed.filePath.isEmpty())
        return fail(QStringLiteral("the original could not be moved to the trash, so it was "
                                   "kept and the compressed file removed: ") +
                    trashed.error);
    outcome.trashedPath = trashed.filePath;

    // Then the output under the source's name (or the first free one of its format).
    int renameError = 0;
    for (int n = 1; n < kMaxCandidates; ++n) {
        const QString candidate =
            OutputCandidate(target.folder, target.baseName, target.extension, n);
        errno = 0;
        if (rename(hiddenPath, candidate)) {
            outcome.outputPath = candidate;
            return outcome;
        }
        renameError = errno;
        if (renameError != EEXIST) break;
    }

    // The rename failed with the original in the trash: it comes back, and its trash record goes.
    const QString why =
        QStringLiteral("the compressed file could not take the original's name (%1)")
            .arg(renameError != 0 ? ErrnoText(renameError) : QStringLiteral("no free name"));
    if (!DesktopTrash::Restore(trashed, sourcePath)) {
        const int restoreError = errno;
        QFile::remove(hiddenPath);
        outcome.outputPath.clear();
        outcome.error = why + QStringLiteral(
                                  ", and the original could not be moved back from "
                                  "the trash (%1): it is at %2")
                                  .arg(ErrnoText(restoreError), trashed.filePath);
        return outcome;
    }
    outcome.trashedPath.clear();
    return fail(why + QStringLiteral("; the original was put back"));
}
