// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/search/ImageLook.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "core/image/HeifCodec.h"
#include "core/image/ImagePipeline.h"
#include "core/search/Ssim.h"

namespace search {

namespace {

const char* FormatOf(ImageCodec codec)
{
    switch (codec) {
        case ImageCodec::Webp:
            return "WEBP";
        case ImageCodec::Avif:
            return "AVIF";
        case ImageCodec::Jpeg:
            break;
    }
    return "JPEG";
}

// The search with every probe's Blob kept, so the chosen one is the result; Magick's errors
// become the probe's error.
struct BlobSearch {
    std::map<int, Magick::Blob> blobs;

    Measure Wrap(const std::function<double(const Magick::Blob&)>& figure,
                 const std::function<Magick::Blob(int)>& encode)
    {
        return [this, figure, encode](int setting) {
            Measurement measured;
            try {
                Magick::Blob blob = encode(setting);
                measured.bytes = static_cast<qint64>(blob.length());
                measured.value = figure(blob);
                blobs[setting] = std::move(blob);
            } catch (const Magick::Exception& error) {
                measured.error = QString::fromLocal8Bit(error.what());
            } catch (const std::exception& error) {
                measured.error = QString::fromLocal8Bit(error.what());
            }
            return measured;
        };
    }

    void Finish(ImageSearchResult& result)
    {
        const bool chosen = result.search.status == SearchStatus::Reached ||
                            result.search.status == SearchStatus::Unreachable;
        if (chosen && blobs.count(result.search.setting))
            result.blob = blobs[result.search.setting];
        blobs.clear();
    }
};

Magick::Image Scaled(const Magick::Image& source, int percent)
{
    Magick::Image image(source);
    if (percent >= 100) return image;
    Magick::Geometry size(
        std::max<size_t>(1, static_cast<size_t>(std::lround(source.columns() * percent / 100.0))),
        std::max<size_t>(1, static_cast<size_t>(std::lround(source.rows() * percent / 100.0))));
    size.aspect(true);
    image.resize(size);
    return image;
}

std::function<void(double)> Part(const std::function<void(double)>& progress, double from,
                                 double share)
{
    if (!progress) return nullptr;
    return [progress, from, share](double fraction) { progress(from + share * fraction); };
}

// A codec's quality as the searches step it. AVIF is stepped over the AV1 encoder's levels
// (see AvifLevel): neighbouring qualities often write the same file, and a probe spent on one of
// them would be lost. The level rises as the quality falls.
struct QualityAxis {
    bool levels = false;

    explicit QualityAxis(ImageCodec codec) : levels(codec == ImageCodec::Avif) {}
    int Quality(int setting) const;
    // The space from quality low to high, starting at start, rising with the quality.
    SearchSpace Space(int low, int high, int start, int firstStep) const;
    // The result's settings, and its probes', as qualities.
    void ToQualities(SearchResult& result) const;
};

}  // namespace

int AvifLevel(int quality)
{
    return ((100 - std::clamp(quality, 0, 100)) * 63 + 50) / 100;
}

int AvifQualityOfLevel(int level)
{
    for (int quality = 0; quality <= 100; ++quality)
        if (AvifLevel(quality) <= level) return quality;
    return 100;
}

int QualityAxis::Quality(int setting) const
{
    return levels ? AvifQualityOfLevel(setting) : setting;
}

SearchSpace QualityAxis::Space(int low, int high, int start, int firstStep) const
{
    SearchSpace space;
    space.low = levels ? AvifLevel(high) : low;
    space.high = levels ? AvifLevel(low) : high;
    space.start = levels ? AvifLevel(start) : start;
    space.firstStep = levels ? std::max(1, (firstStep * 63 + 50) / 100) : firstStep;
    space.rising = !levels;
    return space;
}

void QualityAxis::ToQualities(SearchResult& result) const
{
    result.setting = Quality(result.setting);
    for (search::Probe& probe : result.probes) probe.setting = Quality(probe.setting);
}

Magick::Blob EncodeImage(const Magick::Image& image, ImageCodec codec, int quality)
{
    if (codec == ImageCodec::Avif) {
        const std::string file = heifcodec::EncodeImage(image, true, std::clamp(quality, 1, 100));
        return Magick::Blob(file.data(), file.size());
    }
    Magick::Image encoded(image);
    encoded.magick(FormatOf(codec));
    encoded.quality(static_cast<size_t>(std::clamp(quality, 1, 100)));
    Magick::Blob blob;
    encoded.write(&blob);
    return blob;
}

ImageSearchResult SearchImageLook(const Magick::Image& source, ImageCodec codec, double targetSsim,
                                  std::stop_token stop, const std::function<void(double)>& progress)
{
    ImagePipeline::InitializeLibrary();
    ImageSearchResult result;
    // A transparent picture is compared as it shows on white and on black, and its look is the
    // worse of the two: that sees both its colours and its transparency, and not the colours
    // under fully transparent pixels, which no viewer shows.
    const bool transparent = source.matte();
    LumaPlane reference, onBlack;
    try {
        reference = LumaOf(source, transparent ? std::optional<double>(255) : std::nullopt);
        if (transparent) onBlack = LumaOf(source, 0.0);
    } catch (const Magick::Exception& error) {
        result.search.error = QString::fromLocal8Bit(error.what());
        return result;
    }
    const QualityAxis axis(codec);
    SearchSpace space = axis.Space(5, 98, 75, 10);
    space.maxProbes = 7;
    space.tolerance = 0.002;
    BlobSearch blobs;
    const Measure measure = blobs.Wrap(
        [&](const Magick::Blob& blob) {
            // The image library's HEIF reader drops the alpha plane.
            const Magick::Image decoded = codec == ImageCodec::Avif
                                              ? heifcodec::DecodeImage(blob.data(), blob.length())
                                              : Magick::Image(blob);
            if (!transparent) return LumaSsim(reference, LumaOf(decoded));
            return std::min(LumaSsim(reference, LumaOf(decoded, 255.0)),
                            LumaSsim(onBlack, LumaOf(decoded, 0.0)));
        },
        [&](int setting) { return EncodeImage(source, codec, axis.Quality(setting)); });
    result.search = Search(space, Goal::AtLeast, targetSsim, measure, stop, progress);
    blobs.Finish(result);
    axis.ToQualities(result.search);
    return result;
}

ImageSearchResult FitImageUnderSize(const Magick::Image& source, ImageCodec codec, qint64 maxBytes,
                                    std::stop_token stop,
                                    const std::function<void(double)>& progress)
{
    ImagePipeline::InitializeLibrary();
    ImageSearchResult result;
    const auto bytes = [](const Magick::Blob& blob) { return double(blob.length()); };

    const QualityAxis axis(codec);
    SearchSpace quality = axis.Space(kFitQualityFloor, 95, 85, 10);
    quality.logarithmic = true;
    quality.maxProbes = 7;
    const int floorSetting = axis.levels ? quality.high : quality.low;
    BlobSearch byQuality;
    result.search = Search(
        quality, Goal::AtMost, double(maxBytes),
        byQuality.Wrap(
            bytes, [&](int setting) { return EncodeImage(source, codec, axis.Quality(setting)); }),
        stop, Part(progress, 0, 0.5));
    byQuality.Finish(result);
    const bool atFloor = result.search.setting == floorSetting;
    axis.ToQualities(result.search);
    if (result.search.status != SearchStatus::Unreachable) {
        if (progress) progress(1.0);
        return result;
    }

    // Even the lowest quality is over: the picture is made smaller at that quality, starting
    // where the area alone would bring the bytes under the limit.
    const double floorBytes = atFloor ? result.search.value : 0;
    SearchSpace scale;
    scale.low = 5;
    scale.high = 99;
    scale.start =
        floorBytes > 0 ? static_cast<int>(100 * std::sqrt(double(maxBytes) / floorBytes)) : 50;
    scale.firstStep = 10;
    scale.rising = true;
    scale.logarithmic = true;
    BlobSearch byScale;
    ImageSearchResult scaled;
    scaled.search = Search(scale, Goal::AtMost, double(maxBytes),
                           byScale.Wrap(bytes,
                                        [&source, codec](int percent) {
                                            return EncodeImage(Scaled(source, percent), codec,
                                                               kFitQualityFloor);
                                        }),
                           stop, Part(progress, 0.5, 0.5));
    byScale.Finish(scaled);
    // Both searches' probes are reported; the setting stays the quality.
    scaled.scalePercent = scaled.search.setting;
    scaled.search.probes.insert(scaled.search.probes.begin(), result.search.probes.begin(),
                                result.search.probes.end());
    scaled.search.setting = kFitQualityFloor;
    if (progress) progress(1.0);
    return scaled;
}

}  // namespace search
