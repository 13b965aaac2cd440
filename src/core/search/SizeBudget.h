// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>
#include <QString>

#include <optional>

// Fitting a video under a file size: the video bit rate the size leaves, the rule for another
// try when the written file came out over it, and the picture a low rate can still afford.
namespace search {

// What a container adds to its streams: headers and an index that grows with the duration.
struct ContainerOverhead {
    qint64 fixedBytes = 0;
    double bytesPerSecond = 0;
};
// MP4's index of samples, Matroska's block and cluster headers (measured on 30 fps video with
// AAC sound); other containers take Matroska's, the larger.
ContainerOverhead OverheadOf(const QString& extension);

// The share of the room left for the picture that the first encode aims at: one-pass rate
// control overshoots by a few percent on busy footage.
inline constexpr double kFirstTryShare = 0.96;
// Below this the picture is not worth writing: the size leaves too little room.
inline constexpr int kMinFitVideoBitRate = 20000;

struct SizeBudget {
    int videoBitRate = 0;   // bits per second; 0 when it does not fit
    qint64 fixedBytes = 0;  // what the sound and the container take, whatever the picture's rate
    QString reason;         // why it does not fit; empty when it does
    bool Fits() const { return reason.isEmpty(); }
};

// The video bit rate that keeps a file of this duration, with sound at audioBitRate (0: none),
// under maxBytes. Before anything is encoded, the reason says when even the sound and the
// container do not fit, or when what is left is too little for a picture.
SizeBudget VideoRateForSize(qint64 maxBytes, double durationSeconds, int audioBitRate,
                            const ContainerOverhead& overhead);

// The most tries after the first.
inline constexpr int kMaxSizeRetries = 2;
// The rate of the next try when the written file (writtenBytes) is over maxBytes, lowered by
// the picture's measured overshoot: the sound and container (fixedBytes, from SizeBudget) do
// not shrink with the rate, so only the rest is scaled, with a margin. Nothing when the file
// fits, when retriesDone has reached kMaxSizeRetries, or when no rate can fit.
std::optional<int> RetryRate(qint64 maxBytes, qint64 writtenBytes, int lastRate, qint64 fixedBytes,
                             int retriesDone);
inline constexpr double kRetryShare = 0.97;

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
SizeFit FitVideoToSize(qint64 maxBytes, double durationSeconds, int audioBitRate,
                       const QString& extension, QSize source, double frameRate);

}  // namespace search
