#include "core/app/Settings.h"

#include "core/app/AppConfig.h"
#include "core/platform/ProfileFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

namespace {

QString Section()
{
    return QString::fromUtf8(settings::kSection);
}

std::mutex problemLock;
QSet<QString> reportedFiles;  // files whose read problem was logged
QString pendingProblem;       // the first problem, until someone takes it to show

// A settings file that is there but cannot be read gives every default; that is said once per
// file, in the log (a warning, which the command line's terminal shows too) and to the first
// taker of TakeSettingsReadProblem.
void CheckReadable(const QString& iniPath)
{
    const int fd = ::open(QFile::encodeName(iniPath).constData(),
                          O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    QString problem;
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return;
        problem = QString::fromLocal8Bit(std::strerror(errno));
    } else {
        char byte;
        if (::read(fd, &byte, 1) < 0) problem = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
    }
    if (problem.isEmpty()) return;
    std::lock_guard guard(problemLock);
    if (reportedFiles.contains(iniPath)) return;
    reportedFiles.insert(iniPath);
    const QString text = QStringLiteral("cannot read the settings file %1 (%2); the defaults apply")
                             .arg(iniPath, problem);
    qWarning("%s", qPrintable(text));
    if (pendingProblem.isEmpty()) pendingProblem = text;
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

bool InRange(const IntSetting& setting, int value)
{
    if (value < setting.minValue || value > setting.maxValue) return false;
    const qsizetype rows = ListRows(setting);
    return rows == 0 || (value >= 0 && value < rows);
}

}  // namespace

QString TakeSettingsReadProblem()
{
    std::lock_guard guard(problemLock);
    return std::exchange(pendingProblem, QString());
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
    CheckReadable(iniPath);
    const int value = platform::GetPrivateProfileInt(Section(), QString::fromUtf8(setting.key),
                                                     setting.defaultValue, iniPath);
    return InRange(setting, value) ? value : setting.defaultValue;
}

QString ReadSettingFrom(const QString& iniPath, const StringSetting& setting)
{
    CheckReadable(iniPath);
    return platform::GetPrivateProfileString(Section(), QString::fromUtf8(setting.key), QString(),
                                             setting.capacity, iniPath);
}
