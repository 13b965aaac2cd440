// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>
#include <QString>

#include <optional>

// Fitting a video under a file size: the video bit rate the size leaves, the rule for another
// try when the written file came out over it or far under it, and the picture a low rate can
// still afford.
namespace search {

// What a container adds to the picture's stream: its track's headers, an index entry or block
// header per frame, and, in containers cut into small packets, headers in proportion to the
// picture's bytes. soundBytesPerSecond is the sound's own share, for a sound whose file was
// not measured. Measured on x264 with B-frames at 25 and 60 fps, 10 s to 60 s: MP4's index
// takes 23 bytes a frame, Matroska's blocks 7, FLV's tags 20, MPEG-TS 150 and 3 %.
struct ContainerOverhead {
    qint64 fixedBytes = 0;
    double bytesPerFrame = 0;
    double pictureShare = 0;
    double soundBytesPerSecond = 0;
};
// Containers not measured take the packetized ones' figures, the largest.
ContainerOverhead OverheadOf(const QString& extension);

// The share of the room left for the picture that the first encode aims at: rate control
// overshoots by a few percent on busy footage.
inline constexpr double kFirstTryShare = 0.96;
// Below this the picture is not worth writing: the size leaves too little room.
inline constexpr int kMinFitVideoBitRate = 20000;
// A frame rate that is not known counts as this many frames a second.
inline constexpr double kUnknownFrameRate = 30;

// What the file holds beside the picture: the sound (and any other kept track).
struct SoundCost {
    int bitRate = 0;  // its nominal rate; 0: no sound
    // The file of the sound alone in the output's container (MeasureSound), headers included;
    // taken instead of the nominal rate when known.
    std::optional<qint64> measuredBytes;
};

struct SizeBudget {
    int videoBitRate = 0;   // bits per second; 0 when it does not fit
    qint64 fixedBytes = 0;  // what the sound and the container take, whatever the picture's rate
    QString reason;         // why it does not fit; empty when it does
    bool Fits() const { return reason.isEmpty(); }
};

// The video bit rate that keeps a file of this duration and frame rate, with this sound,
// under maxBytes. Before anything is encoded, the reason says when even the sound and the
// container do not fit, or when what is left is too little for a picture.
SizeBudget VideoRateForSize(qint64 maxBytes, double durationSeconds, const SoundCost& sound,
                            const ContainerOverhead& overhead,
                            double frameRate = kUnknownFrameRate);

// The most tries after the first.
inline constexpr int kMaxSizeRetries = 2;
// A file that fits but takes less than this share of the limit is tried again at a higher rate.
inline constexpr double kFarUnderShare = 0.90;
// A try upward raises the rate at most this many times, one downward lowers it at most to
// this share.
inline constexpr double kMaxRetryRise = 2.0;
inline constexpr double kMinRetryShare = 0.5;
inline constexpr double kRetryShare = 0.97;
// The rate of the next try after a file of writtenBytes: when it is over maxBytes, or under
// kFarUnderShare of it, the last rate scaled by what the picture took against its room (the
// sound and container, fixedBytes from SizeBudget, do not change with the rate), with a
// margin (kRetryShare), upward at most kMaxRetryRise times. Nothing when the file is close
// under the limit, when retriesDone has reached kMaxSizeRetries, or when no rate can fit.
std::optional<int> RetryRate(qint64 maxBytes, qint64 writtenBytes, int lastRate, qint64 fixedBytes,
                             int retriesDone);

// A try upward whose picture grew by less than this share of what its rate rise promised
// ends the tries: the picture takes no more (a still one at the encoder's finest quality).
inline constexpr double kMinRiseGain = 0.25;

// The tries of one size-limited encode: which written file is the best so far (the largest
// that fits) and the rate of the next try: RetryRate's after one file, after two the rate
// where the line through them meets kRetryShare of the picture's room. A try is never taken
// at a rate known to be too high or one no higher than the best's, nor after a rise the
// picture did not follow.
class SizeTries {
public:
    SizeTries(qint64 maxBytes, qint64 fixedBytes, int firstRate);

    // The try at Rate() wrote writtenBytes. True when that file is the new best (keep it);
    // false when it is over the limit or no larger than the best (the best stays).
    bool Written(qint64 writtenBytes);
    // The rate of the next try, which becomes Rate(); nothing when the tries end.
    std::optional<int> Next();

    int Rate() const { return rate_; }
    int Tries() const { return tries_; }
    bool HasBest() const { return bestBytes_ > 0; }
    qint64 BestBytes() const { return bestBytes_; }
    int BestRate() const { return bestRate_; }
    qint64 LastBytes() const { return lastBytes_; }

private:
    qint64 maxBytes_;
    qint64 fixedBytes_;
    int rate_;
    int tries_ = 1;
    qint64 lastBytes_ = 0;
    qint64 bestBytes_ = 0;
    int bestRate_ = 0;
    int overRate_ = 0;  // the lowest rate whose file was over the limit; 0 for none
    int lastRate_ = 0;  // the rate of the last file written, and of the one before it
    int earlierRate_ = 0;
    qint64 earlierBytes_ = 0;
};

// Bits per pixel and frame below which H.264 smears a moving picture: a smaller picture at
// the same rate then looks better.
inline constexpr double kMinBitsPerPixel = 0.04;
// The picture size for a video bit rate: the source's own when the rate affords
// minBitsPerPixel at frameRate, else the source scaled down (its shape kept, even sizes) until
// it does; never larger than the source, never smaller than kMinFitHeight lines (or the
// source's height when that is smaller).
inline constexpr int kMinFitHeight = 144;
QSize PictureForRate(QSize source, double frameRate, int videoBitRate,
                     double minBitsPerPixel = kMinBitsPerPixel);

// The whole plan of a size-limited encode before it starts: the rate, and the picture that
// rate affords (the source's when it affords it). budget.reason says when nothing fits.
struct SizeFit {
    SizeBudget budget;
    QSize picture;
};
SizeFit FitVideoToSize(qint64 maxBytes, double durationSeconds, const SoundCost& sound,
                       const QString& extension, QSize source, double frameRate);

}  // namespace search
