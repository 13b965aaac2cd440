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

// An entry a folder holds that the scan (core/intake/MediaScan.h) leaves out although its name
// is that of a video or an image.
struct NotTaken {
    QString name;  // as ShownName shows it
    QString reason;
};

// Special entries and names that are not UTF-8 with a video (videos = true) or an image
// extension, special entries first, for the report that tells the user.
std::vector<NotTaken> EntriesNotTaken(const QString& folder, bool videos);

// The notice for files that were not taken: a heading and one "name: reason" line each.
QString NotTakenNotice(const std::vector<NotTaken>& entries);
