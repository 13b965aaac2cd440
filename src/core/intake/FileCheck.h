// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// Which entries the program takes as sources: regular files only (a link counts as what it
// points to), so a named pipe, a device or a socket that carries a media extension is refused
// with a reason instead of blocking the reader that would open it. Nothing here opens the entry.

// Empty for a regular file; otherwise why the path is not taken ("a named pipe (FIFO), not a
// regular file", the system's error for a path that cannot be looked at, ...).
QString NotRegularFileReason(const QString& path);

// What the engines ask before they open a source: the reason when the entry exists but is not a
// regular file, empty otherwise (a missing file is left to the reader, which says so itself).
QString SpecialFileReason(const QString& path);

// True when the program can name the file: its name's bytes come back unchanged from the
// program's text form (QFile::decodeName then encodeName). Names that are not valid UTF-8
// do not; such a file cannot be opened through its text name.
bool NameRoundTrips(const QByteArray& nativeName);

// A file name for showing: the valid UTF-8 parts as they are, every other byte as "\xNN".
QString ShownName(const QByteArray& nativeName);

// The entries of folder (no recursion) whose names do not round trip and whose extension is a
// video extension (videos = true) or an image extension (videos = false), shown by ShownName,
// in byte order. Such files cannot be taken and are reported rather than left out silently.
QStringList UnnameableEntries(const QString& folder, bool videos);

// The sentence that reports one of them.
QString UnnameableReason();
// The sentence that reports a link to a folder with a media name.
QString FolderLinkReason();

// An entry a folder holds that the scan (core/intake/MediaScan.h) leaves out although its name
// is that of a video or an image.
struct NotTaken {
    QString name;  // as ShownName shows it
    QString reason;
};

// Special entries, links to folders and names that are not UTF-8 with a video (videos = true) or an
// image extension, special entries first, for the report that tells the user.
std::vector<NotTaken> EntriesNotTaken(const QString& folder, bool videos);

// Why a path the user named (an argument, a second start's path) cannot be taken although an
// entry is there: its name is not valid UTF-8 (the path then holds replacement characters and
// names no file; the entry is found under the bytes of the process's own argument that reads
// as the path, and shown by them), or the path is longer than the system takes (PATH_MAX; the
// entry is found by walking the path part by part). An empty reason when neither holds, the
// path missing included.
NotTaken UnusablePath(const QString& path);

// The bytes of this process's command-line argument (as the system passed them) that reads as
// text, made absolute against the current folder or not, or of a path a later start handed over
// (HandedPath) that reads as text; empty when none does.
QByteArray NativeArgument(const QString& text);

// The bytes that name a path made from this process's arguments: for a name that is not UTF-8
// (the text then holds replacement characters) the argument's own bytes, made absolute against
// the current folder; else the text's file-name bytes.
QByteArray NativePath(const QString& path);

// The text form of a path a later start handed over as its bytes. The bytes are kept for the
// life of the process, so that UnusablePath finds and shows a name that is not UTF-8 as it does
// for one of this process's own arguments.
QString HandedPath(const QByteArray& native);

// True when an entry is at path, looked up one part at a time, so that a path longer than
// the system's limit is found too.
bool EntryExistsByParts(const QByteArray& path);

// The notice for files that were not taken: a heading and one "name: reason" line each.
QString NotTakenNotice(const std::vector<NotTaken>& entries);
