// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/intake/SizeLimit.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalBlocker>

#include <cmath>

#include "core/app/Language.h"

namespace {

constexpr char kNotANumber[] = QT_TRANSLATE_NOOP(
    "LumoCompress", "大小上限请填写数字,例如 8 或 1.5,单位在右侧选择;留空表示不限制。");
constexpr char kTooLarge[] = QT_TRANSLATE_NOOP("LumoCompress", "大小上限须小于 2 GB。");
constexpr char kTooSmall[] = QT_TRANSLATE_NOOP("LumoCompress", "大小上限至少为 1 KB。");

qint64 UnitBytes(int unit)
{
    return qint64(1) << (10 * (unit + 1));
}

// The unit a typed suffix names, or -1.
int SuffixUnit(const QString& suffix)
{
    const QString word = suffix.toUpper();
    for (int unit = sizelimit::kKb; unit <= sizelimit::kGb; ++unit) {
        const QChar letter = QLatin1String("KMG")[unit];
        if (word == letter || word == QString(letter) + u'B' || word == QString(letter) + "IB")
            return unit;
    }
    return -1;
}

bool Fail(QString* error, const char* text)
{
    if (error) *error = language::Tr(text);
    return false;
}

}  // namespace

namespace sizelimit {

std::optional<qint64> Parse(const QString& text, int unit, QString* error)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return 0;
    // ASCII digits only: a full-width or another script's digit is not read as a number.
    static const QRegularExpression form(
        QStringLiteral("^([0-9]+(?:\\.[0-9]*)?|\\.[0-9]+)\\s*([A-Za-z]*)$"));
    const QRegularExpressionMatch match = form.match(trimmed);
    if (!match.hasMatch()) {
        Fail(error, kNotANumber);
        return std::nullopt;
    }
    if (const QString suffix = match.captured(2); !suffix.isEmpty()) {
        unit = SuffixUnit(suffix);
        if (unit < 0) {
            Fail(error, kNotANumber);
            return std::nullopt;
        }
    }
    if (unit < kKb || unit > kGb) unit = kMb;
    const double value = match.captured(1).toDouble();
    if (value == 0) return 0;
    // The limit is one a file must fit under: a fraction of a byte rounds down.
    const double bytes = std::floor(value * static_cast<double>(UnitBytes(unit)));
    if (bytes > static_cast<double>(kMaxBytes)) {
        Fail(error, kTooLarge);
        return std::nullopt;
    }
    if (bytes < static_cast<double>(kMinBytes)) {
        Fail(error, kTooSmall);
        return std::nullopt;
    }
    return static_cast<qint64>(bytes);
}

Shown Show(qint64 bytes)
{
    if (bytes <= 0) return {};
    for (int unit = kGb; unit >= kKb; --unit) {
        const qint64 step = UnitBytes(unit);
        // Exact at two decimals: bytes * 100 is a whole multiple of the unit.
        if (bytes < step || (bytes * 100) % step != 0) continue;
        const qint64 hundredths = bytes * 100 / step;
        QString text = QString::number(hundredths / 100);
        if (const qint64 rest = hundredths % 100; rest != 0) {
            text += u'.' + QStringLiteral("%1").arg(rest, 2, 10, QLatin1Char('0'));
            if (text.endsWith(u'0')) text.chop(1);
        }
        return {text, unit};
    }
    // Kilobytes exactly: a multiple of 1/1024 has at most ten decimals.
    QString text = QString::number(static_cast<double>(bytes) / 1024.0, 'f', 10);
    while (text.endsWith(u'0')) text.chop(1);
    if (text.endsWith(u'.')) text.chop(1);
    return {text, kKb};
}

std::optional<qint64> Read(const QLineEdit* edit, const QComboBox* unit, QString* error)
{
    if (!edit || !unit) return std::nullopt;
    return Parse(edit->text(), unit->currentIndex(), error);
}

void Write(QLineEdit* edit, QComboBox* unit, qint64 bytes)
{
    if (!edit || !unit) return;
    const Shown shown = Show(bytes);
    const QSignalBlocker quietEdit(edit), quietUnit(unit);
    edit->setText(shown.text);
    // An empty field keeps the unit the user last chose.
    if (!shown.text.isEmpty()) unit->setCurrentIndex(shown.unit);
}

}  // namespace sizelimit
