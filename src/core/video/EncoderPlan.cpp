// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/video/EncoderPlan.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <climits>

#include "core/video/FfmpegCommand.h"
#include "core/video/VideoSettings.h"

namespace {

// The speed and constant quality of each strength (general, deep, limit) at one of an
// encoder's two speeds.
struct SpeedRow {
    std::array<const char*, 3> speeds;
    std::array<int, 3> levels;
};

// One encoder's measured choices: the default row, the balanced box's row (less CPU for
// somewhat more bytes) and the speed of two passes.
struct EncoderProfile {
    const char* encoder;
    const char* speedOption;
    SpeedRow normal;
    SpeedRow balanced;
    const char* passSpeed;
    // For a thin source (below kThinBitsPerPixel), whose flat pictures x264 encodes at a
    // fraction of its usual cost: a faster row, when the encoder has one.
    bool hasThinRow;
    SpeedRow thin;
};

// Measured with bench/curves.sh on a camera-like clip (fine texture with grain, panning) and a
// screen-like one (scrolling text), 1280x720 at 30 frames a second (see the README's tables).
// The strengths aim at the look of x264 medium at CRF 23, 27 and 31: luma SSIM 0.905, 0.855
// and 0.81 on the camera clip (0.998, 0.996 and 0.993 on the screen clip); each level is the
// one at which that encoder and speed reach the same SSIM on the camera clip. Speeds: x265
// "faster" writes 0.88-0.97 of x265 medium's bytes at 1.0 times x264 medium's CPU on camera
// footage (and 1.5 times on the screen, where "fast" would cost 2 times); SVT-AV1 preset 8
// writes 0.6 of x265 medium's bytes at 1.0-1.3 times x264's CPU down to the deep look, below
// which preset 10 is as small and half as costly. On the screen clip preset 8 costs 3 times
// x264's CPU, preset 10 1.65 times for the same bytes as x264, so thin sources take preset 10
// at the levels that give the screen clip x264's SSIMs. The reference AV1 encoder is not
// measured: it takes SVT's levels at its fastest good-quality speed.
constexpr std::array<EncoderProfile, 4> kProfiles = {{
    {"libx264",
     "-preset",
     {{"medium", "medium", "medium"}, {23, 27, 31}},
     {{"veryfast", "veryfast", "veryfast"}, {22, 25, 28}},
     "medium",
     false,
     {}},
    {"libx265",
     "-preset",
     {{"faster", "faster", "faster"}, {23, 28, 33}},
     {{"veryfast", "veryfast", "veryfast"}, {23, 28, 33}},
     "faster",
     false,
     {}},
    {"libsvtav1",
     "-preset",
     {{"8", "8", "10"}, {38, 51, 59}},
     {{"10", "10", "10"}, {30, 47, 59}},
     "8",
     true,
     {{"10", "10", "10"}, {51, 58, 61}}},
    {"libaom-av1",
     "-cpu-used",
     {{"6", "6", "6"}, {38, 51, 59}},
     {{"6", "6", "6"}, {38, 51, 59}},
     "6",
     false,
     {}},
}};

const EncoderProfile& ProfileOf(const QString& encoder)
{
    for (const EncoderProfile& profile : kProfiles)
        if (encoder == QLatin1String(profile.encoder)) return profile;
    return kProfiles[0];
}

int Strength(int compressType)
{
    return compressType >= 0 && compressType <= 2 ? compressType : 0;
}

}  // namespace

namespace videocodec {

int QualityLevel(const QString& encoder, int compressType, bool balanced)
{
    const EncoderProfile& profile = ProfileOf(encoder);
    return (balanced ? profile.balanced : profile.normal).levels[Strength(compressType)];
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
    // The templates' "fast" is the balanced box.
    const bool balanced = plan.preset != QLatin1String("ultrafast");
    const bool thin = profile.hasThinRow && plan.sourceBitsPerPixel > 0 &&
                      plan.sourceBitsPerPixel < kThinBitsPerPixel;
    const SpeedRow& row = thin ? profile.thin : balanced ? profile.balanced : profile.normal;
    const int strength = Strength(plan.compressType);
    encoder.speed = QString::fromLatin1(encoder.twoPass ? profile.passSpeed : row.speeds[strength]);
    encoder.crf = row.levels[strength];
    encoder.bitRate = plan.videoBitRate;
    if (plan.baseRate > 0) {
        encoder.maxRate = std::min<qint64>(qint64{plan.baseRate} * kCapTimesSource, INT_MAX);
        encoder.bufferSize = std::min<qint64>(encoder.maxRate * kCapBufferSeconds, INT_MAX);
    }
    if (encoder.codec == videocodec::kH265 && plan.extension == QLatin1String("mp4"))
        encoder.extra << QStringLiteral("-tag:v") << QStringLiteral("hvc1");
    // SVT-AV1's one-pass bit rate overshoots by a quarter on a short clip at its default 25 %
    // allowance (3.34 MB for 2.72 MB on the camera clip); with none it lands within 4 %.
    if (encoder.encoder == QLatin1String("libsvtav1") && !encoder.constantQuality)
        encoder.extra << QStringLiteral("-svtav1-params") << QStringLiteral("overshoot-pct=0");
    return encoder;
}

QStringList EncoderArguments(const EncoderPlan& plan, double crf)
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
