// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/PalettePng.h"

#include "core/image/ImageAbort.h"

#include <libimagequant.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <unordered_map>

namespace palettepng {

namespace {

std::uint32_t Key(const std::uint8_t* pixel)
{
    // Every fully transparent pixel is the same colour: what lies under it is never seen.
    if (pixel[3] == 0) return 0;
    return std::uint32_t(pixel[0]) << 24 | std::uint32_t(pixel[1]) << 16 |
           std::uint32_t(pixel[2]) << 8 | pixel[3];
}

struct LiqAttr {
    liq_attr* p = liq_attr_create();
    ~LiqAttr()
    {
        if (p) liq_attr_destroy(p);
    }
};
struct LiqImage {
    liq_image* p = nullptr;
    ~LiqImage()
    {
        if (p) liq_image_destroy(p);
    }
};
struct LiqResult {
    liq_result* p = nullptr;
    ~LiqResult()
    {
        if (p) liq_result_destroy(p);
    }
};

// Where libpng writes: the file in memory.
void AppendToString(png_structp png, png_bytep data, png_size_t size)
{
    static_cast<std::string*>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char*>(data), size);
}
void NoFlush(png_structp) {}

// libpng reports an error by calling this, which must not return: it jumps back to the
// setjmp of the encode with the message kept.
[[noreturn]] void OnPngError(png_structp png, png_const_charp message)
{
    auto* error = static_cast<std::string*>(png_get_error_ptr(png));
    if (error) *error = message ? message : "unknown error";
    png_longjmp(png, 1);
}
void OnPngWarning(png_structp, png_const_charp) {}

// The rows of an indexed image, one palette index per byte (libpng packs them to the depth).
struct Rows {
    const std::uint8_t* first;  // row 0 of the part written
    int width;
    int height;
};

enum class Packed { Done, Stopped, Failed };

// One PNG of rows with the given palette at zlib level 9 and memory level memLevel, into out.
// No C++ object that needs destroying lives between the setjmp and libpng's calls, so the
// error jump skips nothing. Stopped when the run was asked to stop between rows.
Packed WritePng(const Rows& rows, int depth, const std::vector<png_color>& plte,
                const std::vector<png_byte>& trns, const std::string& iccProfile, int memLevel,
                std::string& out, std::string& error)
{
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, &OnPngError, &OnPngWarning);
    if (!png) {
        error = "libpng cannot start";
        return Packed::Failed;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        error = "libpng cannot start";
        return Packed::Failed;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return Packed::Failed;
    }
    png_set_write_fn(png, &out, &AppendToString, &NoFlush);
    // A profile libpng finds fault with is left out with a warning, not a failed image.
    png_set_benign_errors(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 9);
    png_set_compression_mem_level(png, memLevel);
    png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
    // Large IDAT chunks: less overhead than libpng's default of 8 KiB each.
    png_set_compression_buffer_size(png, 1u << 20);
    png_set_IHDR(png, info, png_uint_32(rows.width), png_uint_32(rows.height), depth,
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    png_set_PLTE(png, info, plte.data(), int(plte.size()));
    if (!trns.empty()) png_set_tRNS(png, info, trns.data(), int(trns.size()), nullptr);
    if (!iccProfile.empty())
        png_set_iCCP(png, info, "icc", PNG_COMPRESSION_TYPE_BASE,
                     reinterpret_cast<png_const_bytep>(iccProfile.data()),
                     png_uint_32(iccProfile.size()));
    png_write_info(png, info);
    if (depth < 8) png_set_packing(png);
    // Rows one at a time, so that a run asked to stop does not wait for a large image.
    constexpr int kRowsBetweenChecks = 64;
    for (int y = 0; y < rows.height; ++y) {
        if (y % kRowsBetweenChecks == 0 && imageabort::Requested()) {
            png_destroy_write_struct(&png, &info);
            return Packed::Stopped;
        }
        png_write_row(png, rows.first + std::size_t(y) * std::size_t(rows.width));
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return Packed::Done;
}

// WritePng, throwing for a stop (imageabort::Aborted) and for a failure.
std::string PackPng(const Rows& rows, int depth, const std::vector<png_color>& plte,
                    const std::vector<png_byte>& trns, const std::string& iccProfile, int memLevel)
{
    std::string out;
    std::string error;
    switch (WritePng(rows, depth, plte, trns, iccProfile, memLevel, out, error)) {
        case Packed::Done:
            return out;
        case Packed::Stopped:
            throw imageabort::Aborted();
        case Packed::Failed:
            break;
    }
    throw std::runtime_error("cannot encode the PNG: " + error);
}

// The quantiser's progress callback: 0 (stop) once the run has been asked to stop. Its data is
// the run's stop token, as it may be called on the quantiser's worker threads.
int KeepQuantising(float, void* stop)
{
    return imageabort::RequestedFor(stop) ? 0 : 1;
}

void* StopData()
{
    return const_cast<std::stop_token*>(imageabort::Token());
}

}  // namespace

PaletteImage ExactPalette(const std::uint8_t* rgba, int width, int height, int maxColours)
{
    PaletteImage image;
    image.width = width;
    image.height = height;
    const std::size_t count = std::size_t(width) * std::size_t(height);
    std::unordered_map<std::uint32_t, std::uint8_t> index;
    index.reserve(std::size_t(maxColours) * 2);
    image.indices.resize(count);
    std::uint32_t lastKey = 0;
    std::uint8_t lastIndex = 0;
    bool haveLast = false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t key = Key(rgba + 4 * i);
        if (!haveLast || key != lastKey) {
            auto found = index.find(key);
            if (found == index.end()) {
                if (int(index.size()) >= maxColours) return PaletteImage{width, height, {}, {}};
                found = index.emplace(key, std::uint8_t(index.size())).first;
                image.palette.push_back(Rgba{std::uint8_t(key >> 24), std::uint8_t(key >> 16),
                                             std::uint8_t(key >> 8), std::uint8_t(key)});
            }
            lastKey = key;
            lastIndex = found->second;
            haveLast = true;
        }
        image.indices[i] = lastIndex;
    }
    return image;
}

Quantiser::Quantiser(const std::uint8_t* rgba, int width, int height, int speed)
    : rgba_(rgba), width_(width), height_(height), speed_(std::clamp(speed, 1, 10))
{
}

PaletteImage Quantiser::Reduce(const QuantiseOptions& options)
{
    const int maxColours = std::clamp(options.maxColours, 2, 256);
    if (distinct_ < 0) {
        const PaletteImage exact = ExactPalette(rgba_, width_, height_, 256);
        distinct_ = exact.palette.empty() ? 257 : int(exact.palette.size());
    }
    if (distinct_ <= maxColours) return ExactPalette(rgba_, width_, height_, maxColours);

    // The quantiser's histogram serves one palette only, so each reduction starts afresh.
    LiqAttr attr;
    if (!attr.p) throw std::runtime_error("the colour quantiser cannot start");
    liq_set_speed(attr.p, speed_);
    liq_set_max_colors(attr.p, maxColours);
    liq_set_quality(attr.p, 0, std::clamp(options.targetQuality, 0, 100));
    liq_attr_set_progress_callback(attr.p, KeepQuantising, StopData());
    LiqImage input;
    input.p = liq_image_create_rgba(attr.p, rgba_, width_, height_, 0);
    if (!input.p) throw std::runtime_error("the colour quantiser cannot take the image");
    LiqResult result;
    if (liq_image_quantize(input.p, attr.p, &result.p) != LIQ_OK) {
        imageabort::ThrowIfRequested();
        throw std::runtime_error("the colour quantiser failed");
    }
    liq_set_dithering_level(result.p, std::clamp(options.dithering, 0.0f, 1.0f));
    liq_result_set_progress_callback(result.p, KeepQuantising, StopData());

    PaletteImage image;
    image.width = width_;
    image.height = height_;
    image.indices.resize(std::size_t(width_) * std::size_t(height_));
    if (liq_write_remapped_image(result.p, input.p, image.indices.data(), image.indices.size()) !=
        LIQ_OK) {
        imageabort::ThrowIfRequested();
        throw std::runtime_error("the colour quantiser cannot remap the image");
    }
    imageabort::ThrowIfRequested();
    // Read after remapping, which refines the palette.
    const liq_palette* palette = liq_get_palette(result.p);
    for (unsigned i = 0; i < palette->count; ++i) {
        const liq_color& c = palette->entries[i];
        image.palette.push_back(Rgba{c.r, c.g, c.b, c.a});
    }
    return image;
}

PaletteImage Quantise(const std::uint8_t* rgba, int width, int height,
                      const QuantiseOptions& options)
{
    return Quantiser(rgba, width, height, options.speed).Reduce(options);
}

int QualityAt(const std::uint8_t* rgba, int width, int height, int maxColours)
{
    LiqAttr attr;
    if (!attr.p) return -1;
    liq_set_max_colors(attr.p, std::clamp(maxColours, 2, 256));
    LiqImage input;
    input.p = liq_image_create_rgba(attr.p, rgba, width, height, 0);
    LiqResult result;
    if (!input.p || liq_image_quantize(input.p, attr.p, &result.p) != LIQ_OK) return -1;
    return liq_get_quantization_quality(result.p);
}

std::string EncodePng(const PaletteImage& image, const std::string& iccProfile)
{
    if (image.palette.empty() || image.palette.size() > 256 || image.width <= 0 ||
        image.height <= 0 ||
        image.indices.size() != std::size_t(image.width) * std::size_t(image.height))
        throw std::invalid_argument("not a palette image");

    // Entries that are not opaque first: the transparency chunk lists alphas up to the last of
    // them.
    std::vector<int> order(image.palette.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_partition(order.begin(), order.end(),
                          [&](int i) { return image.palette[std::size_t(i)][3] != 255; });
    std::uint8_t newIndex[256] = {};
    std::vector<png_color> plte;
    std::vector<png_byte> trns;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Rgba& c = image.palette[std::size_t(order[i])];
        newIndex[order[i]] = std::uint8_t(i);
        plte.push_back(png_color{c[0], c[1], c[2]});
        if (c[3] != 255) trns.push_back(c[3]);
    }

    const std::size_t colours = image.palette.size();
    const int depth = colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8;
    std::vector<std::uint8_t> indices(image.indices.size());
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = newIndex[image.indices[i]];

    // The zlib memory level decides how far back matches are sought; which one packs tightest
    // depends on the image, by up to a few percent. Each is tried on the whole of a small image,
    // and on a band of rows from the middle of a large one, which is then packed with the winner.
    constexpr std::size_t kWholeTrial = 4u << 20, kSlice = 1u << 20;
    const std::size_t width = std::size_t(image.width);
    const Rows all{indices.data(), image.width, image.height};
    const bool whole = indices.size() <= kWholeTrial;
    const int bandHeight = int(std::clamp<std::size_t>(kSlice / width, 1, all.height));
    const Rows band{indices.data() + std::size_t((image.height - bandHeight) / 2) * width,
                    image.width, bandHeight};
    std::string best;
    std::size_t bestTrial = 0;
    int bestLevel = 9;
    for (int memLevel = 5; memLevel <= 9; ++memLevel) {
        std::string trial =
            PackPng(whole ? all : band, depth, plte, trns, whole ? iccProfile : "", memLevel);
        if (bestTrial == 0 || trial.size() < bestTrial) {
            bestTrial = trial.size();
            bestLevel = memLevel;
            if (whole) best.swap(trial);
        }
    }
    if (!whole) best = PackPng(all, depth, plte, trns, iccProfile, bestLevel);
    return best;
}

}  // namespace palettepng
