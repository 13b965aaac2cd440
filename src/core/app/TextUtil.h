// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <string>
#include <vector>

// "%dB" below 1 KiB (negative sizes included), "%dKB" below 1 MiB (rounded down), then "%.2fM"
// and "%.2fG" computed in single precision, as the program has always shown sizes.
QString FormatSize(qint64 bytes);

// What compressing saved, in percent of the source: (source - output) / source * 100 in single
// precision from the 64-bit difference, as the program has always computed it; negative when the
// output is larger, 0 for a source of size 0 or less.
float SavingPercent(qint64 sourceSize, qint64 outputSize);
// A saving as the lists show it: "%.2f%" ("-50.00%" for a file that grew by half).
QString FormatSaving(double percent);

// A duration as a clock reads it: "0:07", "12:34", "1:02:03"; "--:--" when it is not known
// (negative).
QString FormatClock(qint64 seconds);

// Between UTF-16 (QString) and the narrow encoding of the system's file and library calls,
// which is UTF-8 on Linux; AnsiToUtf8 is therefore the identity on valid text.
std::string WideToAnsi(const QString& text);
QString AnsiToWide(const std::string& text);
std::string AnsiToUtf8(const std::string& text);

// The pieces of text between the delimiter characters, as strtok cuts them: runs of delimiters
// give no empty pieces, leading and trailing delimiters are dropped.
std::vector<std::string> SplitString(const std::string& text, const std::string& delimiters);

// printf-style diagnostics: to the log once logging::Start has run (see Logging.h), else to
// standard output.
void DebugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
