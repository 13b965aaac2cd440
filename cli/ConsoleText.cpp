// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConsoleText.h"

#include <QList>
#include <QStringView>

#include <iterator>

namespace console {
namespace {

struct Range {
    char32_t first;
    char32_t last;
};

// Wide and full-width blocks (Unicode East Asian Width W and F), coarsely.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
    {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

// Combining marks and zero-width characters.
constexpr Range kZero[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x200B, 0x200F}, {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF},
};

template <size_t N>
bool InRanges(const Range (&ranges)[N], char32_t c)
{
    for (const Range& range : ranges)
        if (c >= range.first && c <= range.last) return true;
    return false;
}

int CharWidth(char32_t c)
{
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return 0;
    if (InRanges(kZero, c)) return 0;
    return InRanges(kWide, c) ? 2 : 1;
}

}  // namespace

int DisplayWidth(const QString& text)
{
    int width = 0;
    for (char32_t c : QStringView(text).toUcs4()) width += CharWidth(c);
    return width;
}

QString Elide(const QString& text, int width)
{
    if (DisplayWidth(text) <= width) return text;
    if (width <= 0) return {};
    const QList<uint> chars = text.toUcs4();
    // Half of the room (less the ellipsis) for the head, the rest for the tail.
    const int room = width - 1;
    const int headRoom = room / 2;
    QString head;
    int used = 0;
    qsizetype i = 0;
    for (; i < chars.size(); ++i) {
        const int w = CharWidth(chars[i]);
        if (used + w > headRoom) break;
        used += w;
        const char32_t c = chars[i];
        head += QString::fromUcs4(&c, 1);
    }
    QString tail;
    int tailUsed = 0;
    for (qsizetype j = chars.size() - 1; j >= i; --j) {
        const int w = CharWidth(chars[j]);
        if (used + tailUsed + w > room) break;
        tailUsed += w;
        const char32_t c = chars[j];
        tail.prepend(QString::fromUcs4(&c, 1));
    }
    return head + QChar(0x2026) + tail;
}

QString Pad(const QString& text, int width, bool left)
{
    const int missing = width - DisplayWidth(text);
    if (missing <= 0) return text;
    const QString blanks(missing, u' ');
    return left ? blanks + text : text + blanks;
}

QString IecSize(qint64 bytes)
{
    if (bytes < 1024) return QStringLiteral("%1 B").arg(bytes);
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB"};
    double value = static_cast<double>(bytes) / 1024.0;
    size_t unit = 0;
    // 1023.8 KiB would print as "1024 KiB": such a size is the next unit's 1.0.
    while (unit + 1 < std::size(kUnits) && value >= 1023.5) {
        value /= 1024.0;
        ++unit;
    }
    const int decimals = value < 9.95 ? 1 : 0;
    return QStringLiteral("%1 %2").arg(value, 0, 'f', decimals).arg(QLatin1String(kUnits[unit]));
}

}  // namespace console
