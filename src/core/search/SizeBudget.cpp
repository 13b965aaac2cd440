// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/search/SizeBudget.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace search {

namespace {

// A size for a reason: in MB, or in kB below a megabyte (where "0.0 MB" would say nothing).
QString Megabytes(double bytes)
{
    if (bytes < 1e6) return QString::number(bytes / 1e3, 'f', 1) + QStringLiteral(" kB");
    return QString::number(bytes / 1e6, 'f', 1) + QStringLiteral(" MB");
}

int EvenDown(double value)
{
    return std::max(2, static_cast<int>(std::floor(value / 2)) * 2);
}

}  // namespace

ContainerOverhead OverheadOf(const QString& extension)
{
    if (extension.compare(QLatin1String("mp4"), Qt::CaseInsensitive) == 0 ||
        extension.compare(QLatin1String("mov"), Qt::CaseInsensitive) == 0)
        return {4096, 700};
    return {4096, 1400};
}

SizeBudget VideoRateForSize(qint64 maxBytes, double durationSeconds, int audioBitRate,
                            const ContainerOverhead& overhead)
{
    SizeBudget budget;
    if (maxBytes <= 0 || !(durationSeconds > 0)) {
        budget.reason = QStringLiteral("the size limit or the video's duration is unknown");
        return budget;
    }
    const double audioBytes = std::max(audioBitRate, 0) / 8.0 * durationSeconds;
    const double containerBytes =
        double(overhead.fixedBytes) + overhead.bytesPerSecond * durationSeconds;
    budget.fixedBytes = static_cast<qint64>(std::ceil(audioBytes + containerBytes));
    const double room = double(maxBytes) - double(budget.fixedBytes);
    if (room <= 0) {
        budget.reason =
            audioBitRate > 0
                ? QStringLiteral(
                      "even the sound (%1 kbit/s for %2 s, %3 with the container) "
                      "does not fit in %4")
                      .arg(audioBitRate / 1000)
                      .arg(std::lround(durationSeconds))
                      .arg(Megabytes(double(budget.fixedBytes)), Megabytes(double(maxBytes)))
                : QStringLiteral("even the container's headers (%1) do not fit in %2")
                      .arg(Megabytes(double(budget.fixedBytes)), Megabytes(double(maxBytes)));
        return budget;
    }
    const double rate = room * 8 / durationSeconds * kFirstTryShare;
    if (rate < kMinFitVideoBitRate) {
        budget.reason = QStringLiteral(
                            "%1 leaves the picture %2 kbit/s over %3 s, too little to "
                            "show anything")
                            .arg(Megabytes(double(maxBytes)))
                            .arg(rate / 1000, 0, 'f', 1)
                            .arg(std::lround(durationSeconds));
        return budget;
    }
    budget.videoBitRate = static_cast<int>(std::min<double>(rate, INT_MAX));
    return budget;
}

std::optional<int> RetryRate(qint64 maxBytes, qint64 writtenBytes, int lastRate, qint64 fixedBytes,
                             int retriesDone)
{
    if (writtenBytes <= maxBytes || retriesDone >= kMaxSizeRetries || lastRate <= 0)
        return std::nullopt;
    const double pictureWritten = double(writtenBytes - fixedBytes);
    const double pictureRoom = double(maxBytes - fixedBytes);
    if (pictureWritten <= 0 || pictureRoom <= 0) return std::nullopt;
    const double next = lastRate * (pictureRoom / pictureWritten) * kRetryShare;
    if (next < kMinFitVideoBitRate) return std::nullopt;
    return static_cast<int>(next);
}

QSize PictureForRate(QSize source, double frameRate, int videoBitRate, double minBitsPerPixel)
{
    if (source.width() <= 0 || source.height() <= 0 || !(frameRate > 0) || videoBitRate <= 0 ||
        !(minBitsPerPixel > 0))
        return source;
    const double pixels = double(source.width()) * source.height();
    const double affordable = videoBitRate / (minBitsPerPixel * frameRate);
    if (affordable >= pixels) return source;
    double factor = std::sqrt(affordable / pixels);
    const int floorHeight = std::min(source.height(), kMinFitHeight);
    factor = std::max(factor, double(floorHeight) / source.height());
    return {std::min(source.width(), EvenDown(source.width() * factor)),
            std::min(source.height(), EvenDown(source.height() * factor))};
}

SizeFit FitVideoToSize(qint64 maxBytes, double durationSeconds, int audioBitRate,
                       const QString& extension, QSize source, double frameRate)
{
    SizeFit fit;
    fit.budget = VideoRateForSize(maxBytes, durationSeconds, audioBitRate, OverheadOf(extension));
    fit.picture =
        fit.budget.Fits() ? PictureForRate(source, frameRate, fit.budget.videoBitRate) : source;
    return fit;
}

}  // namespace search
