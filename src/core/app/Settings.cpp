// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/Settings.h"

#include "core/app/AppConfig.h"
#include "core/platform/ProfileFile.h"

#include <QSet>
#include <QStringList>

#include <algorithm>
#include <climits>
#include <mutex>
#include <optional>
#include <utility>

namespace {

QString Section()
{
    return QString::fromUtf8(settings::kSection);
}

std::mutex problemLock;
QSet<QString> reportedFiles;  // files whose read problem was logged
QStringList pendingProblems;  // one line per file, until someone takes them to show

// Whole numbers only: an optional sign and decimal digits, within the int range. Anything else
// ("1.5", "1e3", "2x", "") is no number.
std::optional<int> WholeNumber(const QString& text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    if (i == text.size()) return std::nullopt;
    long long magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') return std::nullopt;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
    }
    const long long value = negative ? -magnitude : magnitude;
    if (value < INT_MIN || value > INT_MAX) return std::nullopt;
    return static_cast<int>(value);
}

// The number of rows of the list whose position the setting holds, 0 for a setting of another
// kind.
qsizetype ListRows(const IntSetting& setting)
{
    for (const ChoiceSetting& group : choices::kPageOptionGroups)
        if (group.setting == &setting) return static_cast<qsizetype>(group.rows.size());
    const std::pair<const IntSetting*, qsizetype> lists[] = {
        {&settings::kVideoRatioIndex, choices::kResolutions.size()},
        {&settings::kAudioChannelIndex, choices::kAudioChannels.size()},
        {&settings::kAudioSampleRateIndex, choices::kSampleRates.size()},
        {&settings::kAudioBitrateIndex, choices::kAudioBitrates.size()},
        {&settings::kImageRatioIndex, choices::kImageRatioRows},
        {&settings::kGifDropFrameIndex, choices::kGifDropFrameRows},
    };
    for (const auto& [list, rows] : lists)
        if (list == &setting) return rows;
    return 0;
}

// For a setting that stores a value of a list (a picture size, an audio value): whether value is
// one of the list's. Nothing for a setting of another kind.
std::optional<bool> IsListValue(const IntSetting& setting, int value)
{
    const auto holds = [value](const auto& list, auto field) {
        return std::any_of(list.begin(), list.end(),
                           [&](const auto& row) { return field(row) == value; });
    };
    const auto itself = [](int row) { return row; };
    if (&setting == &settings::kVideoRatioWidth)
        return holds(choices::kResolutions, [](const Resolution& row) { return row.width; });
    if (&setting == &settings::kVideoRatioHeight)
        return holds(choices::kResolutions, [](const Resolution& row) { return row.height; });
    if (&setting == &settings::kAudioChannel) return holds(choices::kAudioChannels, itself);
    if (&setting == &settings::kAudioSampleRate) return holds(choices::kSampleRates, itself);
    if (&setting == &settings::kAudioBitrate) return holds(choices::kAudioBitrates, itself);
    return std::nullopt;
}

bool Accepts(const IntSetting& setting, int value)
{
    if (value < setting.minValue || value > setting.maxValue) return false;
    if (const qsizetype rows = ListRows(setting)) return value >= 0 && value < rows;
    return IsListValue(setting, value).value_or(true);
}

// Room for any int written out with a few leading zeros; a longer value is none the program
// writes (and would be cut by the read).
constexpr int kNumberCapacity = 24;

}  // namespace

void CheckSettingsFile(const QString& iniPath)
{
    const QString reason = platform::UnusedFileReason(iniPath);
    if (reason.isEmpty()) return;
    std::lock_guard guard(problemLock);
    if (reportedFiles.contains(iniPath)) return;
    reportedFiles.insert(iniPath);
    const QString text = QStringLiteral("cannot read the settings file %1 (%2); the defaults apply")
                             .arg(iniPath, reason);
    qWarning("%s", qPrintable(text));
    pendingProblems.append(text);
}

QString TakeSettingsReadProblem()
{
    std::lock_guard guard(problemLock);
    return std::exchange(pendingProblems, QStringList()).join(u'\n');
}

int ReadSetting(const IntSetting& setting)
{
    return ReadSettingFrom(AppConfig::Path(), setting);
}

QString ReadSetting(const StringSetting& setting)
{
    return ReadSettingFrom(AppConfig::Path(), setting);
}

bool WriteSetting(const IntSetting& setting, int value)
{
    return AppConfig::WriteInt(Section(), QString::fromUtf8(setting.key), value);
}

bool WriteSetting(const StringSetting& setting, const QString& value)
{
    return AppConfig::WriteString(Section(), QString::fromUtf8(setting.key), value);
}

int ReadSettingFrom(const QString& iniPath, const IntSetting& setting)
{
    CheckSettingsFile(iniPath);
    const QString text = platform::GetPrivateProfileString(
        Section(), QString::fromUtf8(setting.key), QString(), kNumberCapacity, iniPath);
    if (text.size() >= kNumberCapacity - 1) return setting.defaultValue;
    const std::optional<int> value = WholeNumber(text);
    return value && Accepts(setting, *value) ? *value : setting.defaultValue;
}

QString ReadSettingFrom(const QString& iniPath, const StringSetting& setting)
{
    CheckSettingsFile(iniPath);
    return platform::GetPrivateProfileString(Section(), QString::fromUtf8(setting.key), QString(),
                                             setting.capacity, iniPath);
}
