// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The encoders behind the codec choice (their speeds and qualities: see EncoderPlan.h).

namespace videocodec {

inline constexpr int kH264 = 0;
inline constexpr int kH265 = 1;
inline constexpr int kAv1 = 2;

// The ffmpeg encoder of a codec choice. H.264 is the templates' own "h264"; AV1 is the SVT
// encoder when the given ffmpeg has it, else the reference one (av1Encoder, see Av1Encoder).
QString EncoderName(int codec, const QString& av1Encoder);

// The AV1 encoder the ffmpeg at program offers: "libsvtav1" when it lists it, else
// "libaom-av1". Asked once per program path (it runs "ffmpeg -encoders"), then remembered.
QString Av1Encoder(const QString& program);

}  // namespace videocodec
