// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/video/EncoderPlan.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <climits>

#include "core/video/FfmpegCommand.h"
#include "core/video/VideoSettings.h"

namespace {

// One encoder's measured choices. speed is the default, fastSpeed the balanced box's (less CPU
// for somewhat more bytes), passSpeed the two-pass one's; levels are the constant qualities of
// general, deep and limit.
struct EncoderProfile {
    const char* encoder;
    const char* speedOption;
    const char* speed;
    const char* fastSpeed;
    const char* passSpeed;
    std::array<int, 3> levels;
};

// Measured with bench/curves.sh on a camera-like clip (fine texture with grain, panning) and a
// screen-like one (scrolling text), 1280x720 at 30 frames a second: the levels give luma SSIM
// of about 0.93 / 0.89 / 0.84 on the camera clip for general / deep / limit on every codec (the
// look of x264 at CRF 23 / 27 / 31), see the README's table.
constexpr std::array<EncoderProfile, 4> kProfiles = {{
    {"libx264", "-preset", "medium", "veryfast", "medium", {23, 27, 31}},
    {"libx265", "-preset", "fast", "veryfast", "fast", {24, 28, 32}},
    {"libsvtav1", "-preset", "8", "10", "8", {34, 40, 46}},
    {"libaom-av1", "-cpu-used", "6", "6", "6", {34, 40, 46}},
}};

const EncoderProfile& ProfileOf(const QString& encoder)
{
    for (const EncoderProfile& profile : kProfiles)
        if (encoder == QLatin1String(profile.encoder)) return profile;
    return kProfiles[0];
}

}  // namespace

namespace videocodec {

int QualityLevel(const QString& encoder, int compressType)
{
    const int column = compressType >= 0 && compressType <= 2 ? compressType : 0;
    return ProfileOf(encoder).levels[column];
}

}  // namespace videocodec

EncoderPlan PlanEncoder(const CommandPlan& plan, const QString& av1Encoder)
{
    EncoderPlan encoder;
    encoder.codec = EffectiveCodec(plan);
    encoder.constantQuality = plan.qualityMode;
    encoder.twoPass = RunsTwoPasses(plan);
    if (encoder.codec == videocodec::kH264) {
        encoder.encoder = QStringLiteral("libx264");
    } else if (encoder.codec == videocodec::kH265) {
        encoder.encoder = QStringLiteral("libx265");
    } else {
        encoder.encoder = videocodec::EncoderName(videocodec::kAv1, av1Encoder);
    }
    const EncoderProfile& profile = ProfileOf(encoder.encoder);
    encoder.speedOption = QString::fromLatin1(profile.speedOption);
    const char* speed = encoder.twoPass                             ? profile.passSpeed
                        : plan.preset == QLatin1String("ultrafast") ? profile.speed
                                                                    : profile.fastSpeed;
    encoder.speed = QString::fromLatin1(speed);
    encoder.crf = videocodec::QualityLevel(encoder.encoder, plan.compressType);
    encoder.bitRate = plan.videoBitRate;
    if (plan.baseRate > 0) {
        encoder.maxRate = std::min<qint64>(qint64{plan.baseRate} * kCapTimesSource, INT_MAX);
        encoder.bufferSize = std::min<qint64>(encoder.maxRate * kCapBufferSeconds, INT_MAX);
    }
    if (encoder.codec == videocodec::kH265 && plan.extension == QLatin1String("mp4"))
        encoder.extra << QStringLiteral("-tag:v") << QStringLiteral("hvc1");
    return encoder;
}

QStringList EncoderArguments(const EncoderPlan& plan, int crf)
{
    QStringList arguments{QStringLiteral("-vcodec"), plan.encoder, plan.speedOption, plan.speed};
    if (!plan.constantQuality) {
        arguments << QStringLiteral("-b:v") << QString::number(plan.bitRate);
    } else if (plan.encoder == QLatin1String("libaom-av1")) {
        // The reference encoder reads a bit rate beside "-crf" as its ceiling; 0 is none.
        arguments << QStringLiteral("-crf") << QString::number(crf) << QStringLiteral("-b:v")
                  << QString::number(plan.maxRate);
    } else {
        arguments << QStringLiteral("-crf") << QString::number(crf);
        if (plan.maxRate > 0)
            arguments << QStringLiteral("-maxrate") << QString::number(plan.maxRate)
                      << QStringLiteral("-bufsize") << QString::number(plan.bufferSize);
    }
    return arguments + plan.extra;
}

QStringList EncoderArguments(const EncoderPlan& plan)
{
    return EncoderArguments(plan, plan.crf);
}
