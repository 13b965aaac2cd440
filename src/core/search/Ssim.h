// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <optional>
#include <vector>

namespace Magick {
class Image;
}

// Structural similarity (SSIM) of luma, the measure of a look: 1 for the same picture, falling
// toward 0 as detail and contrast are lost.
namespace search {

// A luma plane, 0 to 255.
struct LumaPlane {
    int width = 0;
    int height = 0;
    std::vector<float> samples;  // row by row
};

// The BT.601 luma of the image's colours, alpha ignored; or, with a background (0 to 255), of
// the image laid on that grey, as it shows where it is transparent.
LumaPlane LumaOf(const Magick::Image& image, std::optional<double> background = std::nullopt);

// The mean SSIM over 11x11 Gaussian windows (sigma 1.5) that lie inside the picture, with the
// usual constants for 8-bit samples; a picture smaller than a window is one window. Pictures
// of different sizes, or empty ones, give 0.
double LumaSsim(const LumaPlane& a, const LumaPlane& b);

// The figures of ffmpeg's ssim filter as it reports them at its end ("SSIM Y:0.95 (13.0) U:...
// All:0.96 (14.1)"): the last report in the output.
struct SsimFigures {
    double luma = 0;
    double all = 0;
};
std::optional<SsimFigures> ParseSsimReport(const QByteArray& output);

}  // namespace search
