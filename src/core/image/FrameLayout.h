// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>

// The frames of an animation or the pages of a document image, read from the file's own block
// structure without decoding a pixel: the image library's ping of every frame costs some 60 KB a
// frame, so a file of thousands of tiny frames or pages would take the memory budget's worth
// before anything is known about it. Used both before a run (how much it will hold) and after a
// write (the written file must hold every frame it was given).
namespace framelayout {

struct Layout {
    std::size_t frames = 0;
    std::size_t firstWidth = 0;  // the first frame as stored
    std::size_t firstHeight = 0;
    std::size_t screenWidth = 0;   // the canvas the frames are drawn on (the first frame's size
    std::size_t screenHeight = 0;  // for a TIFF, whose pages have no common canvas)
    unsigned long long storedPixels = 0;  // every frame at its stored size
    unsigned long long canvasPixels = 0;  // every frame as a whole canvas
};

// A GIF's frames up to its trailer or the first byte that is not a block; empty when not even
// the screen descriptor is there.
std::optional<Layout> ReadGif(const unsigned char* bytes, std::size_t size);

// A WebP's frames: the animation frames of an animated one, else one frame (its size from the
// extended header, zero for a simple file). Empty when the RIFF structure does not parse.
std::optional<Layout> ReadWebp(const unsigned char* bytes, std::size_t size);

// A classic TIFF's pages: its chain of image directories, with their widths and heights. Stops
// at an offset outside the file or one seen before (a loop). Empty when the header does not
// parse.
std::optional<Layout> ReadTiff(const unsigned char* bytes, std::size_t size);

// A HEIF file's (HEIC or AVIF) top-level images: a burst or a collection holds several, each
// shown on its own (thumbnails, alpha and depth planes belong to one and are not counted). The
// primary image is the first. Read by libheif from the file's boxes, no picture decoded. Empty
// when libheif does not parse the file.
std::optional<Layout> ReadHeif(const unsigned char* bytes, std::size_t size);

// The layout of a file of the image library's format name ("GIF", "WEBP", "TIFF", "HEIC",
// "AVIF"); empty for any other format or a file that does not parse.
std::optional<Layout> Read(const std::string& magick, const unsigned char* bytes, std::size_t size);

}  // namespace framelayout
