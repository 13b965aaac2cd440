// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/PhotoInfo.h"

#include "core/app/TextUtil.h"
#include "core/image/HeifItems.h"

#include <Magick++.h>
#include <libheif/heif.h>
#include <zlib.h>
#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace photoinfo {

struct Data {
    Exiv2::ExifData exif;
    Exiv2::ByteOrder byteOrder = Exiv2::littleEndian;
    Exiv2::XmpData xmp;
    Exiv2::IptcData iptc;
    std::string comment;
    std::vector<std::string> pngText;  // whole tEXt, zTXt and iTXt chunks of a PNG source
};

namespace {

// The library's XMP toolkit is not safe on several threads, and its log is global: all its work
// here is done under one lock. It is metadata only, a small part of a run.
std::mutex& Exiv2Lock()
{
    static std::mutex lock;
    return lock;
}

void LogToDebug(int, const char* message)
{
    DebugPrint("exiv2: %s", message);
}

void StartExiv2()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setHandler(&LogToDebug);
        Exiv2::XmpParser::initialize();
    });
}

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// IFD0 tags that describe how a TIFF stores its picture (or carry what is kept elsewhere: the
// XMP, IPTC and Photoshop blocks, the colour profile). They are the output's own business.
constexpr std::array<const char*, 24> kStructureTags = {"NewSubfileType",
                                                        "SubfileType",
                                                        "ImageWidth",
                                                        "ImageLength",
                                                        "BitsPerSample",
                                                        "Compression",
                                                        "PhotometricInterpretation",
                                                        "FillOrder",
                                                        "StripOffsets",
                                                        "SamplesPerPixel",
                                                        "RowsPerStrip",
                                                        "StripByteCounts",
                                                        "PlanarConfiguration",
                                                        "Predictor",
                                                        "TileWidth",
                                                        "TileLength",
                                                        "TileOffsets",
                                                        "TileByteCounts",
                                                        "SubIFDs",
                                                        "ExtraSamples",
                                                        "XMLPacket",
                                                        "IPTCNAA",
                                                        "ImageResources",
                                                        "InterColorProfile"};

constexpr std::array<const char*, 10> kXmpLocation = {
    "Xmp.exif.GPS",          "Xmp.iptcExt.LocationCreated", "Xmp.iptcExt.LocationShown",
    "Xmp.photoshop.City",    "Xmp.photoshop.State",         "Xmp.photoshop.Country",
    "Xmp.iptc.Location",     "Xmp.iptc.CountryCode",        "Xmp.exifEX.GPS",
    "Xmp.xmpDM.shotLocation"};

constexpr std::array<const char*, 7> kIptcLocation = {
    "Iptc.Application2.City",          "Iptc.Application2.SubLocation",
    "Iptc.Application2.ProvinceState", "Iptc.Application2.CountryCode",
    "Iptc.Application2.CountryName",   "Iptc.Application2.LocationCode",
    "Iptc.Application2.LocationName"};

template <typename Container, typename Condition>
void EraseIf(Container& data, Condition condition)
{
    for (auto it = data.begin(); it != data.end();) it = condition(*it) ? data.erase(it) : ++it;
}

// What the output must not say: a turned orientation, a thumbnail of the source, where the photo
// was taken (unless asked), and how the source stored its pixels.
void Filter(Data& data, bool keepLocation, bool turned)
{
    Exiv2::ExifThumb(data.exif).erase();
    EraseIf(data.exif, [&](const Exiv2::Exifdatum& datum) {
        const std::string key = datum.key();
        if (datum.groupName() == "Image" && std::find(kStructureTags.begin(), kStructureTags.end(),
                                                      datum.tagName()) != kStructureTags.end())
            return true;
        if (datum.groupName() == "Thumbnail") return true;
        if (keepLocation) return false;
        return datum.groupName() == "GPSInfo" || key == "Exif.Image.GPSTag";
    });
    if (auto it = data.exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        turned && it != data.exif.end())
        it->setValue("1");

    EraseIf(data.xmp, [&](const Exiv2::Xmpdatum& datum) {
        const std::string key = datum.key();
        // A digest of the EXIF it was made from would tell readers the two disagree.
        if (StartsWith(key, "Xmp.xmp.Thumbnails") || key == "Xmp.exif.NativeDigest" ||
            key == "Xmp.tiff.NativeDigest")
            return true;
        if (keepLocation) return false;
        return std::any_of(kXmpLocation.begin(), kXmpLocation.end(),
                           [&](const char* prefix) { return StartsWith(key, prefix); });
    });
    if (auto it = data.xmp.findKey(Exiv2::XmpKey("Xmp.tiff.Orientation"));
        turned && it != data.xmp.end())
        it->setValue("1");

    if (!keepLocation) {
        EraseIf(data.iptc, [](const Exiv2::Iptcdatum& datum) {
            return std::find(kIptcLocation.begin(), kIptcLocation.end(), datum.key()) !=
                   kIptcLocation.end();
        });
    }
}

// The pixel sizes the metadata states, where it states them, made the output's.
void SetPixelSizes(Exiv2::ExifData& exif, Exiv2::XmpData& xmp, long width, long height)
{
    if (width <= 0 || height <= 0) return;
    for (const auto& [key, value] :
         {std::pair{"Exif.Photo.PixelXDimension", width}, {"Exif.Photo.PixelYDimension", height}}) {
        if (auto it = exif.findKey(Exiv2::ExifKey(key)); it != exif.end()) {
            Exiv2::ULongValue size;
            size.value_.push_back(static_cast<uint32_t>(value));
            it->setValue(&size);
        }
    }
    for (const auto& [key, value] : {std::pair{"Xmp.exif.PixelXDimension", width},
                                     {"Xmp.exif.PixelYDimension", height},
                                     {"Xmp.tiff.ImageWidth", width},
                                     {"Xmp.tiff.ImageLength", height}}) {
        if (auto it = xmp.findKey(Exiv2::XmpKey(key)); it != xmp.end())
            it->setValue(std::to_string(value));
    }
}

std::uint32_t BigEndian32(const unsigned char* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

constexpr char kPngSignature[] = "\x89PNG\r\n\x1A\n";

struct PngChunk {
    std::size_t at = 0;  // its length field
    std::uint32_t length = 0;
    std::string type;
    std::size_t Whole() const { return std::size_t(length) + 12; }
};

// The chunks of a PNG; empty when the bytes are none.
std::vector<PngChunk> PngChunks(const unsigned char* bytes, std::size_t size)
{
    std::vector<PngChunk> chunks;
    if (size < 8 || std::memcmp(bytes, kPngSignature, 8) != 0) return chunks;
    for (std::size_t at = 8; at + 12 <= size;) {
        PngChunk chunk;
        chunk.at = at;
        chunk.length = BigEndian32(bytes + at);
        if (chunk.length > size - at - 12) break;
        chunk.type.assign(reinterpret_cast<const char*>(bytes + at + 4), 4);
        chunks.push_back(chunk);
        at += chunk.Whole();
        if (chunk.type == "IEND") break;
    }
    return chunks;
}

// A PNG source's text chunks, less those the metadata read from them holds (the image
// library's raw profiles, the XMP), which are written anew from what is kept of it.
std::vector<std::string> PngText(const unsigned char* bytes, std::size_t size)
{
    static const char* const kCarried[] = {"Raw profile type exif", "Raw profile type APP1",
                                           "Raw profile type iptc", "Raw profile type xmp",
                                           "Raw profile type 8bim", "XML:com.adobe.xmp"};
    std::vector<std::string> text;
    for (const PngChunk& chunk : PngChunks(bytes, size)) {
        if (chunk.type != "tEXt" && chunk.type != "zTXt" && chunk.type != "iTXt") continue;
        const char* data = reinterpret_cast<const char*>(bytes + chunk.at + 8);
        const std::string keyword(data, strnlen(data, chunk.length));
        if (std::find(std::begin(kCarried), std::end(kCarried), keyword) != std::end(kCarried))
            continue;
        text.emplace_back(reinterpret_cast<const char*>(bytes + chunk.at), chunk.Whole());
    }
    return text;
}

std::string MakePngChunk(const char* type, const std::string& data)
{
    std::string chunk;
    const auto put32 = [&chunk](std::uint32_t value) {
        for (int i = 3; i >= 0; --i) chunk.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
    };
    put32(static_cast<std::uint32_t>(data.size()));
    chunk.append(type, 4);
    chunk += data;
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(chunk.data() + 4), uInt(data.size() + 4));
    put32(static_cast<std::uint32_t>(crc));
    return chunk;
}

// The Exif block from its TIFF header on; empty for no EXIF.
std::string EncodeExif(const Exiv2::ExifData& exif, Exiv2::ByteOrder order)
{
    if (exif.empty()) return {};
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, order, exif);
    return std::string(blob.begin(), blob.end());
}

std::string EncodeXmp(const Exiv2::XmpData& xmp)
{
    if (xmp.empty()) return {};
    std::string packet;
    if (Exiv2::XmpParser::encode(
            packet, xmp,
            Exiv2::XmpParser::useCompactFormat | Exiv2::XmpParser::omitAllFormatting) != 0)
        throw std::runtime_error("the XMP packet cannot be written");
    // The toolkit pads a packet with 2 KB of spaces before its end, room for editing it in
    // place: nothing an output of this program needs.
    const std::size_t end = packet.rfind("<?xpacket end=");
    if (end != std::string::npos) {
        const std::size_t last = packet.find_last_not_of(" \n\r\t", end == 0 ? 0 : end - 1);
        if (last != std::string::npos && last + 1 < end) packet.erase(last + 1, end - last - 1);
    }
    return packet;
}

// A JPEG, WebP or TIFF output, written by exiv2 in memory and read back. A TIFF keeps its own
// structure tags; the source's other EXIF is laid over them.
std::string WriteThroughExiv2(const Data& data, const std::string& format, const Magick::Blob& blob)
{
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(
        static_cast<const Exiv2::byte*>(blob.data()), static_cast<long>(blob.length()));
    image->readMetadata();
    Exiv2::ExifData exif = data.exif;
    Exiv2::XmpData xmp = data.xmp;
    SetPixelSizes(exif, xmp, image->pixelWidth(), image->pixelHeight());
    if (format == "TIFF") {
        Exiv2::ExifData& own = image->exifData();
        for (const Exiv2::Exifdatum& datum : exif) {
            if (auto it = own.findKey(Exiv2::ExifKey(datum.key())); it != own.end())
                it->setValue(&datum.value());
            else
                own.add(datum);
        }
    } else {
        image->setExifData(exif);
    }
    // The packet as EncodeXmp writes it: the library's own writing would add 2 KB of padding.
    if (const std::string packet = EncodeXmp(xmp); !packet.empty()) {
        image->setXmpPacket(packet);
        image->writeXmpFromPacket(true);
    } else {
        image->clearXmpData();
    }
    if (format != "WEBP") image->setIptcData(data.iptc);
    if (format == "JPEG" && !data.comment.empty()) image->setComment(data.comment);
    image->writeMetadata();

    Exiv2::BasicIo& io = image->io();
    if (io.open() != 0) throw std::runtime_error("the written metadata cannot be read back");
    const Exiv2::DataBuf written = io.read(static_cast<long>(io.size()));
    io.close();
    std::string out(reinterpret_cast<const char*>(written.pData_),
                    static_cast<std::size_t>(written.size_));

    Exiv2::Image::AutoPtr check = Exiv2::ImageFactory::open(
        reinterpret_cast<const Exiv2::byte*>(out.data()), static_cast<long>(out.size()));
    check->readMetadata();
    if ((!exif.empty() && check->exifData().empty()) || (!xmp.empty() && check->xmpData().empty()))
        throw std::runtime_error("the " + format + " output lost its metadata when written");
    return out;
}

// A PNG output: eXIf and the XMP as iTXt after the header, then the source's text chunks.
std::string WritePng(const Data& data, const Magick::Blob& blob)
{
    const auto* bytes = static_cast<const unsigned char*>(blob.data());
    const std::vector<PngChunk> chunks = PngChunks(bytes, blob.length());
    if (chunks.empty() || chunks.front().type != "IHDR" || chunks.front().length < 8)
        throw std::runtime_error("the PNG output has no header to put its metadata after");
    const long width = static_cast<long>(BigEndian32(bytes + chunks.front().at + 8));
    const long height = static_cast<long>(BigEndian32(bytes + chunks.front().at + 12));
    Exiv2::ExifData exif = data.exif;
    Exiv2::XmpData xmp = data.xmp;
    SetPixelSizes(exif, xmp, width, height);

    std::string added;
    if (const std::string tiff = EncodeExif(exif, data.byteOrder); !tiff.empty())
        added += MakePngChunk("eXIf", tiff);
    if (const std::string packet = EncodeXmp(xmp); !packet.empty()) {
        // Keyword, no compression, no language, no translated keyword.
        added += MakePngChunk("iTXt", std::string("XML:com.adobe.xmp\0\0\0\0\0", 22) + packet);
    }
    for (const std::string& chunk : data.pngText) added += chunk;

    const std::size_t afterHeader = chunks.front().at + chunks.front().Whole();
    std::string out(static_cast<const char*>(blob.data()), afterHeader);
    out += added;
    out.append(static_cast<const char*>(blob.data()) + afterHeader, blob.length() - afterHeader);
    return out;
}

// An AVIF or HEIC output: an Exif and an XMP item describing its primary picture.
std::string WriteHeif(const Data& data, const Magick::Blob& blob)
{
    long width = 0, height = 0;
    {
        const std::unique_ptr<heif_context, decltype(&heif_context_free)> context(
            heif_context_alloc(), heif_context_free);
        heif_image_handle* handle = nullptr;
        if (context &&
            heif_context_read_from_memory_without_copy(context.get(), blob.data(), blob.length(),
                                                       nullptr)
                    .code == heif_error_Ok &&
            heif_context_get_primary_image_handle(context.get(), &handle).code == heif_error_Ok) {
            width = heif_image_handle_get_width(handle);
            height = heif_image_handle_get_height(handle);
            heif_image_handle_release(handle);
        } else {
            throw std::runtime_error("the HEIF output does not read back");
        }
    }
    Exiv2::ExifData exif = data.exif;
    Exiv2::XmpData xmp = data.xmp;
    SetPixelSizes(exif, xmp, width, height);
    return heifitems::AddMetadata(std::string(static_cast<const char*>(blob.data()), blob.length()),
                                  EncodeExif(exif, data.byteOrder), EncodeXmp(xmp));
}

bool IsHeif(const unsigned char* bytes, std::size_t size)
{
    return size >= 12 && std::memcmp(bytes + 4, "ftyp", 4) == 0;
}

// A HEIF source's Exif and XMP items of its primary picture, read through libheif (exiv2 0.27
// finds none in files others wrote).
void ReadHeif(Data& data, const void* bytes, std::size_t size)
{
    const std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(),
                                                                              heif_context_free);
    if (!context) throw std::runtime_error("no memory for the HEIF reader");
    heif_error error =
        heif_context_read_from_memory_without_copy(context.get(), bytes, size, nullptr);
    if (error.code != heif_error_Ok) throw std::runtime_error(error.message);
    heif_image_handle* raw = nullptr;
    error = heif_context_get_primary_image_handle(context.get(), &raw);
    if (error.code != heif_error_Ok) throw std::runtime_error(error.message);
    const std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)> handle(
        raw, heif_image_handle_release);

    const int count = heif_image_handle_get_number_of_metadata_blocks(raw, nullptr);
    std::vector<heif_item_id> ids(static_cast<std::size_t>(std::max(0, count)));
    heif_image_handle_get_list_of_metadata_block_IDs(raw, nullptr, ids.data(), count);
    for (const heif_item_id id : ids) {
        const std::string type = heif_image_handle_get_metadata_type(raw, id);
        const char* contentType = heif_image_handle_get_metadata_content_type(raw, id);
        std::string block(heif_image_handle_get_metadata_size(raw, id), '\0');
        error = heif_image_handle_get_metadata(raw, id, block.data());
        if (error.code != heif_error_Ok) throw std::runtime_error(error.message);
        if (type == "Exif" && data.exif.empty() && block.size() >= 4) {
            // Four bytes give where the TIFF header starts behind them.
            const std::uint32_t offset =
                BigEndian32(reinterpret_cast<const unsigned char*>(block.data()));
            if (offset > block.size() - 4) throw std::runtime_error("an Exif item's offset");
            data.byteOrder = Exiv2::ExifParser::decode(
                data.exif, reinterpret_cast<const Exiv2::byte*>(block.data()) + 4 + offset,
                static_cast<uint32_t>(block.size() - 4 - offset));
        } else if (type == "mime" && contentType &&
                   std::strcmp(contentType, "application/rdf+xml") == 0 && data.xmp.empty()) {
            if (Exiv2::XmpParser::decode(data.xmp, block) != 0)
                throw std::runtime_error("the XMP item does not parse");
        }
    }
}

}  // namespace

ImageParams Kept::Room(const ImageParams& params) const
{
    ImageParams room = params;
    if (params.maxBytes > 0 && bytes_ > 0)
        room.maxBytes = std::max<qint64>(1, params.maxBytes - bytes_);
    return room;
}

Kept Read(const ImageParams& params, const void* bytes, std::size_t size, bool decoderTurns)
{
    Kept kept;
    if (!params.keepPhotoInfo || size == 0) return kept;
    const std::lock_guard lock(Exiv2Lock());
    StartExiv2();
    auto data = std::make_shared<Data>();
    try {
        if (IsHeif(static_cast<const unsigned char*>(bytes), size)) {
            ReadHeif(*data, bytes, size);
        } else {
            Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(
                static_cast<const Exiv2::byte*>(bytes), static_cast<long>(size));
            image->readMetadata();
            data->exif = image->exifData();
            data->xmp = image->xmpData();
            data->iptc = image->iptcData();
            data->comment = image->comment();
            if (image->byteOrder() != Exiv2::invalidByteOrder) data->byteOrder = image->byteOrder();
        }
    } catch (const std::exception& error) {
        DebugPrint(
            "keep-photo-info: the source's metadata cannot be read, the output is written "
            "without it: %s\n",
            error.what());
        return kept;
    }
    data->pngText = PngText(static_cast<const unsigned char*>(bytes), size);
    // libheif turns a HEIF picture by its own boxes, and any Exif orientation beside them is
    // only their copy.
    Filter(*data, params.keepLocation,
           decoderTurns || IsHeif(static_cast<const unsigned char*>(bytes), size));

    // What cannot be encoded again (a damaged block read in part) is left out here, so that a
    // write fails only for the output's sake.
    qint64 added = 0;
    try {
        added += static_cast<qint64>(EncodeExif(data->exif, data->byteOrder).size());
    } catch (const std::exception& error) {
        DebugPrint("keep-photo-info: the source's EXIF cannot be kept: %s\n", error.what());
        data->exif.clear();
    }
    try {
        added += static_cast<qint64>(EncodeXmp(data->xmp).size());
    } catch (const std::exception& error) {
        DebugPrint("keep-photo-info: the source's XMP cannot be kept: %s\n", error.what());
        data->xmp.clear();
    }
    try {
        added += static_cast<qint64>(Exiv2::IptcParser::encode(data->iptc).size_);
    } catch (const std::exception& error) {
        DebugPrint("keep-photo-info: the source's IPTC cannot be kept: %s\n", error.what());
        data->iptc.clear();
    }
    added += static_cast<qint64>(data->comment.size());
    for (const std::string& chunk : data->pngText) added += static_cast<qint64>(chunk.size());
    if (data->exif.empty() && data->xmp.empty() && data->iptc.empty() && data->comment.empty() &&
        data->pngText.empty())
        return kept;
    // The containers' own headers (segments, chunks, boxes, the XMP packet's wrapper).
    constexpr qint64 kContainers = 1024;
    kept.bytes_ = added + kContainers;
    kept.data_ = std::move(data);
    return kept;
}

void Write(const Kept& kept, const char* magick, Magick::Blob& blob)
{
    if (kept.Empty()) return;
    const std::string format = magick;
    const std::lock_guard lock(Exiv2Lock());
    StartExiv2();
    std::string out;
    try {
        if (format == "JPEG" || format == "WEBP" || format == "TIFF")
            out = WriteThroughExiv2(*kept.data_, format, blob);
        else if (format == "PNG")
            out = WritePng(*kept.data_, blob);
        else if (format == "AVIF" || format == "HEIC")
            out = WriteHeif(*kept.data_, blob);
        else
            return;  // GIF and BMP hold none of it
    } catch (const std::exception& error) {
        throw std::runtime_error("the photo information cannot be written into the " + format +
                                 " output: " + error.what());
    }
    blob.update(out.data(), out.size());
}

}  // namespace photoinfo
