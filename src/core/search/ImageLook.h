// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <Magick++.h>

#include <QString>

#include <functional>
#include <stop_token>

#include "core/search/SettingSearch.h"

// The image searches, in memory: each probe encodes the picture to a Blob and, for the look,
// decodes it back and compares its luma with the source's (see Ssim.h). The chosen probe's
// Blob is the result, so no final encode follows.
namespace search {

enum class ImageCodec { Jpeg, Webp, Avif };

// The picture encoded at a quality (1 to 100) in the codec's format.
Magick::Blob EncodeImage(const Magick::Image& image, ImageCodec codec, int quality);

// libheif's AV1 encoder turns a quality (0 to 100) into one of 64 quantiser levels, 63 the
// coarsest: neighbouring qualities often give the same level, and so the same file.
int AvifLevel(int quality);
// The lowest quality that gives a level.
int AvifQualityOfLevel(int level);

struct ImageSearchResult {
    SearchResult search;  // setting: the quality; value: the SSIM, or the bytes
    int scalePercent = 100;
    Magick::Blob blob;  // the chosen encoding; empty when nothing was chosen
};

// The lowest quality whose decoded picture reaches targetSsim (luma SSIM against the source).
// Magick's errors become a Failed result.
ImageSearchResult SearchImageLook(const Magick::Image& source, ImageCodec codec, double targetSsim,
                                  std::stop_token stop = {},
                                  const std::function<void(double)>& progress = nullptr);

// The quality the size search does not go below: under it the scale is lowered instead.
inline constexpr int kFitQualityFloor = 40;
// The highest quality whose encoding is at most maxBytes; when even kFitQualityFloor is over,
// the largest scale (in percent, at that quality) that fits. Unreachable when not even the
// smallest scale fits.
ImageSearchResult FitImageUnderSize(const Magick::Image& source, ImageCodec codec, qint64 maxBytes,
                                    std::stop_token stop = {},
                                    const std::function<void(double)>& progress = nullptr);

}  // namespace search
