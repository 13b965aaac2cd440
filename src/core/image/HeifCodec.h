// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <Magick++.h>

#include <cstdint>
#include <string>

// AVIF and HEIC files written and read with libheif directly. The image library's HEIF encoder sets
// only the quality and writes the colour planes only: through libheif itself the AV1 encoder runs
// with its own tuned defaults (4:2:0, tuned for SSIM), which gives about a quarter fewer bytes at
// the same look on photos with grain, and a transparent picture keeps its alpha plane.
namespace heifcodec {

struct Pixels {
    const std::uint8_t* data = nullptr;  // 8-bit RGB or RGBA (not premultiplied), rows packed
    int width = 0;
    int height = 0;
    bool alpha = false;  // RGBA when true
};

// The pixels as an AVIF (av1 true) or a HEIC at libheif's lossy quality (0..100), with an RGB
// ICC profile when one is given. Throws std::runtime_error with libheif's words.
std::string Encode(const Pixels& pixels, bool av1, int quality, const std::string& icc = {});

// The image's pixels (its alpha plane when it has one, its RGB ICC profile when it kept one)
// encoded as above.
std::string EncodeImage(const Magick::Image& image, bool av1, int quality);

// The primary picture of an AVIF or HEIC file as an 8-bit RGB image, with its alpha plane when
// it has one (the image library's reader drops it). Throws std::runtime_error with libheif's
// words.
Magick::Image DecodeImage(const void* data, std::size_t size);

}  // namespace heifcodec
