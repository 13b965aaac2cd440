#include "core/video/VideoSettings.h"

#include <QProcess>

#include <map>
#include <mutex>

namespace videocodec {

namespace {

constexpr char kSvtAv1[] = "libsvtav1";
constexpr char kAomAv1[] = "libaom-av1";

// Rows: codec; columns: strength. Measured on a noisy 320x240 camera-like clip at the presets
// the balanced box picks: the level whose file comes closest to the 50, 30 and 10 % of the
// source's bytes that the bit-rate rule aims at (see the README).
constexpr int kLevels[3][3] = {{24, 26, 29}, {19, 22, 26}, {27, 30, 35}};

}  // namespace

QString EncoderName(int codec, const QString& av1Encoder)
{
    if (codec == kH265) return QStringLiteral("libx265");
    if (codec == kAv1) return av1Encoder.isEmpty() ? QString::fromLatin1(kSvtAv1) : av1Encoder;
    return QStringLiteral("h264");
}

QString Av1Encoder(const QString& program)
{
    static std::mutex lock;
    static std::map<QString, QString> known;
    std::lock_guard guard(lock);
    if (const auto it = known.find(program); it != known.end()) return it->second;
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    ffmpeg.setStandardInputFile(QProcess::nullDevice());
    ffmpeg.start(program, {QStringLiteral("-hide_banner"), QStringLiteral("-encoders")});
    QByteArray listing;
    if (ffmpeg.waitForStarted(5000) && ffmpeg.waitForFinished(10000))
        listing = ffmpeg.readAll();
    else
        ffmpeg.kill();
    const QString encoder = listing.contains(QByteArray(" ") + kSvtAv1 + ' ') || listing.isEmpty()
                                ? QString::fromLatin1(kSvtAv1)
                                : QString::fromLatin1(kAomAv1);
    if (!listing.isEmpty()) known[program] = encoder;
    return encoder;
}

int QualityLevel(int codec, int compressType)
{
    const int row = codec == kH265 ? 1 : codec == kAv1 ? 2 : 0;
    const int column = compressType >= 0 && compressType <= 2 ? compressType : 0;
    return kLevels[row][column];
}

QString PresetValue(const QString& encoder, const QString& preset)
{
    if (encoder == QLatin1String(kSvtAv1)) {
        if (preset == QLatin1String("ultrafast")) return QStringLiteral("12");
        if (preset == QLatin1String("fast")) return QStringLiteral("8");
        return QStringLiteral("6");
    }
    if (encoder == QLatin1String(kAomAv1)) {
        if (preset == QLatin1String("ultrafast")) return QStringLiteral("8");
        if (preset == QLatin1String("fast")) return QStringLiteral("6");
        return QStringLiteral("4");
    }
    return preset;
}

}  // namespace videocodec
