// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/TextUtil.h"

#include <cstdarg>
#include <cstdio>
#include <string_view>

#include "core/app/Logging.h"

QString FormatSize(qint64 bytes)
{
    constexpr qint64 kKiB = 1024;
    constexpr qint64 kMiB = kKiB * 1024;
    constexpr qint64 kGiB = kMiB * 1024;
    // Sizes are shown from a float on purpose: a large size shows the rounding of its 24-bit
    // mantissa, exactly as the program has always shown it.
    if (bytes < kKiB) return QString::asprintf("%lldB", static_cast<long long>(bytes));
    if (bytes < kMiB) return QString::asprintf("%dKB", static_cast<int>(bytes / kKiB));
    if (bytes < kGiB) return QString::asprintf("%.2fM", static_cast<float>(bytes) * 0x1p-20f);
    return QString::asprintf("%.2fG", static_cast<float>(bytes) * 0x1p-30f);
}

float SavingPercent(qint64 sourceSize, qint64 outputSize)
{
    if (sourceSize <= 0) return 0.0f;
    return static_cast<float>(sourceSize - outputSize) / static_cast<float>(sourceSize) * 100.0f;
}

QString FormatSaving(double percent)
{
    return QString::number(percent, 'f', 2) + u'%';
}

std::string WideToAnsi(const QString& text)
{
    return text.toStdString();
}

QString AnsiToWide(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string AnsiToUtf8(const std::string& text)
{
    // Through UTF-16 like any other conversion: valid text comes back unchanged, a malformed
    // byte sequence becomes U+FFFD, so the result is always valid UTF-8 (JSON needs that).
    return AnsiToWide(text).toStdString();
}

std::vector<std::string> SplitString(const std::string& text, const std::string& delimiters)
{
    // strtok sees C strings: both end at the first zero byte.
    const std::string_view source(text.c_str());
    const std::string_view delims(delimiters.c_str());
    std::vector<std::string> pieces;
    std::string_view::size_type start = source.find_first_not_of(delims);
    while (start != std::string_view::npos) {
        const std::string_view::size_type end = source.find_first_of(delims, start);
        pieces.emplace_back(source.substr(start, end - start));
        if (end == std::string_view::npos) break;
        start = source.find_first_not_of(delims, end);
    }
    return pieces;
}

void DebugPrint(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    if (!logging::Started()) {
        std::vprintf(format, args);
        va_end(args);
        return;
    }
    va_list again;
    va_copy(again, args);
    char small[512];
    const int length = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (length < 0) {
        va_end(again);
        return;
    }
    std::string text;
    if (static_cast<std::size_t>(length) < sizeof small) {
        text.assign(small, static_cast<std::size_t>(length));
    } else {
        text.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<std::size_t>(length));
    }
    va_end(again);
    logging::Write(logging::Level::Debug, text);
}

QString FormatClock(qint64 seconds)
{
    if (seconds < 0) return QStringLiteral("--:--");
    const qint64 hours = seconds / 3600;
    const qint64 minutes = (seconds % 3600) / 60;
    const qint64 rest = seconds % 60;
    if (hours > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(hours)
            .arg(minutes, 2, 10, QLatin1Char('0'))
            .arg(rest, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(minutes).arg(rest, 2, 10, QLatin1Char('0'));
}
