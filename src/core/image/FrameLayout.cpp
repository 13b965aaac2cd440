// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/FrameLayout.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

namespace framelayout {

namespace {

void AddFrame(Layout& layout, std::size_t width, std::size_t height, std::size_t canvasWidth,
              std::size_t canvasHeight)
{
    if (layout.frames == 0) {
        layout.firstWidth = width;
        layout.firstHeight = height;
    }
    ++layout.frames;
    layout.storedPixels += 1ULL * width * height;
    layout.canvasPixels += 1ULL * canvasWidth * canvasHeight;
}

std::size_t Little24(const unsigned char* p)
{
    return std::size_t(p[0]) | std::size_t(p[1]) << 8 | std::size_t(p[2]) << 16;
}

std::size_t Little32(const unsigned char* p)
{
    return Little24(p) | std::size_t(p[3]) << 24;
}

}  // namespace

std::optional<Layout> ReadGif(const unsigned char* bytes, std::size_t size)
{
    const auto word = [bytes](std::size_t at) {
        return std::size_t(bytes[at] | bytes[at + 1] << 8);
    };
    if (size < 13) return std::nullopt;
    Layout layout;
    layout.screenWidth = word(6);
    layout.screenHeight = word(8);
    std::size_t at = 13;
    if (bytes[10] & 0x80) at += 3u << ((bytes[10] & 7) + 1);
    const auto skipSubBlocks = [&] {
        while (at < size && bytes[at] != 0) at += 1 + bytes[at];
        ++at;
    };
    while (at < size) {
        if (bytes[at] == 0x21 && at + 1 < size) {
            at += 2;
            skipSubBlocks();
        } else if (bytes[at] == 0x2C && at + 10 <= size) {
            const std::size_t left = word(at + 1), top = word(at + 3);
            const std::size_t width = word(at + 5), height = word(at + 7);
            const unsigned char flags = bytes[at + 9];
            at += 10;
            if (flags & 0x80) at += 3u << ((flags & 7) + 1);
            at += 1;  // the LZW code size
            skipSubBlocks();
            AddFrame(layout, width, height, std::max(layout.screenWidth, left + width),
                     std::max(layout.screenHeight, top + height));
        } else {
            break;
        }
    }
    return layout;
}

std::optional<Layout> ReadWebp(const unsigned char* bytes, std::size_t size)
{
    if (size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WEBP", 4) != 0)
        return std::nullopt;
    const std::size_t end = std::min(size, 8 + Little32(bytes + 4));
    Layout layout;
    bool animated = false;
    for (std::size_t at = 12; at + 8 <= end;) {
        const unsigned char* chunk = bytes + at;
        const std::size_t length = Little32(chunk + 4);
        if (length > end - at - 8) break;  // cut short: what came before still counts
        const unsigned char* data = chunk + 8;
        if (std::memcmp(chunk, "VP8X", 4) == 0 && length >= 10) {
            animated = (data[0] & 0x02) != 0;
            layout.screenWidth = Little24(data + 4) + 1;
            layout.screenHeight = Little24(data + 7) + 1;
        } else if (std::memcmp(chunk, "ANMF", 4) == 0 && length >= 16) {
            AddFrame(layout, Little24(data + 6) + 1, Little24(data + 9) + 1, layout.screenWidth,
                     layout.screenHeight);
        }
        at += 8 + length + (length & 1);
    }
    if (!animated || layout.frames == 0) {
        layout.frames = 0;
        layout.storedPixels = layout.canvasPixels = 0;
        AddFrame(layout, layout.screenWidth, layout.screenHeight, layout.screenWidth,
                 layout.screenHeight);
    }
    return layout;
}

std::optional<Layout> ReadTiff(const unsigned char* bytes, std::size_t size)
{
    if (size < 8) return std::nullopt;
    const bool little = bytes[0] == 'I' && bytes[1] == 'I';
    if (!little && !(bytes[0] == 'M' && bytes[1] == 'M')) return std::nullopt;
    const auto u16 = [&](std::size_t at) {
        return little ? std::size_t(bytes[at] | bytes[at + 1] << 8)
                      : std::size_t(bytes[at] << 8 | bytes[at + 1]);
    };
    const auto u32 = [&](std::size_t at) {
        return little ? (u16(at) | u16(at + 2) << 16) : (u16(at) << 16 | u16(at + 2));
    };
    if (u16(2) != 42) return std::nullopt;

    Layout layout;
    std::set<std::size_t> seen;
    for (std::size_t ifd = u32(4); ifd != 0 && ifd + 2 <= size && seen.insert(ifd).second;) {
        const std::size_t entries = u16(ifd);
        if (ifd + 2 + 12 * entries + 4 > size) break;
        std::size_t width = 0, height = 0;
        for (std::size_t i = 0; i < entries; ++i) {
            const std::size_t entry = ifd + 2 + 12 * i;
            const std::size_t tag = u16(entry), type = u16(entry + 2);
            // SHORT values sit in the first two bytes of the value field, LONG ones fill it.
            const std::size_t value = type == 3 ? u16(entry + 8) : type == 4 ? u32(entry + 8) : 0;
            if (tag == 256) width = value;
            if (tag == 257) height = value;
        }
        AddFrame(layout, width, height, width, height);
        ifd = u32(ifd + 2 + 12 * entries);
    }
    if (layout.frames == 0) return std::nullopt;
    layout.screenWidth = layout.firstWidth;
    layout.screenHeight = layout.firstHeight;
    return layout;
}

std::optional<Layout> ReadHeif(const unsigned char* bytes, std::size_t size)
{
    const std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(),
                                                                              heif_context_free);
    if (!context ||
        heif_context_read_from_memory_without_copy(context.get(), bytes, size, nullptr).code !=
            heif_error_Ok)
        return std::nullopt;
    const int count = heif_context_get_number_of_top_level_images(context.get());
    if (count <= 0) return std::nullopt;
    std::vector<heif_item_id> ids(static_cast<std::size_t>(count));
    const int listed =
        heif_context_get_list_of_top_level_image_IDs(context.get(), ids.data(), count);
    ids.resize(static_cast<std::size_t>(std::max(listed, 0)));
    heif_item_id primary = 0;
    if (heif_context_get_primary_image_ID(context.get(), &primary).code == heif_error_Ok) {
        const auto found = std::find(ids.begin(), ids.end(), primary);
        if (found != ids.end()) std::rotate(ids.begin(), found, found + 1);
    }
    Layout layout;
    for (const heif_item_id id : ids) {
        heif_image_handle* raw = nullptr;
        std::size_t width = 0, height = 0;
        if (heif_context_get_image_handle(context.get(), id, &raw).code == heif_error_Ok) {
            width = static_cast<std::size_t>(std::max(heif_image_handle_get_width(raw), 0));
            height = static_cast<std::size_t>(std::max(heif_image_handle_get_height(raw), 0));
            heif_image_handle_release(raw);
        }
        AddFrame(layout, width, height, width, height);
    }
    // An image counted but not listed still counts: it would be lost all the same.
    layout.frames = std::max(layout.frames, static_cast<std::size_t>(count));
    layout.screenWidth = layout.firstWidth;
    layout.screenHeight = layout.firstHeight;
    return layout;
}

std::optional<Layout> Read(const std::string& magick, const unsigned char* bytes, std::size_t size)
{
    if (magick == "GIF") return ReadGif(bytes, size);
    if (magick == "WEBP") return ReadWebp(bytes, size);
    if (magick == "TIFF") return ReadTiff(bytes, size);
    if (magick == "HEIC" || magick == "AVIF") return ReadHeif(bytes, size);
    return std::nullopt;
}

}  // namespace framelayout
