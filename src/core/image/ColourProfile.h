// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace Magick {
class Image;
}

// The colour profiles of the image path. Output files carry no metadata, and a viewer shows an
// untagged image as sRGB; so the pixels of an image tagged with another colour space are
// converted to sRGB before its profile goes with the rest of the metadata.
namespace colourprofile {

// An sRGB ICC profile (made in memory, the same in every run).
const std::string& Srgb();

// True when the ICC profile maps RGB values as sRGB does (within one level of 255 on a grid of
// test colours): converting would change nothing worth a transform.
bool ActsAsSrgb(const std::string& icc);

// True when the ICC profile describes RGB values (the only kind a PNG or JPEG of RGB pixels can
// carry).
bool IsRgb(const std::string& icc);

// What became of an image's ICC profile.
enum class Outcome {
    None,         // it had none
    AlreadySrgb,  // it had one that acts as sRGB: the pixels are unchanged
    Converted,    // the pixels were converted to sRGB
    Kept,         // no conversion was possible: the profile stays with the pixels
};

// Strips every profile and comment, converting an RGB or CMYK image tagged with a profile that
// is not sRGB to sRGB first. A profile that cannot be converted (a grey or Lab one, or one the
// colour engine rejects) is attached again, since without it the colours would be wrong.
Outcome StripToSrgb(Magick::Image& image);

// Converts an image held in another colour space than RGB or grey (CMYK, or the YCbCr some
// decoders hand over) to sRGB, so its pixels can be read as RGB.
void ToRgbSpace(Magick::Image& image);

}  // namespace colourprofile
