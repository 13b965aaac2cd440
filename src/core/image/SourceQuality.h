// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

#include "core/platform/ChildProcess.h"

// The JPEG quality a source was saved with, as the image library's identifier reports it on a
// "Quality:" line. Compression lowers this number by a fraction, so a wrong answer makes the
// output larger than its source; every way the identifier can fail therefore falls back to
// quality 100 rather than to some guess.
class SourceQuality {
public:
    // The quality assumed when the identifier cannot tell.
    static constexpr int kFallback = 100;
    // How long the identifier may run before it is killed.
    static constexpr int kTimeoutMs = 3000;

    // Runs the identifier in ping mode (it reads the headers, not the pixels, so a 48-megapixel
    // photo takes milliseconds) with the source on its standard input: the file name never
    // reaches the identifier, so brackets, "%", ":" or any script in it cannot be read as an
    // instruction. Gives kFallback when the identifier is missing, cannot start, overruns, prints
    // no "Quality:" line or reports 0 (the formats that carry no quality: PNG, GIF, BMP).
    // Throws std::invalid_argument or std::out_of_range when a "Quality:" line holds no number
    // that fits an int.
    static int Read(const QString& identifyPath, const QString& sourcePath);

    // The number after the first "Quality:" of a report: the text up to the end of that line,
    // blanks removed, converted as std::stoi does (leading digits count). Empty when the report
    // has no "Quality:"; throws like std::stoi when no number follows it.
    static std::optional<int> Parse(const QByteArray& report);
};
