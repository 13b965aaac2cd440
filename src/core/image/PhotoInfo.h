// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/image/ImageParams.h"

#include <QtGlobal>

#include <cstddef>
#include <memory>

namespace Magick {
class Blob;
}

// The source's photo information carried into its output when params.keepPhotoInfo asks for it:
// the EXIF (date taken, camera, lens, exposure, the maker's notes), the XMP, the IPTC, a JPEG's
// comment and a PNG's text chunks. What the output gets of it:
//   - the orientation tag (EXIF and XMP) reads 1, "normal", where the pixels were turned
//     upright (the image library turns a JPEG or TIFF by its tag, libheif a HEIF by its boxes);
//     a tag the decoder did not apply (a PNG's or WebP's EXIF) is kept as the source has it;
//   - the EXIF thumbnail (and an XMP one) is dropped, and the pixel sizes the EXIF and XMP
//     state are the output's;
//   - the location goes unless params.keepLocation: every EXIF GPS tag, the XMP exif:GPS*
//     properties and the XMP and IPTC location fields (city, state, country, sublocation);
//   - the colour profile and the picture's own structure stay what the encoder wrote.
// Per output format: JPEG gets EXIF, XMP, IPTC and the comment; TIFF EXIF, XMP and IPTC; WebP
// EXIF and XMP; AVIF and HEIC an Exif and an XMP item; PNG an eXIf chunk, the XMP as iTXt and
// the source PNG's other text chunks. GIF and BMP outputs hold none.
namespace photoinfo {

struct Data;

// What Read found; empty when nothing is to be kept.
class Kept {
public:
    bool Empty() const { return !data_; }
    // The parameters for the encoders: a size limit lowered by what the metadata will add, so
    // that the output with it still fits.
    ImageParams Room(const ImageParams& params) const;

private:
    friend Kept Read(const ImageParams&, const void*, std::size_t, bool);
    friend void Write(const Kept&, const char*, Magick::Blob&);
    std::shared_ptr<const Data> data_;
    qint64 bytes_ = 0;  // what writing it adds at most
};

// The source's metadata from its bytes; empty when params.keepPhotoInfo is off or the source
// holds none. decoderTurns: the image library reported an orientation and turns the pixels by
// it. Metadata that cannot be read (damaged EXIF, say) is left out and noted in the
// log: the output is then written without it.
Kept Read(const ImageParams& params, const void* bytes, std::size_t size, bool decoderTurns);

// Writes what was kept into the encoded output of the image library's format `magick`
// ("JPEG", "WEBP", "PNG", "TIFF", "AVIF", "HEIC"; the others take none). Nothing changes when
// kept is empty. Throws std::runtime_error when it cannot be written.
void Write(const Kept& kept, const char* magick, Magick::Blob& blob);

}  // namespace photoinfo
