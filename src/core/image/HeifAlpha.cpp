// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/HeifAlpha.h"

#include <libheif/heif.h>

#include <cstring>
#include <memory>
#include <stdexcept>

namespace heifalpha {

namespace {

void Check(const heif_error& error, const char* step)
{
    if (error.code != heif_error_Ok)
        throw std::runtime_error(std::string("HEIF encoder, ") + step + ": " + error.message);
}

heif_error Append(heif_context*, const void* data, size_t size, void* out)
{
    static_cast<std::string*>(out)->append(static_cast<const char*>(data), size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

}  // namespace

std::string Encode(const std::uint8_t* rgba, int width, int height, bool av1, int quality)
{
    const std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(),
                                                                              heif_context_free);
    if (!context) throw std::runtime_error("HEIF encoder: no memory for its context");

    heif_image* raw = nullptr;
    Check(heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, &raw),
          "image");
    const std::unique_ptr<heif_image, decltype(&heif_image_release)> image(raw, heif_image_release);
    Check(heif_image_add_plane(raw, heif_channel_interleaved, width, height, 8), "plane");
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(raw, heif_channel_interleaved, &stride);
    const std::size_t row = std::size_t(width) * 4;
    for (int y = 0; y < height; ++y)
        std::memcpy(plane + std::size_t(y) * std::size_t(stride), rgba + std::size_t(y) * row, row);

    heif_encoder* rawEncoder = nullptr;
    Check(heif_context_get_encoder_for_format(
              context.get(), av1 ? heif_compression_AV1 : heif_compression_HEVC, &rawEncoder),
          "no encoder");
    const std::unique_ptr<heif_encoder, decltype(&heif_encoder_release)> encoder(
        rawEncoder, heif_encoder_release);
    Check(heif_encoder_set_lossy_quality(rawEncoder, quality), "quality");
    Check(heif_context_encode_image(context.get(), raw, rawEncoder, nullptr, nullptr), "encode");

    std::string out;
    heif_writer writer{};
    writer.writer_api_version = 1;
    writer.write = &Append;
    Check(heif_context_write(context.get(), &writer, &out), "write");
    return out;
}

}  // namespace heifalpha
