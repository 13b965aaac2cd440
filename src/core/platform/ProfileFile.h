// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Ini files read and written with the semantics of the Windows private-profile calls:
// sections and keys match without regard to case, a missing key yields the caller's default,
// values are trimmed, and strings are cut to the caller's capacity. Files are UTF-8.
//
// Only a regular file (links followed) of at most kMaxFileSize bytes is used. Anything else at
// the path (a named pipe, a device, a folder, a larger or unreadable file) is never read, never
// waited on and never replaced: reads give the caller's default, writes fail.
//
// Every read opens the file anew (nothing is cached). Every write replaces the whole file
// atomically (temporary file beside it, then rename), so a reader in another thread or process
// sees either the old or the new file, never a torn one. Writes within the process are
// serialised, so two writers never lose each other's key.
namespace platform {

inline constexpr qint64 kMaxFileSize = 1024 * 1024;

// Why the file at the path is there but not used ("not a regular file", "larger than 1 MiB",
// the system's words for an open that failed); empty when it is used or there is none. Nothing
// is read and nothing waits.
QString UnusedFileReason(const QString& file);

// The integer value of the key: its leading decimal digits after optional blanks and an optional
// sign; 0 when the value has no leading digit ("abc" reads 0); defaultValue when the key or the
// file is missing or the value is empty. Values beyond the int range saturate.
int GetPrivateProfileInt(const QString& section, const QString& key, int defaultValue,
                         const QString& file);

// The value of the key, or defaultValue when the key or the file is missing. Like the Windows
// call, capacity counts the terminating zero of a C buffer: the result holds at most
// capacity - 1 UTF-16 units (never half of a surrogate pair). A capacity below 1 gives "".
QString GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, int capacity, const QString& file);

// Sets key=value in section, creating the file and the section when missing and keeping every
// other line as it was. Returns false when the file cannot be written, is not used (see above),
// would grow past kMaxFileSize, or when section, key or value hold a line break (which would
// corrupt the file).
bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& file);

}  // namespace platform
