// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/search/SizeBudget.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <initializer_list>

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
    const auto is = [&extension](std::initializer_list<const char*> names) {
        for (const char* name : names)
            if (extension.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return true;
        return false;
    };
    // With sound, MP4 starts a chunk at nearly every frame: an offset and a table entry
    // beside the frame's size and its B-frame delay.
    if (is({"mp4", "mov", "m4v", "3gp"})) return {1024, 24, 0, 350};
    if (is({"mkv", "webm"})) return {768, 8, 0, 400};
    if (is({"flv"})) return {512, 21, 0, 850};
    if (is({"mpg", "mpeg", "vob"})) return {2048, 24, 0.01, 500};
    if (is({"wmv", "asf"})) return {4096, 30, 0.05, 1000};
    // MPEG-TS and whatever else: 188-byte packets, each frame padded out to a whole one.
    return {4096, 250, 0.04, 4200};
}

SizeBudget VideoRateForSize(qint64 maxBytes, double durationSeconds, const SoundCost& sound,
                            const ContainerOverhead& overhead, double frameRate)
{
    SizeBudget budget;
    if (maxBytes <= 0 || !(durationSeconds > 0)) {
        budget.reason = QStringLiteral("the size limit or the video's duration is unknown");
        return budget;
    }
    // The sound's file holds the container's own headers; an estimate adds them.
    constexpr double kSoundHeaderBytes = 1024;
    const bool measured = sound.measuredBytes.has_value();
    const bool withSound = measured ? *sound.measuredBytes > 0 : sound.bitRate > 0;
    const double soundBytes =
        measured            ? double(std::max<qint64>(*sound.measuredBytes, 0))
        : sound.bitRate > 0 ? sound.bitRate / 8.0 * durationSeconds +
                                  overhead.soundBytesPerSecond * durationSeconds + kSoundHeaderBytes
                            : 0.0;
    const double frames = (frameRate > 0 ? frameRate : kUnknownFrameRate) * durationSeconds;
    const double containerBytes = double(overhead.fixedBytes) + overhead.bytesPerFrame * frames;
    budget.fixedBytes = static_cast<qint64>(std::ceil(soundBytes + containerBytes));
    const double room = double(maxBytes) - double(budget.fixedBytes);
    if (room <= 0) {
        const QString what = !withSound ? QString()
                             : measured ? QStringLiteral("%1 as encoded").arg(Megabytes(soundBytes))
                                        : QStringLiteral("%1 kbit/s").arg(sound.bitRate / 1000);
        budget.reason =
            withSound ? QStringLiteral(
                            "even the sound (%1 for %2 s, %3 with the container) "
                            "does not fit in %4")
                            .arg(what)
                            .arg(std::lround(durationSeconds))
                            .arg(Megabytes(double(budget.fixedBytes)), Megabytes(double(maxBytes)))
                      : QStringLiteral("even the container's headers (%1) do not fit in %2")
                            .arg(Megabytes(double(budget.fixedBytes)), Megabytes(double(maxBytes)));
        return budget;
    }
    const double rate = room / (1 + overhead.pictureShare) * 8 / durationSeconds * kFirstTryShare;
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
    if (retriesDone >= kMaxSizeRetries || lastRate <= 0 || writtenBytes <= 0) return std::nullopt;
    const bool over = writtenBytes > maxBytes;
    if (!over && writtenBytes >= kFarUnderShare * double(maxBytes)) return std::nullopt;
    const double pictureWritten = double(writtenBytes - fixedBytes);
    const double pictureRoom = double(maxBytes - fixedBytes);
    if (pictureWritten <= 0 || pictureRoom <= 0) return std::nullopt;
    const double scale = std::min(pictureRoom / pictureWritten * kRetryShare, kMaxRetryRise);
    // An upward try that would not go up is no try.
    if (!over && scale <= 1) return std::nullopt;
    const double next = lastRate * scale;
    if (next < kMinFitVideoBitRate) return std::nullopt;
    return static_cast<int>(std::min<double>(next, INT_MAX));
}

SizeTries::SizeTries(qint64 maxBytes, qint64 fixedBytes, int firstRate)
    : maxBytes_(maxBytes), fixedBytes_(fixedBytes), rate_(firstRate)
{
}

bool SizeTries::Written(qint64 writtenBytes)
{
    earlierRate_ = lastRate_;
    earlierBytes_ = lastBytes_;
    lastRate_ = rate_;
    lastBytes_ = writtenBytes;
    if (writtenBytes > maxBytes_) {
        if (overRate_ == 0 || rate_ < overRate_) overRate_ = rate_;
        return false;
    }
    if (writtenBytes <= bestBytes_) return false;
    bestBytes_ = writtenBytes;
    bestRate_ = rate_;
    return true;
}

std::optional<int> SizeTries::Next()
{
    // A best close under the limit ends the tries, whatever the last one did.
    if (HasBest() && bestBytes_ >= kFarUnderShare * double(maxBytes_)) return std::nullopt;
    // Two files that fit, the last at a higher rate: its picture grew as the rate promised, or
    // a higher rate is of no use.
    if (earlierRate_ > 0 && lastRate_ > earlierRate_ && lastBytes_ <= maxBytes_ &&
        earlierBytes_ <= maxBytes_) {
        const double earlierPicture = double(earlierBytes_ - fixedBytes_);
        const double promised = earlierPicture * (double(lastRate_) / earlierRate_ - 1);
        if (double(lastBytes_ - earlierBytes_) < kMinRiseGain * promised) return std::nullopt;
    }
    const std::optional<int> due = RetryRate(maxBytes_, lastBytes_, rate_, fixedBytes_, tries_ - 1);
    if (!due) return std::nullopt;
    std::optional<int> next = due;
    // Two files tell how the size follows the rate, headers and the encoder's floor included
    // (a file does not shrink in proportion to its rate near the encoder's coarsest quality):
    // the line through them gives the rate for kRetryShare of the picture's room.
    if (earlierRate_ > 0 && earlierRate_ != lastRate_ && earlierBytes_ != lastBytes_) {
        const double slope = double(lastBytes_ - earlierBytes_) / (lastRate_ - earlierRate_);
        if (slope > 0) {
            const double target = fixedBytes_ + kRetryShare * double(maxBytes_ - fixedBytes_);
            const double rate = lastRate_ + (target - double(lastBytes_)) / slope;
            next = static_cast<int>(
                std::clamp(rate, lastRate_ * kMinRetryShare, lastRate_ * kMaxRetryRise));
            if (*next < kMinFitVideoBitRate) return std::nullopt;
        }
    }
    // Only a rate between the best's and the lowest one known to overshoot can do better.
    if (HasBest() && *next <= bestRate_) return std::nullopt;
    if (overRate_ > 0 && *next >= overRate_) return std::nullopt;
    rate_ = *next;
    ++tries_;
    return next;
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

SizeFit FitVideoToSize(qint64 maxBytes, double durationSeconds, const SoundCost& sound,
                       const QString& extension, QSize source, double frameRate)
{
    SizeFit fit;
    fit.budget =
        VideoRateForSize(maxBytes, durationSeconds, sound, OverheadOf(extension), frameRate);
    fit.picture =
        fit.budget.Fits() ? PictureForRate(source, frameRate, fit.budget.videoBitRate) : source;
    return fit;
}

}  // namespace search
