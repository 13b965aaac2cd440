// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/ImagePipeline.h"

#include "core/app/FileDates.h"
#include "core/app/OutputPlace.h"
#include "core/app/OwnFiles.h"
#include "core/app/TextUtil.h"
#include "core/image/ColourProfile.h"
#include "core/image/FrameLayout.h"
#include "core/image/HeifCodec.h"
#include "core/image/ImageAbort.h"
#include "core/image/OutputFile.h"
#include "core/image/PalettePng.h"
#include "core/image/PhotoInfo.h"
#include "core/image/SourceQuality.h"
#include "core/intake/MediaScan.h"
#include "core/search/ImageLook.h"

#include <Magick++.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

// A failure whose words were printed where it was caught.
class ReportedFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Report(const char* words, const std::exception& error)
{
    DebugPrint("%s%s\n", words, error.what());
    throw ReportedFailure(error.what());
}

// The image library's progress monitor: false, which makes the library give up the operation,
// once the run has been asked to stop.
// It may be called on the library's worker threads: the run's stop token comes as its data.
MagickCore::MagickBooleanType KeepWorking(const char*, const MagickCore::MagickOffsetType,
                                          const MagickCore::MagickSizeType, void* stop)
{
    return imageabort::RequestedFor(stop) ? MagickCore::MagickFalse : MagickCore::MagickTrue;
}

// Images read with these options report their progress to KeepWorking, and so do their copies
// and whatever is made of them.
void Watch(MagickCore::ImageInfo* info)
{
    MagickCore::SetImageInfoProgressMonitor(info, KeepWorking,
                                            const_cast<std::stop_token*>(imageabort::Token()));
}

std::string ErrnoText(const char* what, const QString& path, int error)
{
    return std::string(what) + " " + path.toStdString() + ": " + std::strerror(error);
}

// A source file read into memory, with the format its first bytes announce.
struct Source {
    QString path;
    Magick::Blob blob;
    qint64 size = 0;
    std::string magick;
};

std::string FormatOf(const unsigned char* bytes, std::size_t size)
{
    const auto starts = [&](const char* magic, std::size_t length) {
        return size >= length && std::memcmp(bytes, magic, length) == 0;
    };
    if (starts("\xFF\xD8\xFF", 3)) return "JPEG";
    if (starts("\x89PNG\r\n\x1A\n", 8)) return "PNG";
    if (starts("GIF87a", 6) || starts("GIF89a", 6)) return "GIF";
    if (starts("BM", 2)) return "BMP";
    if (size >= 12 && std::memcmp(bytes, "RIFF", 4) == 0 && std::memcmp(bytes + 8, "WEBP", 4) == 0)
        return "WEBP";
    if (starts("II*\0", 4) || starts("MM\0*", 4)) return "TIFF";
    // The HEIF family opens with its "ftyp" box: a major brand and compatible brands. An AV1
    // picture names "avif" among them; the others are HEVC pictures.
    if (size >= 16 && std::memcmp(bytes + 4, "ftyp", 4) == 0) {
        const std::size_t box =
            std::min<std::size_t>(size, std::size_t(bytes[0]) << 24 | std::size_t(bytes[1]) << 16 |
                                            std::size_t(bytes[2]) << 8 | bytes[3]);
        bool heif = false, av1 = false;
        for (std::size_t at = 8; at + 4 <= box; at += 4) {
            const std::string brand(reinterpret_cast<const char*>(bytes + at), 4);
            if (brand == "avif" || brand == "avis") av1 = true;
            if (brand == "heic" || brand == "heix" || brand == "heim" || brand == "heis" ||
                brand == "hevc" || brand == "hevx" || brand == "mif1" || brand == "msf1")
                heif = true;
        }
        if (av1) return "AVIF";
        if (heif) return "HEIC";
    }
    return {};
}

Source ReadSource(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    // Never blocks: a named pipe put in the file's place is refused below, not waited on.
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) throw std::runtime_error(ErrnoText("cannot open", path, errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    struct stat info;
    if (::fstat(fd, &info) != 0) throw std::runtime_error(ErrnoText("cannot stat", path, errno));
    if (!S_ISREG(info.st_mode)) throw std::runtime_error(path.toStdString() + ": not a file");
    if (static_cast<unsigned long long>(info.st_size) > ImagePipeline::MemoryLimit())
        throw std::runtime_error(path.toStdString() + ": too large for the memory limit");

    const std::size_t capacity = static_cast<std::size_t>(info.st_size);
    auto* buffer = new unsigned char[capacity > 0 ? capacity : 1];
    Magick::Blob blob;
    std::size_t length = 0;
    while (length < capacity) {
        const ssize_t got = ::read(fd, buffer + length, capacity - length);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            const int error = errno;
            delete[] buffer;
            throw std::runtime_error(ErrnoText("cannot read", path, error));
        }
        if (got == 0) break;  // the file shrank while we read it
        length += static_cast<std::size_t>(got);
    }
    Source source;
    source.path = path;
    source.magick = FormatOf(buffer, length);
    source.size = static_cast<qint64>(length);
    source.blob.updateNoCopy(buffer, length, Magick::Blob::NewAllocator);
    if (source.magick.empty())
        throw std::runtime_error(path.toStdString() +
                                 ": not a BMP, JPEG, PNG, GIF, WebP, HEIC, AVIF or TIFF image");
    return source;
}

constexpr unsigned long long kPixelBytes = sizeof(MagickCore::PixelPacket);  // 8 at Q16

struct Size {
    std::size_t width = 0;
    std::size_t height = 0;
    unsigned long long Pixels() const { return 1ULL * width * height; }
    bool operator==(const Size&) const = default;
};

// What the headers tell (a ping decodes no pixel).
struct Probe {
    Size stored;  // the first frame as stored
    Size screen;  // a GIF's logical screen, else the stored size
    MagickCore::OrientationType orientation = MagickCore::UndefinedOrientation;
    std::size_t frames = 0;
    unsigned long long storedPixels = 0;  // every frame at its stored size
    unsigned long long canvasPixels = 0;  // every frame as a whole canvas
};

// The first frame's size and orientation from the headers, and every frame's or page's size from
// the file's own structure where it holds several (a GIF, an animated WebP, a multi-page TIFF, a
// HEIF of several top-level images).
Probe ProbeSource(const Source& source)
{
    Probe probe;
    const auto* bytes = static_cast<const unsigned char*>(source.blob.data());
    const std::optional<framelayout::Layout> layout =
        framelayout::Read(source.magick, bytes, source.blob.length());
    if (source.magick == "GIF") {
        // A GIF is never turned, and its layout tells all that a ping would.
        if (!layout || layout->frames == 0) throw std::runtime_error("the GIF holds no frame");
        probe.stored = {layout->firstWidth, layout->firstHeight};
        probe.screen = {layout->screenWidth, layout->screenHeight};
        probe.frames = layout->frames;
        probe.storedPixels = layout->storedPixels;
        probe.canvasPixels = layout->canvasPixels;
        return probe;
    }
    std::vector<Magick::Image> frames;
    Magick::ReadOptions options;
    Watch(options.imageInfo());
    options.imageInfo()->ping = MagickCore::MagickTrue;
    options.imageInfo()->scene = 0;
    options.imageInfo()->number_scenes = 1;
    std::strncpy(options.imageInfo()->magick, source.magick.c_str(), MaxTextExtent - 1);
    Magick::readImages(&frames, source.blob, options);
    if (frames.empty()) throw std::runtime_error("the image holds no frame");
    const Magick::Image& frame = frames.front();
    probe.stored = {frame.columns(), frame.rows()};
    probe.screen = probe.stored;
    probe.orientation = frame.orientation();
    probe.frames = 1;
    probe.storedPixels = probe.stored.Pixels();
    const Magick::Geometry page = frame.page();
    probe.canvasPixels = 1ULL * std::max<std::size_t>(frame.columns(), page.width()) *
                         std::max<std::size_t>(frame.rows(), page.height());
    if (layout && layout->frames > 1) {
        probe.frames = layout->frames;
        probe.storedPixels = layout->storedPixels;
        probe.canvasPixels = std::max(layout->canvasPixels, layout->storedPixels);
        if (layout->screenWidth > 0 && layout->screenHeight > 0)
            probe.screen = {layout->screenWidth, layout->screenHeight};
    }
    return probe;
}

bool SwapsAxes(MagickCore::OrientationType orientation)
{
    return orientation == MagickCore::LeftTopOrientation ||
           orientation == MagickCore::RightTopOrientation ||
           orientation == MagickCore::RightBottomOrientation ||
           orientation == MagickCore::LeftBottomOrientation;
}

Size Upright(const Probe& probe)
{
    return SwapsAxes(probe.orientation) ? Size{probe.stored.height, probe.stored.width}
                                        : probe.stored;
}

// The size an upright image of the given size ends up with: the resizing rule's box, fitted as
// the image library fits a geometry.
Size FinalSize(Size upright, const ImageParams& params)
{
    const auto box = ImagePipeline::ResizeBox(static_cast<int>(upright.width),
                                              static_cast<int>(upright.height), params);
    const std::string geometry = std::to_string(box.width) + "x" + std::to_string(box.height);
    ssize_t x = 0, y = 0;
    Size fitted = upright;
    MagickCore::ParseMetaGeometry(geometry.c_str(), &x, &y, &fitted.width, &fitted.height);
    return fitted;
}

// The size the JPEG decoder delivers when asked for at least `wanted` (stored orientation): it
// scales by n/8, with the smallest n that keeps both sides at least as large.
Size JpegDecodeSize(Size stored, Size wanted)
{
    if (wanted.width == 0 || wanted.height == 0) return stored;
    const double factor = std::min(double(stored.width) / double(wanted.width),
                                   double(stored.height) / double(wanted.height));
    const unsigned denominator = std::max(1u, static_cast<unsigned>(factor));
    unsigned eighths = 1;
    while (eighths < 8 && 8 > denominator * eighths) ++eighths;
    const auto scaled = [eighths](std::size_t side) { return (side * eighths + 7) / 8; };
    return {scaled(stored.width), scaled(stored.height)};
}

// How a first-frame run reads and sizes its image.
struct Plan {
    Size decoded;                  // as the decoder delivers it (stored orientation)
    Size final;                    // upright, after resizing
    std::optional<Size> jpegHint;  // the decoder's size hint (stored orientation)
    bool Resized(const Probe& probe) const { return !(final == Upright(probe)); }
};

Plan PlanFirstFrame(const Source& source, const Probe& probe, const ImageParams& params)
{
    Plan plan;
    plan.decoded = probe.stored;
    plan.final = FinalSize(Upright(probe), params);
    if (source.magick == "JPEG" && plan.final.Pixels() < Upright(probe).Pixels()) {
        // Twice the final size: the decoder's scaling averages blocks, and the last halving is
        // left to the resize filter, which keeps the detail that averaging would blur.
        const Size twice{std::min(2 * plan.final.width, Upright(probe).width),
                         std::min(2 * plan.final.height, Upright(probe).height)};
        const Size wanted = SwapsAxes(probe.orientation) ? Size{twice.height, twice.width} : twice;
        plan.jpegHint = wanted;
        plan.decoded = JpegDecodeSize(probe.stored, wanted);
    }
    return plan;
}

// What a run holds at once, from the headers. `pixels` is what the image library's pixel caches
// hold: above the memory limit the source is refused, as the library would move it to a disk
// cache and a file of a few kilobytes that claims a huge canvas would cost gigabytes of disk and
// minutes of work. `peak` is all the run adds to the process's resident memory at its highest:
// those caches, the source file's bytes, the decoders' and encoders' own buffers and the encoded
// results. That is what it reserves from the budget, so that runs side by side stay within it;
// a run whose peak exceeds the whole budget waits until no other runs and then runs alone.
struct Cost {
    unsigned long long pixels = 0;
    unsigned long long peak = 0;
};

// What the encoders take beside the pixels they are given, per pixel written and once per run.
// Measured: the peak resident size of one command-line run per output format on photos of 4 and
// 16 megapixels (the growth between the two is the cost of a pixel, what is left the cost of
// the run), less the process's own, the source's bytes and the image library's 8 bytes a pixel,
// then rounded up. The JPEG encoder took 3 bytes a pixel, libwebp 6.5, libheif with AV1 26 (and
// some 12 MB a run) and with HEVC 15 (its decoder included), the TIFF encoder 2.4. A PNG run (its
// 8-bit copy and the palette quantiser) took 4 bytes a pixel and 55 MB, a BMP run's colour
// reduction (the library's 128 MB colour cube, the intermediate PNG, colour maps) 10 and 172 MB.
struct EncoderCost {
    unsigned long long perPixel;
    unsigned long long perRun;
};
constexpr EncoderCost kJpegCost{4, 0};
constexpr EncoderCost kWebpCost{8, 0};
constexpr EncoderCost kAvifCost{28, 16ULL << 20};
constexpr EncoderCost kHeicCost{16, 0};
constexpr EncoderCost kTiffCost{4, 0};
constexpr EncoderCost kPngCost{4, 64ULL << 20};
constexpr EncoderCost kBmpCost{10, 176ULL << 20};

EncoderCost CostOf(const char* magick)
{
    if (std::strcmp(magick, "WEBP") == 0) return kWebpCost;
    if (std::strcmp(magick, "AVIF") == 0) return kAvifCost;
    if (std::strcmp(magick, "HEIC") == 0) return kHeicCost;
    if (std::strcmp(magick, "TIFF") == 0) return kTiffCost;
    return kJpegCost;
}

// A first-frame run: the decoded image; then, when it is resized, the decoded image beside the
// resize filter's half-way image (one side already resized) and the result; then the final image
// with the encoder's buffers. The source's bytes are counted throughout, although most runs free
// them once decoded.
Cost FirstFrameCost(const Source& source, const Probe& probe, const Plan& plan, EncoderCost encoder)
{
    const Size d = plan.decoded, f = plan.final;
    const bool resized = plan.Resized(probe);
    const unsigned long long halfWay =
        std::max(1ULL * f.width * d.height, 1ULL * d.width * f.height);
    const unsigned long long resizing =
        resized ? kPixelBytes * (d.Pixels() + halfWay + f.Pixels()) : 0;
    const unsigned long long encoding =
        (kPixelBytes + encoder.perPixel) * f.Pixels() + encoder.perRun;
    Cost cost;
    cost.pixels = kPixelBytes * d.Pixels() + (resized ? kPixelBytes * f.Pixels() : 0);
    cost.peak = std::max({kPixelBytes * d.Pixels(), resizing, encoding}) +
                static_cast<unsigned long long>(source.size);
    return cost;
}

thread_local unsigned long long tHeldBytes = 0;

// Reserves the cost from the budget. A run that has to wait for room gives up the source's bytes
// meanwhile and reads the file again when its turn comes: runs waiting behind a large one would
// otherwise hold their whole files beside it.
void Reserve(Source& source, const Cost& cost, unsigned long long count,
             const char* what = " pixels")
{
    if (cost.pixels > ImagePipeline::MemoryLimit())
        throw std::runtime_error(std::to_string(count) + what +
                                 " do not fit in the image memory limit");
    MemoryBudget& budget = ImagePipeline::Budget();
    const unsigned long long bytes = std::max(cost.pixels, cost.peak);
    if (const auto taken = budget.TryAcquire(bytes)) {
        tHeldBytes += *taken;
        return;
    }
    source.blob = Magick::Blob();
    tHeldBytes += budget.Acquire(bytes);
    imageabort::ThrowIfRequested();
    Source again = ReadSource(source.path);
    if (again.size != source.size || again.magick != source.magick)
        throw std::runtime_error(source.path.toStdString() + ": changed while it waited");
    source.blob = std::move(again.blob);
}

// Gives back what the run on this thread reserved, however it ends.
struct BudgetRelease {
    ~BudgetRelease()
    {
        ImagePipeline::Budget().Release(tHeldBytes);
        tHeldBytes = 0;
    }
};

// Reads the first frame of the source, upright: a camera's orientation tag would be lost with
// the other metadata, so it is applied to the pixels first. A JPEG is decoded at a reduced size
// when the plan asks for one.
void ReadFirstFrame(Magick::Image& image, const Source& source, const Plan* plan = nullptr)
{
    image.subImage(0);
    image.subRange(1);
    image.magick(source.magick);
    if (plan && plan->jpegHint) {
        image.defineValue(
            "jpeg", "size",
            std::to_string(plan->jpegHint->width) + "x" + std::to_string(plan->jpegHint->height));
    }
    Watch(image.imageInfo());
    image.read(source.blob);
    imageabort::ThrowIfRequested();
    image.autoOrient();
    imageabort::ThrowIfRequested();
}

// Frees the source's bytes once they are decoded: a large PNG's file is a few bytes a pixel,
// which the encoders then have for themselves. The size stays for the report.
void DropBytes(Source& source)
{
    source.blob = Magick::Blob();
}

Magick::Geometry BoxFor(const Magick::Image& image, const ImageParams& params)
{
    const auto box = ImagePipeline::ResizeBox(static_cast<int>(image.columns()),
                                              static_cast<int>(image.rows()), params);
    return Magick::Geometry(static_cast<size_t>(box.width), static_cast<size_t>(box.height));
}

// Resizes to the planned size exactly (it was fitted to the source's own size, which a reduced
// decode no longer has).
void ResizeTo(Magick::Image& image, Size size)
{
    if (image.columns() == size.width && image.rows() == size.height) return;
    Magick::Geometry exact(size.width, size.height);
    exact.aspect(true);
    image.resize(exact);
}

void ReduceColours(Magick::Image& image, std::optional<int> colours, bool undefinedMethod)
{
    image.quantizeDither(true);
    if (undefinedMethod) image.quantizeDitherMethod(MagickCore::UndefinedDitherMethod);
    if (colours) image.quantizeColors(static_cast<size_t>(*colours));
    image.quantize(false);
}

Magick::Blob Encode(Magick::Image& image, const char* magick)
{
    image.magick(magick);
    Magick::Blob blob;
    image.write(&blob);
    return blob;
}

// One encode at the strength. Each format's qualities (and PNG's colour counts, GIF's fuzz)
// fall with the strength, measured on photos and drawings so that a stronger strength never
// writes a larger file than a weaker one, and never the same file: the weaker strengths are not
// encoded too.
template <typename Encoded>
Encoded AtStrength(int compressType, const std::function<Encoded(int)>& encode)
{
    imageabort::ThrowIfRequested();
    return encode(compressType);
}

struct Encoded {
    Magick::Blob blob;
    std::size_t frames = 1;
    // A searched encoding: its quality, scale and SSIM (see ImageDoneRecord).
    int searchedQuality = 0;
    int scalePercent = 100;
    double ssim = 0;
};

// The look or size search of a one-frame JPEG, WebP or AVIF output when params ask for one:
// the resized picture is encoded at the searched quality (and, for a size, scale). Empty when
// no search is asked for.
std::optional<Encoded> SearchedEncoding(const Magick::Image& image, search::ImageCodec codec,
                                        const ImageParams& params)
{
    if (params.maxBytes <= 0 && !params.look) return std::nullopt;
    const std::stop_token* token = imageabort::Token();
    const std::stop_token stop = token ? *token : std::stop_token();
    const bool fit = params.maxBytes > 0;
    const search::ImageSearchResult found =
        fit ? search::FitImageUnderSize(image, codec, params.maxBytes, stop)
            : search::SearchImageLook(image, codec, search::StrengthSsim(params.compressType),
                                      stop);
    imageabort::ThrowIfRequested();
    if (found.search.status == search::SearchStatus::Stopped) throw imageabort::Aborted();
    if (found.search.status == search::SearchStatus::Failed)
        throw std::runtime_error("the quality search failed: " + found.search.error.toStdString());
    if (fit && found.search.status != search::SearchStatus::Reached)
        throw std::runtime_error("the image does not fit under " + std::to_string(params.maxBytes) +
                                 " bytes even at its smallest scale");
    if (found.blob.length() == 0) throw std::runtime_error("the quality search chose nothing");
    Encoded encoded;
    encoded.blob = found.blob;
    encoded.searchedQuality = found.search.setting;
    encoded.scalePercent = found.scalePercent;
    if (!fit) encoded.ssim = found.search.value;
    return encoded;
}

// A JPEG of the image: progressive, with Huffman tables made for it, chroma at half resolution
// both ways below quality 90 (where the eye does not miss it), and the floating-point DCT, which
// the library does not use unless told and which gives both smaller files and truer pixels than
// its default at the same quality.
Magick::Blob EncodeJpeg(Magick::Image image, std::optional<int> quality)
{
    const int q = quality ? *quality : (image.quality() > 0 ? int(image.quality()) : 92);
    image.quality(static_cast<size_t>(q));
    image.interlaceType(Magick::PlaneInterlace);
    image.defineValue("jpeg", "optimize-coding", "true");
    image.defineValue("jpeg", "dct-method", "float");
    image.defineValue("jpeg", "sampling-factor", q < 90 ? "2x2,1x1,1x1" : "1x1,1x1,1x1");
    return Encode(image, "JPEG");
}

// The first frame as params plan it, read within the memory budget (the decoded image, the
// resized one, and the encoder's own buffers) and converted to sRGB.
Plan ReadPlannedFirstFrame(Magick::Image& image, Source& source, const Probe& probe,
                           const ImageParams& params, EncoderCost encoder)
{
    const Plan plan = PlanFirstFrame(source, probe, params);
    Reserve(source, FirstFrameCost(source, probe, plan, encoder), plan.decoded.Pixels());
    ReadFirstFrame(image, source, &plan);
    DropBytes(source);
    colourprofile::StripToSrgb(image);
    return plan;
}

// Lays a transparent image on white: what its transparency hides must not show in an output
// that cannot keep it.
void LayOnWhite(Magick::Image& image)
{
    if (!image.matte()) return;
    image.backgroundColor(Magick::Color("white"));
    image.alphaChannel(MagickCore::RemoveAlphaChannel);
    image.matte(false);
}

Encoded CompressJpeg(Source& source, const Probe& probe, const ImageParams& params)
{
    // The identifier runs while the image is decoded; its answer is needed only for the write.
    auto sourceQuality = std::async(std::launch::async, [&params] {
        return SourceQuality::Read(params.identifyPath, params.sourcePath);
    });
    Magick::Image image;
    const Plan plan = ReadPlannedFirstFrame(image, source, probe, params, kJpegCost);
    // JPEG has no transparency: what it hides must not show.
    LayOnWhite(image);

    if (ImagePipeline::CustomSizeApplies(params)) {
        try {
            ResizeTo(image, plan.final);
        } catch (const std::exception& error) {
            Report("resize:", error);
        }
    } else {
        ResizeTo(image, plan.final);
    }

    const int quality = sourceQuality.get();
    if (std::optional<Encoded> searched = SearchedEncoding(image, search::ImageCodec::Jpeg, params))
        return *searched;
    return {AtStrength<Magick::Blob>(params.compressType, [&](int strength) {
        return EncodeJpeg(image, ImagePipeline::JpegQuality(quality, strength));
    })};
}

// The source PNG without its metadata: the chunks that make the picture (and those that say how
// its values map to colours), none of the text, time, EXIF or other ancillary ones. Empty when
// the file does not parse as PNG chunks.
std::optional<Magick::Blob> StrippedPng(const Source& source)
{
    static const char* const kKept[] = {"IHDR", "PLTE", "tRNS", "IDAT", "IEND",
                                        "gAMA", "cHRM", "sRGB", "iCCP", "sBIT"};
    const auto* bytes = static_cast<const char*>(source.blob.data());
    const std::size_t size = source.blob.length();
    std::string out(bytes, std::min<std::size_t>(size, 8));
    std::size_t at = 8;
    bool ended = false;
    while (!ended && at + 12 <= size) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes + at);
        const std::size_t length =
            std::size_t(p[0]) << 24 | std::size_t(p[1]) << 16 | std::size_t(p[2]) << 8 | p[3];
        if (length > size - at - 12) return std::nullopt;
        const std::string type(bytes + at + 4, 4);
        ended = type == "IEND";
        if (std::find(std::begin(kKept), std::end(kKept), type) != std::end(kKept))
            out.append(bytes + at, length + 12);
        at += length + 12;
    }
    if (!ended) return std::nullopt;
    return Magick::Blob(out.data(), out.size());
}

// The quantiser's effort: its slowest setting while that takes little time.
int QuantiserSpeed(unsigned long long pixels)
{
    return pixels <= 4'000'000 ? 3 : 4;
}

Magick::Blob CompressPng(Source& source, const Probe& probe, const ImageParams& params)
{
    const Plan plan = PlanFirstFrame(source, probe, params);
    // The decoded and the resized image, then the resized one beside its 8-bit copy and the
    // quantiser's work.
    Reserve(source, FirstFrameCost(source, probe, plan, kPngCost), plan.decoded.Pixels());
    Magick::Image image;
    ReadFirstFrame(image, source);
    const colourprofile::Outcome profile = colourprofile::StripToSrgb(image);
    ResizeTo(image, plan.final);

    // A profile that could not be converted goes with the pixels, where PNG allows one.
    std::string icc;
    if (profile == colourprofile::Outcome::Kept) {
        const Magick::Blob blob = image.iccColorProfile();
        icc.assign(static_cast<const char*>(blob.data()), blob.length());
        if (!colourprofile::IsRgb(icc)) icc.clear();
    }

    const int width = static_cast<int>(image.columns()), height = static_cast<int>(image.rows());
    std::vector<std::uint8_t> rgba(std::size_t(width) * std::size_t(height) * 4);
    image.write(0, 0, width, height, "RGBA", Magick::CharPixel, rgba.data());
    image = Magick::Image();  // its pixels are not needed any more

    palettepng::Quantiser quantiser(rgba.data(), width, height,
                                    QuantiserSpeed(1ULL * width * height));
    Magick::Blob reduced = AtStrength<Magick::Blob>(params.compressType, [&](int strength) {
        palettepng::QuantiseOptions options;
        options.maxColours = ImagePipeline::ColourCount(strength).value_or(256);
        options.targetQuality = ImagePipeline::PngTargetQuality(strength);
        options.dithering = ImagePipeline::kPngDithering;
        const std::string png = palettepng::EncodePng(quantiser.Reduce(options), icc);
        return Magick::Blob(png.data(), png.size());
    });

    // Fewer colours can still pack worse than the source did (dithering is noise to zlib, and a
    // smooth true-colour image filters well). A PNG never grows from this: when the source's own
    // pixels, unmoved, make a smaller file, they are kept, only its metadata goes.
    const bool plain = probe.orientation == MagickCore::UndefinedOrientation ||
                       probe.orientation == MagickCore::TopLeftOrientation;
    if (source.magick == "PNG" && plain && !plan.Resized(probe) &&
        static_cast<qint64>(reduced.length()) > source.size) {
        if (std::optional<Magick::Blob> stripped = StrippedPng(source);
            stripped && stripped->length() < reduced.length())
            return *stripped;
    }
    return reduced;
}

// The BMP path's intermediate PNG: "image-tmp-R.png" in the temporary folder, R a random
// six-digit number. It is created exclusively (a name in use is drawn again), so two runs never
// share one, and it is removed however the run ends.
class TemporaryPng {
public:
    TemporaryPng(const QString& folder, const Magick::Blob& data)
    {
        std::mt19937 generator{std::random_device{}()};
        std::uniform_int_distribution<int> draw(100000, 999999);
        const QString base = folder.endsWith(u'/') ? folder : folder + u'/';
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString path = base + QStringLiteral("image-tmp-%1.png").arg(draw(generator));
            if (OutputFile::WriteExclusive(path, data.data(), data.length())) {
                path_ = path;
                return;
            }
            if (errno != EEXIST) throw std::runtime_error(ErrnoText("cannot write", path, errno));
        }
        throw std::runtime_error("no free temporary name in " + folder.toStdString());
    }
    ~TemporaryPng() { ::unlink(QFile::encodeName(path_).constData()); }
    TemporaryPng(const TemporaryPng&) = delete;
    TemporaryPng& operator=(const TemporaryPng&) = delete;

    const QString& Path() const { return path_; }

private:
    QString path_;
};

Magick::Blob CompressBmp(Source& source, const Probe& probe, const ImageParams& params)
{
    const Plan plan = PlanFirstFrame(source, probe, params);
    // The decoded image and its colour reduction, then the intermediate's and the resized one.
    Cost cost = FirstFrameCost(source, probe, plan, kBmpCost);
    cost.pixels = 2 * kPixelBytes * std::max(plan.decoded.Pixels(), plan.final.Pixels());
    Reserve(source, cost, plan.decoded.Pixels());
    Magick::Blob firstData;
    bool transparent = false;
    {
        Magick::Image first;
        ReadFirstFrame(first, source);
        DropBytes(source);
        colourprofile::StripToSrgb(first);
        // An alpha channel that hides nothing would only keep the file at four bytes a pixel.
        if (first.matte() && first.isOpaque()) first.matte(false);
        // A palette BMP holds no transparency: with it the file stays true colour, where fewer
        // colours would cost quality and save nothing.
        transparent = first.matte();
        if (!transparent) ReduceColours(first, 256, true);
        firstData = Encode(first, "PNG");
    }
    const TemporaryPng intermediate(params.tempDir, firstData);
    firstData = Magick::Blob();

    Magick::Image image;
    ReadFirstFrame(image, ReadSource(intermediate.Path()));
    image.resize(BoxFor(image, params));
    if (transparent) return Encode(image, "BMP");
    return AtStrength<Magick::Blob>(params.compressType, [&](int strength) {
        Magick::Image reduced = image;
        ReduceColours(reduced, ImagePipeline::ColourCount(strength), false);
        // The library run-length encodes a palette BMP unless told not to, which makes a
        // dithered photo a third larger; the smaller of the two is kept.
        Magick::Blob packed = Encode(reduced, "BMP");
        reduced.compressType(MagickCore::NoCompression);
        Magick::Blob plain = Encode(reduced, "BMP");
        return plain.length() < packed.length() ? plain : packed;
    });
}

// What one frame costs beside its pixels in a list (the library's image, pixel cache and
// option records, and the work copies of coalescing and resizing), from the peak memory of
// runs on GIFs of 2000 small frames; and the colour cube of the library's quantiser.
constexpr unsigned long long kFrameOverhead = 96 * 1024;
constexpr unsigned long long kQuantiserCube = 128ULL * 1024 * 1024;

// Every frame of an animation (a GIF or an animated WebP) as the viewer sees it: the whole
// canvas, whatever part the file stored, stripped and resized alike; for a GIF source with frame
// dropping on, only the frames it keeps, the one shown before a dropped frame staying up for
// the dropped one's time too, so that the animation keeps its length.
//
// Memory: the stored frames beside their whole canvases; later the resized canvases beside the
// encoder's work, `encoderBytes` more (never above the resized canvases twice, as the optimised
// parts a GIF is written from are never larger, plus the quantiser's cube). Two lists of
// records throughout.
// The pixels of pixels frames of the given size once fitted to the resizing rule.
unsigned long long ResizedPixels(unsigned long long pixels, Size size, const ImageParams& params)
{
    if (size.Pixels() == 0) return pixels;
    const double shrink =
        std::min(1.0, double(FinalSize(size, params).Pixels()) / double(size.Pixels()));
    return static_cast<unsigned long long>(double(pixels) * shrink);
}

std::vector<Magick::Image> ReadAnimation(Source& source, const Probe& probe,
                                         const ImageParams& params, unsigned long long encoderBytes)
{
    const unsigned long long resizedCanvas =
        ResizedPixels(probe.canvasPixels, probe.screen, params);
    const unsigned long long bytes =
        std::max(kPixelBytes * (probe.storedPixels + probe.canvasPixels),
                 kPixelBytes * resizedCanvas + encoderBytes) +
        2 * kFrameOverhead * probe.frames + static_cast<unsigned long long>(source.size);
    Reserve(source, {bytes, bytes}, probe.canvasPixels);

    std::vector<Magick::Image> frames;
    try {
        Magick::ReadOptions options;
        Watch(options.imageInfo());
        std::strncpy(options.imageInfo()->magick, source.magick.c_str(), MaxTextExtent - 1);
        Magick::readImages(&frames, source.blob, options);
    } catch (const std::exception& error) {
        imageabort::ThrowIfRequested();
        Report("readImages: ", error);
    }
    DropBytes(source);
    DebugPrint("lstImage->size: %zu\n", frames.size());
    if (frames.empty()) throw std::runtime_error("the animation holds no frame");

    std::vector<Magick::Image> canvas;
    imageabort::ThrowIfRequested();
    Magick::coalesceImages(&canvas, frames.begin(), frames.end());
    frames.clear();

    for (Magick::Image& frame : canvas) {
        imageabort::ThrowIfRequested();
        frame.strip();
        frame.resize(BoxFor(frame, params));
        frame.page(Magick::Geometry(frame.columns(), frame.rows(), 0, 0));
    }
    if (source.magick != "GIF" || params.gifDefineParam == 0) return canvas;

    std::vector<Magick::Image> kept;
    for (std::size_t i = 0; i < canvas.size(); ++i) {
        if (ImagePipeline::KeepsGifFrame(static_cast<int>(i), params.gifDropFrameIndex)) {
            kept.push_back(std::move(canvas[i]));
        } else {
            Magick::Image& previous = kept.back();
            previous.animationDelay(previous.animationDelay() + canvas[i].animationDelay());
            canvas[i] = Magick::Image();
        }
    }
    return kept;
}

Encoded CompressGif(Source& source, const Probe& probe, const ImageParams& params)
{
    const unsigned long long resizedCanvas =
        ResizedPixels(probe.canvasPixels, probe.screen, params);
    std::vector<Magick::Image> kept =
        ReadAnimation(source, probe, params, kPixelBytes * resizedCanvas + kQuantiserCube);
    const bool dropping = params.gifDefineParam != 0;
    const auto encode = [&](int strength) {
        const float fuzz =
            static_cast<float>(ImagePipeline::FuzzPercent(strength)) * 65535.0f / 100.0f;
        for (Magick::Image& frame : kept) frame.colorFuzz(fuzz);
        // Store each frame as the part that changes, then make unchanged pixels transparent.
        std::vector<Magick::Image> optimized;
        Magick::optimizeImageLayers(&optimized, kept.begin(), kept.end());
        Magick::optimizeTransparency(optimized.begin(), optimized.end());
        // One palette for the whole animation. Left to the encoder, every frame would be
        // quantized on its own, and each quantization of this library version clears a 128 MB
        // colour cache first: about a tenth of a second per frame, whatever its size.
        Magick::quantizeImages(optimized.begin(), optimized.end());

        optimized.front().magick("GIF");
        Encoded encoded;
        encoded.frames = optimized.size();
        if (dropping) {
            Magick::writeImages(optimized.begin(), optimized.end(), &encoded.blob, true);
        } else {
            try {
                Magick::writeImages(optimized.begin(), optimized.end(), &encoded.blob, true);
            } catch (const std::exception& error) {
                Report("writeImages: ", error);
            }
        }
        return encoded;
    };
    return AtStrength<Encoded>(params.compressType, encode);
}

// The times and loop count of an animated WebP, set in the file (the image library's encoder
// writes every frame with the time of the one after it and loops for ever): the ANIM chunk's
// loop count after its background colour, and the time of each ANMF chunk in its last three
// bytes before the flags. Returns how many frames the file holds; times are given for as many.
std::size_t SetWebpTiming(Magick::Blob& blob, std::size_t loops,
                          const std::vector<unsigned>& millis)
{
    std::string bytes(static_cast<const char*>(blob.data()), blob.length());
    const auto byte = [&bytes](std::size_t at) { return std::size_t(std::uint8_t(bytes[at])); };
    const auto set = [&bytes](std::size_t at, std::size_t value, int count) {
        for (int i = 0; i < count; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
    };
    std::size_t frames = 0;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::size_t length =
            byte(at + 4) | byte(at + 5) << 8 | byte(at + 6) << 16 | byte(at + 7) << 24;
        if (length > bytes.size() - at - 8) break;
        const std::string type = bytes.substr(at, 4);
        if (type == "ANIM" && length >= 6) set(at + 12, std::min<std::size_t>(loops, 0xFFFF), 2);
        if (type == "ANMF" && length >= 16) {
            if (frames < millis.size())
                set(at + 20, std::min<std::size_t>(millis[frames], 0xFFFFFF), 3);
            ++frames;
        }
        at += 8 + length + (length & 1);
    }
    blob.update(bytes.data(), bytes.size());
    return frames;
}

// An animated WebP of a GIF or an animated WebP: every frame kept (less those GIF frame
// dropping drops), each with its time, and the loop count. The encoder stores a frame that
// repeats the one before as a longer time of that one, so frames are counted the same way.
Encoded CompressAnimatedWebp(Source& source, const Probe& probe, const ImageParams& params)
{
    // Each frame is handed over as 4 bytes a pixel, and the encoder holds a few canvases of its
    // own besides.
    const unsigned long long canvas = FinalSize(probe.screen, params).Pixels();
    std::vector<Magick::Image> kept =
        ReadAnimation(source, probe, params,
                      4 * ResizedPixels(probe.canvasPixels, probe.screen, params) +
                          4 * kWebpCost.perPixel * canvas);
    const std::size_t loops = kept.front().animationIterations();
    std::vector<unsigned> millis;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const std::size_t ticks = std::max<ssize_t>(1, kept[i].constImage()->ticks_per_second);
        const auto ms = static_cast<unsigned>(kept[i].animationDelay() * 1000 / ticks);
        Magick::Image previous = i > 0 ? kept[i - 1] : Magick::Image();  // compare is not const
        if (i > 0 && previous.compare(kept[i]))
            millis.back() += ms;
        else
            millis.push_back(ms);
    }
    return AtStrength<Encoded>(params.compressType, [&](int strength) {
        const auto quality =
            static_cast<std::size_t>(ImagePipeline::ModernQuality("WEBP", strength));
        std::vector<Magick::Image> frames = kept;
        for (Magick::Image& frame : frames) {
            frame.quality(quality);
            if (frame.matte() && frame.isOpaque()) frame.matte(false);
        }
        frames.front().magick("WEBP");
        Encoded encoded;
        Magick::writeImages(frames.begin(), frames.end(), &encoded.blob, true);
        if (SetWebpTiming(encoded.blob, loops, millis) != millis.size())
            throw std::runtime_error("the WebP encoder wrote " +
                                     std::to_string(SetWebpTiming(encoded.blob, loops, {})) +
                                     " of " + std::to_string(millis.size()) + " frames");
        encoded.frames = millis.size();
        return encoded;
    });
}

// A multi-page TIFF: every page upright, its metadata gone, resized, deflated. All pages are
// held at once, so a file of more pages than the memory budget holds is refused before any is
// decoded.
Encoded CompressTiffPages(Source& source, const Probe& probe, const ImageParams& params)
{
    const unsigned long long resized = ResizedPixels(probe.storedPixels, probe.stored, params);
    Cost cost;
    cost.pixels = kPixelBytes * (probe.storedPixels + resized) + 2 * kFrameOverhead * probe.frames +
                  static_cast<unsigned long long>(source.size);
    cost.peak = cost.pixels + kTiffCost.perPixel * resized;
    Reserve(source, cost, probe.frames, " pages");

    std::vector<Magick::Image> pages;
    Magick::ReadOptions options;
    Watch(options.imageInfo());
    std::strncpy(options.imageInfo()->magick, source.magick.c_str(), MaxTextExtent - 1);
    Magick::readImages(&pages, source.blob, options);
    DropBytes(source);
    if (pages.empty()) throw std::runtime_error("the image holds no frame");
    for (Magick::Image& page : pages) {
        imageabort::ThrowIfRequested();
        page.autoOrient();
        colourprofile::StripToSrgb(page);
        if (page.matte() && page.isOpaque()) page.matte(false);
        page.resize(BoxFor(page, params));
        page.compressType(MagickCore::ZipCompression);
    }
    pages.front().magick("TIFF");
    Encoded encoded;
    encoded.frames = pages.size();
    Magick::writeImages(pages.begin(), pages.end(), &encoded.blob, true);
    return encoded;
}

// A WebP, AVIF or HEIC of the first frame, or a TIFF (lossless, deflated): upright, its
// metadata gone, resized, transparency kept where it hides something.
Encoded CompressModern(Source& source, const Probe& probe, const ImageParams& params,
                       const char* magick)
{
    Magick::Image image;
    const Plan plan = ReadPlannedFirstFrame(image, source, probe, params, CostOf(magick));
    if (image.matte() && image.isOpaque()) image.matte(false);
    ResizeTo(image, plan.final);
    if (std::strcmp(magick, "TIFF") == 0) {
        image.compressType(MagickCore::ZipCompression);
        return {Encode(image, "TIFF")};
    }
    const bool heif = std::strcmp(magick, "AVIF") == 0 || std::strcmp(magick, "HEIC") == 0;
    if (std::strcmp(magick, "WEBP") == 0 || std::strcmp(magick, "AVIF") == 0) {
        const search::ImageCodec codec =
            std::strcmp(magick, "WEBP") == 0 ? search::ImageCodec::Webp : search::ImageCodec::Avif;
        if (std::optional<Encoded> searched = SearchedEncoding(image, codec, params))
            return *searched;
    }
    if (heif) {
        // libheif itself, not the image library's HEIF writer: it keeps the alpha plane and
        // runs the encoder with its tuned options.
        return {AtStrength<Magick::Blob>(params.compressType, [&](int strength) {
            const std::string file =
                heifcodec::EncodeImage(image, std::strcmp(magick, "AVIF") == 0,
                                       ImagePipeline::ModernQuality(magick, strength));
            return Magick::Blob(file.data(), file.size());
        })};
    }
    return {AtStrength<Magick::Blob>(params.compressType, [&](int strength) {
        Magick::Image copy = image;
        copy.quality(static_cast<size_t>(ImagePipeline::ModernQuality(magick, strength)));
        return Encode(copy, magick);
    })};
}

qint64 FileSize(const QString& path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        throw std::runtime_error(ErrnoText("written file missing:", path, errno));
    return static_cast<qint64>(info.st_size);
}

// The image library's name of an output extension's format.
const char* OutputMagick(const QString& extension)
{
    if (extension == u"jpg") return "JPEG";
    if (extension == u"webp") return "WEBP";
    if (extension == u"avif") return "AVIF";
    if (extension == u"heic") return "HEIC";
    if (extension == u"tiff") return "TIFF";
    if (extension == u"png") return "PNG";
    if (extension == u"bmp") return "BMP";
    return "GIF";
}

// Encodes the source for the output extension. A source of several frames or pages keeps all
// of them (a GIF as a GIF or an animated WebP, an animated WebP as one, a multi-page TIFF as a
// multi-page TIFF); in any other output it is refused, as all but one frame would be lost.
Encoded EncodeFor(Source& source, const Probe& probe, const ImageParams& params,
                  const QString& extension)
{
    const char* magick = OutputMagick(extension);
    const bool animation = source.magick == "GIF" || source.magick == "WEBP";
    if (extension == u"gif") return CompressGif(source, probe, params);
    if (probe.frames > 1) {
        if (animation && extension == u"webp") return CompressAnimatedWebp(source, probe, params);
        if (source.magick == "TIFF" && extension == u"tiff")
            return CompressTiffPages(source, probe, params);
        throw std::runtime_error("the image has " + std::to_string(probe.frames) +
                                 " frames or pages, and " + magick +
                                 " output holds only one frame");
    }
    if (extension == u"jpg") return CompressJpeg(source, probe, params);
    if (extension == u"png") return {CompressPng(source, probe, params)};
    if (extension == u"bmp") return {CompressBmp(source, probe, params)};
    return CompressModern(source, probe, params, magick);
}

// The written file read back: a format that can hold several frames must hold as many as were
// encoded, or the output is removed and the run fails.
void CheckWrittenFrames(const QString& path, const char* magick, std::size_t expected)
{
    if (std::strcmp(magick, "GIF") != 0 && std::strcmp(magick, "WEBP") != 0 &&
        std::strcmp(magick, "TIFF") != 0)
        return;
    std::size_t found = 0;
    try {
        const Source written = ReadSource(path);
        const auto* bytes = static_cast<const unsigned char*>(written.blob.data());
        if (const auto layout = framelayout::Read(magick, bytes, written.blob.length()))
            found = layout->frames;
    } catch (const std::exception&) {
        found = 0;
    }
    if (found == expected) return;
    QFile::remove(path);
    throw std::runtime_error("the written file holds " + std::to_string(found) + " of " +
                             std::to_string(expected) + " frames");
}

// The hidden output of a run in place read back before the original goes: the bytes on disk
// are the ones encoded, and they decode to a picture of the encoded size with as many frames.
void CheckReadBack(const QString& path, const Encoded& encoded)
{
    const Source written = ReadSource(path);
    if (written.blob.length() != encoded.blob.length() ||
        std::memcmp(written.blob.data(), encoded.blob.data(), encoded.blob.length()) != 0)
        throw std::runtime_error("the written file does not hold what was encoded: " +
                                 path.toStdString());
    Source expected;
    expected.blob = encoded.blob;
    expected.size = static_cast<qint64>(encoded.blob.length());
    expected.magick = written.magick;
    const Probe want = ProbeSource(expected);
    const Probe got = ProbeSource(written);
    Magick::Image first;
    Watch(first.imageInfo());
    first.read(written.blob);
    if (got.frames != encoded.frames || !(got.stored == want.stored) ||
        first.columns() != want.stored.width || first.rows() != want.stored.height)
        throw std::runtime_error("the written file does not decode to the encoded picture: " +
                                 path.toStdString());
}

// Saves the encoded output where params.place puts it (core/app/OutputPlace.h) and fills the
// record's output path. In place, the output is written under a hidden name beside the source,
// read back, and only then takes the source's place; the original goes to the trash.
void SaveOutput(const ImageParams& params, const QString& extension, const Encoded& encoded,
                const FileDates& sourceDates, ImageDoneRecord& done)
{
    const OutputTarget target = PlanOutputTarget(params.place, params.outputDir, params.sourcePath,
                                                 params.addedRoot, extension);
    if (!target.error.isEmpty()) throw std::runtime_error(target.error.toStdString());
    if (!target.replacesSource) {
        if (QString error;
            params.place.place == place::kTree && !MakeTargetFolder(target.folder, &error))
            throw std::runtime_error(error.toStdString());
        done.outputPath = OutputFile::SaveNew(target.folder, target.baseName, target.extension,
                                              encoded.blob.data(), encoded.blob.length());
        CheckWrittenFrames(done.outputPath, OutputMagick(extension), encoded.frames);
        if (QString why; params.keepDates && !SetFileDates(done.outputPath, sourceDates, &why))
            DebugPrint("keep-dates: %s\n", WideToAnsi(why).c_str());
        return;
    }

    const QString hidden =
        OutputFile::WriteHidden(target.folder, encoded.blob.data(), encoded.blob.length());
    const OwnFiles::Record record(hidden);
    // Removed on every way out but the one where it took the source's name.
    struct Remover {
        QString path;
        ~Remover()
        {
            if (!path.isEmpty()) QFile::remove(path);
        }
    } remover{hidden};
    CheckReadBack(hidden, encoded);
    if (QString why; !SetFileDates(hidden, sourceDates, &why))
        throw std::runtime_error("the dates of the original could not be kept: " +
                                 why.toStdString());
    // The last moment a stop leaves the original untouched.
    imageabort::ThrowIfRequested();
    const ReplaceOutcome replaced = ReplaceSource(params.sourcePath, hidden, target);
    if (replaced.outputPath.isEmpty()) throw std::runtime_error(replaced.error.toStdString());
    remover.path.clear();
    done.outputPath = replaced.outputPath;
    done.replacedSource = true;
    done.freedBytes = replaced.sourceBytes;  // less the output's size, once it is known
}

ImageDoneRecord RunUnguarded(const ImageParams& params)
{
    const OutputFile::SourceName name = OutputFile::Split(params.sourcePath);
    QString extension = ImagePipeline::OutputExtension(params.imageType, name.extension);
    // A file taken by its content under a name of another type (a PNG named .dat, a ".jpe"):
    // the format its content is.
    if (extension.isEmpty())
        extension = ImagePipeline::OutputExtension(
            params.imageType, DetectSourceType(params.sourcePath).imageExtension);
    if (extension.isEmpty())
        throw std::runtime_error("no treatment for ." + name.extension.toStdString() + " files");

    // In place of the source, its dates always stay.
    const bool keepDates = params.keepDates || params.place.place == place::kInPlace;
    const FileDates sourceDates = keepDates ? ReadFileDates(params.sourcePath) : FileDates{};
    Source source = ReadSource(params.sourcePath);
    const Probe probe = ProbeSource(source);
    const photoinfo::Kept photoInfo =
        photoinfo::Read(params, source.blob.data(), source.size,
                        probe.orientation != MagickCore::UndefinedOrientation);
    Encoded encoded = EncodeFor(source, probe, photoInfo.Room(params), extension);

    // The last moment a stop keeps the output from being written at all.
    imageabort::ThrowIfRequested();
    photoinfo::Write(photoInfo, OutputMagick(extension), encoded.blob);
    // A size limit holds for every output: a format the size search does not cover (or a
    // transparent AVIF) that came out over it is not written.
    if (params.maxBytes > 0 && static_cast<qint64>(encoded.blob.length()) > params.maxBytes)
        throw std::runtime_error("the " + extension.toStdString() + " output is " +
                                 std::to_string(encoded.blob.length()) +
                                 " bytes, over the size limit of " +
                                 std::to_string(params.maxBytes) + " bytes");
    ImageDoneRecord done;
    done.task_id = params.task_id;
    done.sourceSize = source.size;
    // In place, only a smaller output replaces its source.
    if ((params.keepSmaller || params.place.place == place::kInPlace) &&
        static_cast<qint64>(encoded.blob.length()) >= source.size) {
        // The source is the smaller file: nothing is written beside it.
        done.sourceKept = true;
        return done;
    }
    SaveOutput(params, extension, encoded, sourceDates, done);
    done.sourceSize = source.size;
    done.outputSize = FileSize(done.outputPath);
    if (done.replacedSource) done.freedBytes -= done.outputSize;
    done.searchedQuality = encoded.searchedQuality;
    done.scalePercent = encoded.scalePercent;
    done.ssim = encoded.ssim;
    return done;
}

}  // namespace

namespace {

// The image library's limits, from the program's memory budget rather than from the system's
// policy (Debian's: 256 MiB of memory, 16000 pixels a side, 128 megapixels, 1 GiB of disk),
// which refuses a panorama or a large PNG that the budget holds.
//
// The library takes a limit set through its API only below what a policy.xml says, for each of
// these resources: raising one that way is silently ignored. It reads the policy files of the
// folders on MAGICK_CONFIGURE_PATH before the system's, and of several policies with one name
// the first read wins. So the budget is written as a policy file in a private folder that the
// variable names while the library starts; the system file's other rules, such as the formats
// it forbids, still apply. The variable is restored afterwards (the library reads its policies
// once, when it starts), so child processes see the environment they always saw.
//
//   memory  the budget: pixel caches in memory
//   map     0: a cache beyond the memory limit goes to a disk file read and written as one,
//           never mapped, as mapped pages would count in memory again
//   disk    the budget: how much may go there
//   area    the budget in pixels: the largest image kept in memory
//   width, height  as many pixels as the budget holds: the area decides, not the shape
constexpr int kMmapThreshold = 256 * 1024;

void StartLibraryWithBudget()
{
    // Large blocks (pixel rows, encoder frames) come straight from the system and go back to it
    // when freed. By default the C library raises this threshold after each large block freed,
    // up to 32 MiB, and later blocks of that size come from per-thread heaps that keep them
    // resident when freed: runs on several threads then hold their predecessors' memory as
    // well, which measured a third above the budget with three workers.
    ::mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
    const unsigned long long budget = ImagePipeline::MemoryLimit();
    const unsigned long long pixels = budget / kPixelBytes;
    struct Limit {
        const char* name;
        unsigned long long value;
    };
    const Limit limits[] = {{"memory", budget}, {"map", 0},        {"disk", budget},
                            {"area", pixels},   {"width", pixels}, {"height", pixels}};

    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/lumo-magick-XXXXXX"));
    bool written = false;
    if (folder.isValid()) {
        std::string policy = "<policymap>\n";
        for (const Limit& limit : limits) {
            policy += std::string("  <policy domain=\"resource\" name=\"") + limit.name +
                      "\" value=\"" + std::to_string(limit.value) + "\"/>\n";
        }
        policy += "</policymap>\n";
        QFile file(folder.filePath(QStringLiteral("policy.xml")));
        written = file.open(QIODevice::WriteOnly) &&
                  file.write(policy.data(), qint64(policy.size())) == qint64(policy.size());
    }

    const char* previous = std::getenv("MAGICK_CONFIGURE_PATH");
    const std::optional<std::string> saved =
        previous ? std::optional<std::string>(previous) : std::nullopt;
    if (written) {
        const std::string path =
            QFile::encodeName(folder.path()).toStdString() + (saved ? ":" + *saved : "");
        ::setenv("MAGICK_CONFIGURE_PATH", path.c_str(), 1);
    }
    Magick::InitializeMagick(nullptr);
    if (written) {
        if (saved)
            ::setenv("MAGICK_CONFIGURE_PATH", saved->c_str(), 1);
        else
            ::unsetenv("MAGICK_CONFIGURE_PATH");
    }

    // Below a stricter policy these are what holds; without the file they lower the system's.
    Magick::ResourceLimits::memory(budget);
    Magick::ResourceLimits::map(0);
    Magick::ResourceLimits::disk(budget);
    Magick::ResourceLimits::area(pixels);
    Magick::ResourceLimits::width(pixels);
    Magick::ResourceLimits::height(pixels);
}

// The process's resident memory now, from /proc/self/statm; 0 when it cannot be read.
unsigned long long ResidentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2) return 0;
    return fields[1].toULongLong() * static_cast<unsigned long long>(::sysconf(_SC_PAGESIZE));
}

}  // namespace

unsigned long long ImagePipeline::MemoryLimit()
{
    static const unsigned long long limit = [] {
        bool ok = false;
        const unsigned long long mib = qEnvironmentVariable(kMemoryLimitVariable).toULongLong(&ok);
        return ok && mib > 0 ? std::min(kMemoryLimit, mib << 20) : kMemoryLimit;
    }();
    return limit;
}

MemoryBudget& ImagePipeline::Budget()
{
    // What the process holds when its first image starts is not the images' to use.
    static MemoryBudget budget(MemoryLimit() - std::min(MemoryLimit() / 2, ResidentBytes()));
    return budget;
}

void ImagePipeline::InitializeLibrary()
{
    static std::once_flag once;
    std::call_once(once, StartLibraryWithBudget);
}

ImageRunResult ImagePipeline::Run(const ImageParams& params, std::stop_token stop)
{
    ImageRunResult result;
    const imageabort::Scope scope(std::move(stop));
    const BudgetRelease release;
    try {
        InitializeLibrary();
        imageabort::ThrowIfRequested();
        result.done = RunUnguarded(params);
    } catch (const imageabort::Aborted& aborted) {
        result.failure = aborted.what();
    } catch (const ReportedFailure& failure) {
        result.failure = failure.what();
    } catch (const std::exception& error) {
        DebugPrint("%s\n", error.what());
        DebugPrint("readImages: %s\n", error.what());
        result.failure = error.what();
    } catch (...) {
        DebugPrint("unknown error\n");
        result.failure = "unknown error";
    }
    // Whatever a step made of an operation the library gave up, the run counts as stopped.
    if (imageabort::Requested() && !result.done) {
        result.stopped = true;
        result.failure = imageabort::Aborted().what();
    }
    return result;
}

bool ImagePipeline::CustomSizeApplies(const ImageParams& params)
{
    return params.defineParam != 0 && params.width > 0 && params.height > 0;
}

ImagePipeline::Box ImagePipeline::ResizeBox(int width, int height, const ImageParams& params)
{
    if (CustomSizeApplies(params))
        return {std::min(width, params.width), std::min(height, params.height)};
    if (params.ratioIndex >= 1 && params.ratioIndex <= 5) {
        const long long kept = width - static_cast<long long>(params.ratioIndex) * width / 10;
        return {static_cast<int>(kept), static_cast<int>(16 * kept / 9)};
    }
    return {width, height};
}

std::optional<int> ImagePipeline::JpegQuality(int sourceQuality, int compressType)
{
    static constexpr double kLowered[] = {0.2, 0.35, 0.45};
    if (compressType < 0 || compressType > 2) return std::nullopt;
    const double q = sourceQuality;
    const int quality = static_cast<int>(q - q * kLowered[compressType]);
    // The encoder takes 1..100; 0 would mean "the library's default" instead of "lowest".
    return std::clamp(quality, 1, 100);
}

std::optional<int> ImagePipeline::ColourCount(int compressType)
{
    static constexpr int kColours[] = {256, 220, 200};
    if (compressType < 0 || compressType > 2) return std::nullopt;
    return kColours[compressType];
}

int ImagePipeline::PngTargetQuality(int compressType)
{
    static constexpr int kTarget[] = {kPngTargetQuality, 74, 68};
    return kTarget[compressType >= 0 && compressType <= 2 ? compressType : 0];
}

double ImagePipeline::FuzzPercent(int compressType)
{
    static constexpr double kPercent[] = {4, 8, 12};
    if (compressType < 0 || compressType > 2) return 4;
    return kPercent[compressType];
}

bool ImagePipeline::KeepsGifFrame(int index, int choice)
{
    if (index == 0) return true;
    if (choice < 0 || choice > 4) return false;
    const int every = 6 - choice;  // choice 0 drops every 6th frame, ..., choice 4 every 2nd
    return index % every != 0;
}

QString ImagePipeline::OutputExtension(int imageType, const QString& sourceExtension)
{
    switch (imageType) {
        case 0:
            break;
        case 2:
            return QStringLiteral("webp");
        case 3:
            return QStringLiteral("avif");
        default:
            return QStringLiteral("jpg");
    }
    const QString& e = sourceExtension;
    if (e == u"jpg" || e == u"jpeg") return QStringLiteral("jpg");
    if (e == u"png" || e == u"bmp" || e == u"gif" || e == u"webp" || e == u"avif") return e;
    if (e == u"heic" || e == u"heif") return QStringLiteral("heic");
    if (e == u"tif" || e == u"tiff") return QStringLiteral("tiff");
    return {};
}

int ImagePipeline::ModernQuality(const char* magick, int compressType)
{
    // Measured against this program's JPEG at the strengths' usual qualities (80, 65, 55):
    // the lowest encoder quality whose luma SSIM stays within 0.005 of the JPEG's on two
    // photos with grain, a noisy photo and a screenshot (see the README). Each strength's is
    // lower than the weaker one's, so a stronger strength writes a smaller file with one encode;
    // libheif's AVIF scale moves in steps (55 and 56, 58 and 59 write the same file), so the
    // HEIF qualities sit on different steps.
    static constexpr int kWebp[] = {80, 75, 70};
    static constexpr int kHeif[] = {60, 57, 55};
    const int strength = compressType >= 0 && compressType <= 2 ? compressType : 0;
    return std::strcmp(magick, "WEBP") == 0 ? kWebp[strength] : kHeif[strength];
}
