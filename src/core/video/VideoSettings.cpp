// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/video/VideoSettings.h"

#include <QProcess>

#include <map>
#include <mutex>

namespace videocodec {

namespace {

constexpr char kSvtAv1[] = "libsvtav1";
constexpr char kAomAv1[] = "libaom-av1";

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

}  // namespace videocodec
