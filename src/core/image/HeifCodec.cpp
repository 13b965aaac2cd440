// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/HeifCodec.h"

#include <libheif/heif.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/image/ColourProfile.h"
#include "core/image/ImageAbort.h"

namespace heifcodec {

namespace {

struct Pixels {
    const std::uint8_t* data = nullptr;  // 8-bit RGB or RGBA (not premultiplied), rows packed
    int width = 0;
    int height = 0;
    bool alpha = false;  // RGBA when true
};

// what: "encoder" or "decoder".
void Check(const heif_error& error, const char* what, const char* step)
{
    if (error.code != heif_error_Ok)
        throw std::runtime_error(std::string("HEIF ") + what + ", " + step + ": " + error.message);
}

heif_error Append(heif_context*, const void* data, size_t size, void* out)
{
    static_cast<std::string*>(out)->append(static_cast<const char*>(data), size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

// Encodes that were left running when their run was stopped: libheif cannot stop an encode,
// so a stopped run leaves it to finish on its own thread. The process waits for them before its
// libraries' static data is destroyed at exit.
struct Abandoned {
    std::mutex mutex;
    std::condition_variable ended;
    int running = 0;
};

Abandoned& AbandonedEncodes()
{
    static Abandoned* abandoned = [] {
        auto* made = new Abandoned;  // never destroyed: the exit handler and the encodes use it
        std::atexit([] {
            Abandoned& a = AbandonedEncodes();
            std::unique_lock lock(a.mutex);
            a.ended.wait(lock, [&a] { return a.running == 0; });
        });
        return made;
    }();
    return *abandoned;
}

std::string EncodeNow(const Pixels& pixels, bool av1, int quality, const std::string& icc);

std::size_t PixelBytes(const Pixels& pixels)
{
    return std::size_t(pixels.width) * std::size_t(pixels.height) * (pixels.alpha ? 4 : 3);
}

// A run that can be stopped encodes on a thread of its own, which owns the pixels (data, the
// packed rows pixels describes), and is waited for in short steps: a stop ends the wait at
// once.
std::string EncodeStoppable(const std::stop_token& token, std::vector<std::uint8_t> data,
                            Pixels pixels, bool av1, int quality, const std::string& icc)
{
    imageabort::ThrowIfRequested();
    struct Job {
        std::vector<std::uint8_t> data;
        Pixels pixels;
        std::string icc, out, error;
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false, abandoned = false;
    };
    auto job = std::make_shared<Job>();
    job->data = std::move(data);
    job->pixels = pixels;
    job->pixels.data = job->data.data();
    job->icc = icc;
    AbandonedEncodes();  // its exit handler is in place before any encode can be left running
    std::thread([job, av1, quality] {
        std::string out, error;
        try {
            out = EncodeNow(job->pixels, av1, quality, job->icc);
        } catch (const std::exception& e) {
            error = e.what();
        }
        std::lock_guard lock(job->mutex);
        job->out = std::move(out);
        job->error = std::move(error);
        job->done = true;
        job->finished.notify_all();
        if (job->abandoned) {
            Abandoned& a = AbandonedEncodes();
            std::lock_guard count(a.mutex);
            --a.running;
            a.ended.notify_all();
        }
    }).detach();

    std::unique_lock lock(job->mutex);
    while (
        !job->finished.wait_for(lock, std::chrono::milliseconds(50), [&] { return job->done; })) {
        if (token.stop_requested()) {
            job->abandoned = true;
            Abandoned& a = AbandonedEncodes();
            std::lock_guard count(a.mutex);
            ++a.running;
            throw imageabort::Aborted();
        }
    }
    if (!job->error.empty()) throw std::runtime_error(job->error);
    return std::move(job->out);
}

std::string EncodeNow(const Pixels& pixels, bool av1, int quality, const std::string& icc)
{
    if (!pixels.data || pixels.width <= 0 || pixels.height <= 0)
        throw std::runtime_error("HEIF encoder: no pixels");
    const std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(),
                                                                              heif_context_free);
    if (!context) throw std::runtime_error("HEIF encoder: no memory for its context");

    heif_image* raw = nullptr;
    Check(heif_image_create(
              pixels.width, pixels.height, heif_colorspace_RGB,
              pixels.alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &raw),
          "encoder", "image");
    const std::unique_ptr<heif_image, decltype(&heif_image_release)> image(raw, heif_image_release);
    Check(heif_image_add_plane(raw, heif_channel_interleaved, pixels.width, pixels.height, 8),
          "encoder", "plane");
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(raw, heif_channel_interleaved, &stride);
    const std::size_t row = std::size_t(pixels.width) * (pixels.alpha ? 4 : 3);
    for (int y = 0; y < pixels.height; ++y)
        std::memcpy(plane + std::size_t(y) * std::size_t(stride),
                    pixels.data + std::size_t(y) * row, row);
    if (!icc.empty())
        Check(heif_image_set_raw_color_profile(raw, "prof", icc.data(), icc.size()), "encoder",
              "profile");

    heif_encoder* rawEncoder = nullptr;
    Check(heif_context_get_encoder_for_format(
              context.get(), av1 ? heif_compression_AV1 : heif_compression_HEVC, &rawEncoder),
          "encoder", "no encoder");
    const std::unique_ptr<heif_encoder, decltype(&heif_encoder_release)> encoder(
        rawEncoder, heif_encoder_release);
    Check(heif_encoder_set_lossy_quality(rawEncoder, quality), "encoder", "quality");
    Check(heif_context_encode_image(context.get(), raw, rawEncoder, nullptr, nullptr), "encoder",
          "encode");

    std::string out;
    heif_writer writer{};
    writer.writer_api_version = 1;
    writer.write = &Append;
    Check(heif_context_write(context.get(), &writer, &out), "encoder", "write");
    return out;
}

}  // namespace

std::string EncodeImage(const Magick::Image& picture, bool av1, int quality)
{
    // Pixels are handed over as RGB: a CMYK or other image is converted first (a copy shares
    // its pixels until then).
    Magick::Image image(picture);
    colourprofile::ToRgbSpace(image);
    Pixels pixels;
    pixels.width = static_cast<int>(image.columns());
    pixels.height = static_cast<int>(image.rows());
    pixels.alpha = image.matte();
    std::vector<std::uint8_t> data(PixelBytes(pixels));
    image.write(0, 0, pixels.width, pixels.height, pixels.alpha ? "RGBA" : "RGB", Magick::CharPixel,
                data.data());
    pixels.data = data.data();

    // A profile that could not be converted to sRGB goes with the pixels.
    std::string icc;
    const Magick::Blob profile = image.iccColorProfile();
    if (profile.length() > 0) {
        icc.assign(static_cast<const char*>(profile.data()), profile.length());
        if (!colourprofile::IsRgb(icc)) icc.clear();
    }
    // The packed pixels go to a stoppable encode whole, not copied again.
    const std::stop_token* token = imageabort::Token();
    if (token && token->stop_possible())
        return EncodeStoppable(*token, std::move(data), pixels, av1, quality, icc);
    return EncodeNow(pixels, av1, quality, icc);
}

Magick::Image DecodeImage(const void* data, std::size_t size)
{
    const std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(),
                                                                              heif_context_free);
    if (!context) throw std::runtime_error("HEIF decoder: no memory for its context");
    Check(heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr), "decoder",
          "read");
    heif_image_handle* rawHandle = nullptr;
    Check(heif_context_get_primary_image_handle(context.get(), &rawHandle), "decoder",
          "primary picture");
    const std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)> handle(
        rawHandle, heif_image_handle_release);
    const bool alpha = heif_image_handle_has_alpha_channel(rawHandle) != 0;
    heif_image* raw = nullptr;
    Check(heif_decode_image(rawHandle, &raw, heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                            nullptr),
          "decoder", "decode");
    const std::unique_ptr<heif_image, decltype(&heif_image_release)> image(raw, heif_image_release);
    const int width = heif_image_get_width(raw, heif_channel_interleaved);
    const int height = heif_image_get_height(raw, heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* plane =
        heif_image_get_plane_readonly(raw, heif_channel_interleaved, &stride);
    if (!plane || width <= 0 || height <= 0) throw std::runtime_error("HEIF decoder: no pixels");
    const std::size_t row = std::size_t(width) * (alpha ? 4 : 3);
    std::vector<std::uint8_t> packed(row * std::size_t(height));
    for (int y = 0; y < height; ++y)
        std::memcpy(packed.data() + std::size_t(y) * row,
                    plane + std::size_t(y) * std::size_t(stride), row);
    return Magick::Image(std::size_t(width), std::size_t(height), alpha ? "RGBA" : "RGB",
                         Magick::CharPixel, packed.data());
}

}  // namespace heifcodec
