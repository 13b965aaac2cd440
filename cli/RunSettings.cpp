#include "RunSettings.h"

#include <QDir>

#include "core/app/AppConfig.h"
#include "core/app/Paths.h"
#include "core/app/Settings.h"
#include "core/platform/ProfileFile.h"

QString RunSettings::UserFile()
{
    return GetSpecialFolder(SpecialFolder::AppData) + u'/' + QString::fromUtf8(kConfigFolder) +
           QStringLiteral("/configure.ini");
}

bool RunSettings::Install(const RunValues& values, QString* error)
{
    if (!dir_.isValid()) {
        *error = QStringLiteral("cannot make a temporary folder: ") + dir_.errorString();
        return false;
    }
    const QString folder = dir_.path() + u'/' + QString::fromUtf8(kConfigFolder);
    file_ = folder + QStringLiteral("/configure.ini");
    QDir().mkpath(folder);

    const QString section = QString::fromUtf8(settings::kSection);
    bool written = true;
    const auto write = [&](const auto& setting, const QString& value) {
        written = platform::WritePrivateProfileString(section, QString::fromUtf8(setting.key),
                                                      value, file_) &&
                  written;
    };
    const auto number = [](int value) { return QString::number(value); };
    write(settings::kCompressType, number(values.compressType));
    write(settings::kVideoType, number(values.videoType));
    write(settings::kVideoRatioWidth, number(values.width));
    write(settings::kVideoRatioHeight, number(values.height));
    write(settings::kAudioChannel, number(values.channel));
    write(settings::kAudioSampleRate, number(values.sampleRate));
    write(settings::kAudioBitrate, number(values.bitrate));
    write(settings::kImageCompressType, number(values.imageCompressType));
    write(settings::kImageType, number(values.imageType));
    write(settings::kImageRatioIndex, number(values.ratioIndex));
    write(settings::kImageDefineParam, number(values.customSize ? 1 : 0));
    write(settings::kGifDefineParam, number(values.gifDefineParam));
    write(settings::kGifDropFrameIndex, number(values.gifDropFrameIndex));
    write(settings::kOutputDir, values.outputDir);
    if (!written) {
        *error = QStringLiteral("cannot write the run's settings to ") + file_;
        return false;
    }

    // The store settles its file on first use and keeps it; the configuration home is
    // switched for that one moment only, so every other per-user folder (the temporary folder,
    // Documents and Desktop for the default output folder) stays the user's.
    const bool hadConfigHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path()));
    const QString settled = AppConfig::Path();
    if (hadConfigHome)
        qputenv("XDG_CONFIG_HOME", configHome);
    else
        qunsetenv("XDG_CONFIG_HOME");
    if (settled != file_) {
        *error = QStringLiteral("the settings store already reads ") + settled;
        return false;
    }
    return true;
}
