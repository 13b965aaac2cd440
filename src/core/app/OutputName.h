// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// How both engines name an output, so a compressed file never replaces another: the source's
// base name and the output's extension in the output folder, and while that name is taken the
// same with "(2)", "(3)" and so on before the extension.
//
// An output is written under a hidden temporary name in the same folder first and gets its
// final name only once it is complete, so a final name never holds a partial file. Two schemes
// of ours exist: the video engine's ".base(n).lumo-part.ext" (ffmpeg picks its container by the
// extension) and the image engine's ".lumo-<16 hex digits>.part". Both are recorded in
// core/app/OwnFiles.h while they exist, which is how the leftovers of a killed run are known;
// a name alone never makes a file ours.

// The longest file name (one path component) the file systems we write to take, in bytes.
inline constexpr int kMaxFileNameBytes = 255;

// The base of a file name: the name up to its last ".", the whole name when it has none.
QString OutputBaseName(const QString& fileName);

// Candidate n of the rule: n <= 1 gives folder/base.ext, n >= 2 folder/base(n).ext. A folder
// that ends with "/" (the root) gets no second one. A base too long for the file name to fit in
// kMaxFileNameBytes bytes (UTF-8) with its number and extension is cut at a character boundary
// until it fits.
QString OutputCandidate(const QString& folder, const QString& baseName, const QString& extension,
                        int n);

// base + "(n)" (for n >= 2) + "." + extension, the base cut at a character boundary so that the
// whole takes at most maxBytes bytes in UTF-8.
QString FittedFileName(const QString& baseName, const QString& extension, int n, int maxBytes);

// The hidden temporary name the video engine writes candidate n to: folder/.base(n).lumo-part.ext,
// shortened like the candidate so that it fits too.
QString OutputPartCandidate(const QString& folder, const QString& baseName,
                            const QString& extension, int n);

// Holds an exclusive advisory lock on an open temporary file, which tells the cleaner of
// leftovers (core/app/OwnFiles.h) of every process that the file is being written.
bool LockPartFile(int fd);
