// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// Where a task's output goes ("place", see Settings.h): the row of choices::kPlaces and the
// suffix of outputs written beside their sources.
namespace place {
inline constexpr int kFlat = 0;
inline constexpr int kTree = 1;
inline constexpr int kBeside = 2;
inline constexpr int kInPlace = 3;
}  // namespace place

struct PlaceChoice {
    int place = place::kFlat;
    QString suffix = QStringLiteral("_small");  // "_small" too when the setting is empty

    bool operator==(const PlaceChoice&) const = default;
};

// "place" and "place-suffix" of section "global" of the ini file at iniPath, which is only read.
PlaceChoice ReadPlaceChoice(const QString& iniPath);

// Why suffix cannot end the names of outputs beside their sources, empty when it can: it must
// not be empty or only dots (the output would take the source's own name, or a hidden or
// parent-folder name), and must not hold a "/" or a NUL.
QString PlaceSuffixProblem(const QString& suffix);

// The folder an output is written to and the base of its name (the extension is the output's).
// Names are then picked by the rule of core/app/OutputName.h, so nothing is ever overwritten.
struct OutputTarget {
    QString folder;     // no trailing "/" unless it is the root
    QString baseName;   // the source's base name; beside its source, with the suffix
    QString extension;  // the output's; in place of a source of the same format, the source's
                        // own spelling of it (so "a.JPG" stays "a.JPG")
    bool replacesSource = false;  // in place: the output takes the source's place
    QString error;  // why the output cannot be placed (a suffix that cannot be used); else empty
};

// Where the output with extension of the source at sourcePath goes:
//   flat      outputFolder
//   tree      outputFolder/<name of addedRoot>/<folders from addedRoot to the source>; a file
//             added by itself (addedRoot empty, or the source not below it) goes flat
//   beside    the source's folder, under base + suffix
//   in place  the source's folder, under the source's base name (see ReplaceSource)
// Nothing is created; see MakeTargetFolder.
OutputTarget PlanOutputTarget(const PlaceChoice& choice, const QString& outputFolder,
                              const QString& sourcePath, const QString& addedRoot,
                              const QString& extension);

// Creates the target's folder and its parents when they are missing (the tree). False, with the
// reason in *error, when a part of it cannot be made.
bool MakeTargetFolder(const QString& folder, QString* error);

// True when the two extensions name one format (jpg, jpeg and jpe; tif and tiff; heic and heif;
// otherwise the same letters in any case).
bool SameFormatExtension(const QString& a, const QString& b);

// What putting an output in place of its source did.
struct ReplaceOutcome {
    QString outputPath;      // the output under its final name; empty when it failed
    QString trashedPath;     // the original in the trash (its "files" folder)
    qint64 sourceBytes = 0;  // the size of the original that went to the trash
    QString error;           // why it failed, in plain words
};

// Renames from to to without ever replacing an entry at to: false with errno EEXIST when to is
// taken, with another errno when the rename failed. Tests hand a failing one.
using NoReplaceRename = std::function<bool(const QString& from, const QString& to)>;
bool RenameNoReplace(const QString& from, const QString& to);

// Puts the finished, checked output at hiddenPath (a temporary name in the source's folder) in
// place of the source: the source goes to the desktop's trash (core/app/DesktopTrash.h), then the
// output takes the name folder/base.ext of target, or when that name is taken, base(2).ext and so
// on. On every failure the original is where it was and the hidden output is removed: when the
// trash refuses the source nothing is renamed, and when the rename fails after the trash the
// original is moved back and its trash record removed.
ReplaceOutcome ReplaceSource(const QString& sourcePath, const QString& hiddenPath,
                             const OutputTarget& target,
                             const NoReplaceRename& rename = RenameNoReplace);
