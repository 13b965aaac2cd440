// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstddef>

// Names and writes of the image engine's files. An existing file is never replaced: the data is
// first written to a private temporary file in the target folder and then linked under the first
// free name, an operation that fails rather than replace a file that appeared in the meantime.
class OutputFile {
public:
    struct SourceName {
        QString baseName;   // the file name up to its last ".", the whole name when it has none
        QString extension;  // the text after that ".", ASCII letters in lower case; may be empty
    };

    // Splits the file name of a path (the part after the last "/").
    static SourceName Split(const QString& path);

    // Candidate n of the output name rule: n = 1 gives dir/base.ext, n >= 2 dir/base(n).ext.
    static QString Candidate(const QString& dir, const QString& baseName, const QString& extension,
                             int n);

    // Saves data under the first candidate that does not exist (any kind of entry counts,
    // a dangling link too) and returns its path. Throws std::runtime_error when nothing could be
    // saved; no temporary file is left behind either way.
    static QString SaveNew(const QString& dir, const QString& baseName, const QString& extension,
                           const void* data, std::size_t size);

    // Writes data to a new hidden temporary file (".lumo-<16 hex digits>.part") in dir and
    // returns its path; the caller registers it as ours (core/app/OwnFiles.h) and renames or
    // removes it. Throws std::runtime_error when nothing could be written.
    static QString WriteHidden(const QString& dir, const void* data, std::size_t size);

    // Creates path exclusively (mode 0666 less the umask) and writes data into it. False, with
    // errno set, when it exists or cannot be written; a partly written file is removed.
    static bool WriteExclusive(const QString& path, const void* data, std::size_t size);
};
