// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Images of at most 256 colours, made from 8-bit RGBA pixels and written as indexed PNG files:
// the colour reduction of the PNG path and its encoder. Pure functions over memory; no file and
// no image library object is involved.
namespace palettepng {

using Rgba = std::array<std::uint8_t, 4>;

struct PaletteImage {
    int width = 0;
    int height = 0;
    std::vector<Rgba> palette;          // 1..256 entries
    std::vector<std::uint8_t> indices;  // width * height palette indices, row by row
};

struct QuantiseOptions {
    int maxColours = 256;  // 2..256
    // The quality (0..100, the quantiser's scale, where 100 is exact) at which fewer colours
    // are enough: a palette that reaches it is not made larger. 100 always uses maxColours.
    int targetQuality = 100;
    float dithering = 1.0f;  // 0 none .. 1 full error diffusion
    int speed = 3;           // 1 slowest and best .. 10 fastest
};

// The pixels' own colours when there are at most maxColours of them (every fully transparent
// pixel counts as one colour), else an empty palette. Lossless: nothing is reduced.
PaletteImage ExactPalette(const std::uint8_t* rgba, int width, int height, int maxColours);

// Reduces one image's pixels, possibly to several colour counts: its distinct colours are
// counted once. The pixels must outlive the quantiser.
class Quantiser {
public:
    Quantiser(const std::uint8_t* rgba, int width, int height, int speed = 4);

    // At most options.maxColours colours: the exact palette when it fits, else the quantiser's
    // palette with the pixels remapped (dithered) to it. Throws std::runtime_error when the
    // quantiser fails (out of memory). options.speed is the constructor's.
    PaletteImage Reduce(const QuantiseOptions& options);

private:
    const std::uint8_t* rgba_;
    int width_, height_, speed_;
    int distinct_ = -1;  // distinct colours up to 257 (more), -1 before they are counted
};

// One reduction: Quantiser(rgba, width, height, options.speed).Reduce(options).
PaletteImage Quantise(const std::uint8_t* rgba, int width, int height,
                      const QuantiseOptions& options);

// The quantiser's quality (0..100) of a reduction of these pixels to maxColours colours, or -1
// when it cannot tell. For measurements.
int QualityAt(const std::uint8_t* rgba, int width, int height, int maxColours);

// An indexed PNG of the image: palette entries that are not opaque first (so the transparency
// chunk stays short), the smallest bit depth that holds the palette, no filtering, and the
// smallest of a few zlib settings at the highest level. No other chunk but the ICC profile when
// one is given (an iCCP chunk).
std::string EncodePng(const PaletteImage& image, const std::string& iccProfile = {});

}  // namespace palettepng
