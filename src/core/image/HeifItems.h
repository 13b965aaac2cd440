// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Metadata items added to an encoded HEIF file (AVIF or HEIC) without touching its pictures.
//
// libheif writes a file it has read without the coded data of its pictures, so the items are
// added to the file's boxes directly: an "Exif" item and an XMP item ("mime",
// application/rdf+xml) are declared in the meta box (item info, locations, and a "cdsc"
// reference to the primary picture), their bytes go into an mdat box at the file's end, and the
// locations of the existing items move by as much as the meta box grew.
namespace heifitems {

// The file with the items added. exifTiff is the Exif block from its TIFF header on (stored
// behind the four-byte offset HEIF puts before it), xmp the XMP packet; an empty one adds no
// item. Throws std::runtime_error when the file's boxes cannot be read or rewritten.
std::string AddMetadata(const std::string& file, const std::string& exifTiff,
                        const std::string& xmp);

}  // namespace heifitems
