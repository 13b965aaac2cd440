// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <Magick++.h>

#include <string>

// AVIF and HEIC files written and read with libheif directly. The image library's HEIF encoder sets
// only the quality and writes the colour planes only: through libheif itself the AV1 encoder runs
// with its own tuned defaults (4:2:0, tuned for SSIM), which gives about a quarter fewer bytes at
// the same look on photos with grain, and a transparent picture keeps its alpha plane.
namespace heifcodec {

// The image's pixels, with its alpha plane when it has one and its RGB ICC profile when it
// kept one, as an AVIF (av1 true) or a HEIC at libheif's lossy quality (0..100). A run that can
// be stopped (see imageabort) ends at a stop while the encode finishes on its own. Throws
// std::runtime_error with libheif's words.
std::string EncodeImage(const Magick::Image& image, bool av1, int quality);

// The primary picture of an AVIF or HEIC file as an 8-bit RGB image, with its alpha plane when
// it has one (the image library's reader drops it). Throws std::runtime_error with libheif's
// words.
Magick::Image DecodeImage(const void* data, std::size_t size);

}  // namespace heifcodec
