#include "core/image/PalettePng.h"

#include "core/image/ImageAbort.h"

#include <libimagequant.h>
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

void AppendBig(std::string& out, std::uint32_t value)
{
    const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    out.append(bytes, 4);
}

void AppendChunk(std::string& out, const char* type, const char* data, std::size_t size)
{
    AppendBig(out, static_cast<std::uint32_t>(size));
    const std::size_t start = out.size();
    out.append(type, 4);
    out.append(data, size);
    const uLong crc =
        crc32(0L, reinterpret_cast<const Bytef*>(out.data() + start), static_cast<uInt>(size + 4));
    AppendBig(out, static_cast<std::uint32_t>(crc));
}

// The zlib stream of data at level 9 with the given memory level and strategy.
std::string Deflate(const std::string& data, int memLevel, int strategy)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15, memLevel, strategy) != Z_OK)
        throw std::runtime_error("zlib cannot start");
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    // Fed in pieces, so that a run asked to stop does not wait for a large image to be packed
    // (zlib writes the same stream however its input is cut).
    constexpr std::size_t kPiece = 1u << 20;
    int status = Z_OK;
    for (std::size_t at = 0; status == Z_OK;) {
        if (imageabort::Requested()) {
            deflateEnd(&stream);
            throw imageabort::Aborted();
        }
        const std::size_t piece = std::min(kPiece, data.size() - at);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + at));
        stream.avail_in = static_cast<uInt>(piece);
        at += piece;
        status = deflate(&stream, at == data.size() ? Z_FINISH : Z_NO_FLUSH);
        if (status == Z_BUF_ERROR) break;
    }
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END) throw std::runtime_error("zlib cannot compress");
    return out;
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
    std::string plte, trns;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Rgba& c = image.palette[std::size_t(order[i])];
        newIndex[order[i]] = std::uint8_t(i);
        plte.append({char(c[0]), char(c[1]), char(c[2])});
        if (c[3] != 255) trns.push_back(char(c[3]));
    }

    const std::size_t colours = image.palette.size();
    const int depth = colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8;
    const std::size_t perByte = 8 / std::size_t(depth);
    const std::size_t rowBytes = (std::size_t(image.width) + perByte - 1) / perByte;
    std::string raw;
    raw.reserve((rowBytes + 1) * std::size_t(image.height));
    for (int y = 0; y < image.height; ++y) {
        raw.push_back('\0');  // filter type none
        const std::uint8_t* row = image.indices.data() + std::size_t(y) * std::size_t(image.width);
        if (depth == 8) {
            for (int x = 0; x < image.width; ++x) raw.push_back(char(newIndex[row[x]]));
            continue;
        }
        for (std::size_t byte = 0; byte < rowBytes; ++byte) {
            unsigned packed = 0;
            for (std::size_t k = 0; k < perByte; ++k) {
                const std::size_t x = byte * perByte + k;
                const unsigned value = x < std::size_t(image.width) ? newIndex[row[x]] : 0;
                packed |= value << (8 - depth * int(k + 1));
            }
            raw.push_back(char(packed));
        }
    }

    // The zlib memory level decides how far back matches are sought; which one packs tightest
    // depends on the image, by up to a few percent. Each is tried on the whole of a small image,
    // and on a slice from the middle of a large one, which is then packed with the winner.
    constexpr std::size_t kWholeTrial = 4u << 20, kSlice = 1u << 20;
    const bool whole = raw.size() <= kWholeTrial;
    const std::string slice =
        whole ? std::string() : raw.substr(raw.size() / 2 - kSlice / 2, kSlice);
    std::string idat;
    std::size_t bestTrial = 0;
    int bestLevel = 9;
    for (int memLevel = 5; memLevel <= 9; ++memLevel) {
        std::string trial = Deflate(whole ? raw : slice, memLevel, Z_DEFAULT_STRATEGY);
        if (bestTrial == 0 || trial.size() < bestTrial) {
            bestTrial = trial.size();
            bestLevel = memLevel;
            if (whole) idat.swap(trial);
        }
    }
    if (!whole) idat = Deflate(raw, bestLevel, Z_DEFAULT_STRATEGY);

    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string ihdr;
    AppendBig(ihdr, std::uint32_t(image.width));
    AppendBig(ihdr, std::uint32_t(image.height));
    ihdr.append({char(depth), char(3), char(0), char(0), char(0)});  // indexed, no interlace
    AppendChunk(png, "IHDR", ihdr.data(), ihdr.size());
    if (!iccProfile.empty()) {
        std::string iccp("icc");
        iccp.append({'\0', '\0'});  // name end, zlib compression
        iccp += Deflate(iccProfile, 9, Z_DEFAULT_STRATEGY);
        AppendChunk(png, "iCCP", iccp.data(), iccp.size());
    }
    AppendChunk(png, "PLTE", plte.data(), plte.size());
    if (!trns.empty()) AppendChunk(png, "tRNS", trns.data(), trns.size());
    constexpr std::size_t kMaxChunk = 0x7FFFFFFFu;
    for (std::size_t at = 0; at < idat.size(); at += kMaxChunk)
        AppendChunk(png, "IDAT", idat.data() + at, std::min(kMaxChunk, idat.size() - at));
    AppendChunk(png, "IEND", "", 0);
    return png;
}

}  // namespace palettepng
