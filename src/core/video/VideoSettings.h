#pragma once

#include <QString>

// The encoders behind the codec choice and the constant-quality levels of each strength.

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

// The constant-quality value (CRF) of a strength (0 general, 1 deep, 2 limit) for a codec, chosen
// so each strength's file lands near the size its bit-rate rule aims at on camera footage (see
// the README's measurement); an unknown strength takes the general one's.
int QualityLevel(int codec, int compressType);

// The encoder's speed option for the balanced check box ("fast" or "ultrafast") or the two-pass
// preset ("medium"): the x264/x265 names as they are, the SVT encoder's number, the reference
// encoder's "cpu-used" number.
QString PresetValue(const QString& encoder, const QString& preset);

}  // namespace videocodec
