// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

// AVIF and HEIC files with an alpha plane, written with libheif directly: the image library's
// HEIF encoder writes the colour planes only, so a transparent picture would show whatever
// colours its transparent pixels hold.
namespace heifalpha {

// Encodes width x height pixels of 8-bit RGBA (not premultiplied) as an AVIF (av1 true) or a
// HEIC, at libheif's lossy quality (0..100, the scale the image library hands it too), its
// transparency kept as an alpha plane. Throws std::runtime_error with libheif's words.
std::string Encode(const std::uint8_t* rgba, int width, int height, bool av1, int quality);

}  // namespace heifalpha
