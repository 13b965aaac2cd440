// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

struct CommandPlan;

// How a task that takes the codec, quality and two-pass choices is encoded: one encoder, its
// speed, its rate control and its passes, decided in one place. The speeds and constant
// qualities come from the curve benchmark (bench/curves.sh, see the README): each speed is the
// one with the most quality per CPU second within the budget of x264's medium preset, and each
// strength's constant quality gives the same luma SSIM on every codec.
struct EncoderPlan {
    int codec = 0;        // videocodec::kH264, kH265 or kAv1
    QString encoder;      // "libx264", "libx265", "libsvtav1" or "libaom-av1"
    QString speedOption;  // "-preset", or "-cpu-used" for libaom-av1
    QString speed;        // the value of speedOption
    // Constant quality ("-crf" under a safety cap) in place of the strength's bit rate.
    bool constantQuality = false;
    int crf = 0;      // the strength's constant quality (constantQuality)
    int bitRate = 0;  // the strength's bit rate ("-b:v"), when not constantQuality
    // The cap of a constant-quality encode: far above what the constant quality spends on
    // ordinary footage, so it only bounds what a pathological source could cost; 0 for none
    // (the source's rate is unknown).
    qint64 maxRate = 0;
    qint64 bufferSize = 0;
    bool twoPass = false;  // bit-rate mode: a statistics pass, then the output
    QStringList extra;     // options that do not depend on the rate ("-tag:v hvc1")
};

// Sources below this many bits per pixel and frame (a screen recording: 0.03 at 1.6 Mbit/s,
// 1080p30; camera footage: 0.7 at 45 Mbit/s) count as thin: flat pictures that x264 encodes
// cheaply, where an encoder's slower speeds cost several times x264's CPU for little gain.
inline constexpr double kThinBitsPerPixel = 0.1;

// The cap as a multiple of the source's video bit rate, and its buffer in seconds at the cap.
inline constexpr int kCapTimesSource = 2;
inline constexpr int kCapBufferSeconds = 2;

// The plan of a task for which TakesEncoderChoices holds. av1Encoder names the AV1 encoder the
// ffmpeg has (see videocodec::Av1Encoder).
EncoderPlan PlanEncoder(const CommandPlan& plan, const QString& av1Encoder);

// The encoder's options at a given constant quality (a bit-rate plan ignores crf): "-vcodec",
// the speed, "-crf" with the cap or "-b:v", then the extra options. A search over the constant
// quality builds each try from this. The CRF is printed in its shortest form ("20", "20.75");
// x264 and x265 take a fractional one, the AV1 encoders whole ones only.
QStringList EncoderArguments(const EncoderPlan& plan, double crf);
// The same at the plan's own constant quality.
QStringList EncoderArguments(const EncoderPlan& plan);

namespace videocodec {

// The constant quality (CRF) of a strength (0 general, 1 deep, 2 limit) for an encoder
// ("libx264", "libx265", "libsvtav1", "libaom-av1") at its default or its balanced speed; an
// unknown strength takes the general one's, an unknown encoder x264's.
int QualityLevel(const QString& encoder, int compressType, bool balanced = false);

}  // namespace videocodec
