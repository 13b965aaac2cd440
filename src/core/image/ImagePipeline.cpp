#include "core/image/ImagePipeline.h"

#include "core/app/TextUtil.h"
#include "core/image/OutputFile.h"
#include "core/image/SourceQuality.h"

#include <Magick++.h>

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <future>
#include <mutex>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

// A source larger than this could not be decoded within the memory limit anyway; refusing it
// early saves reading it into memory.
constexpr qint64 kMaxSourceBytes = static_cast<qint64>(ImagePipeline::kMemoryLimit);

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

std::string ErrnoText(const char* what, const QString& path, int error)
{
    return std::string(what) + " " + path.toStdString() + ": " + std::strerror(error);
}

// A source file read into memory, with the format its first bytes announce.
struct Source {
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
    return {};
}

Source ReadSource(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error(ErrnoText("cannot open", path, errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    struct stat info;
    if (::fstat(fd, &info) != 0) throw std::runtime_error(ErrnoText("cannot stat", path, errno));
    if (!S_ISREG(info.st_mode)) throw std::runtime_error(path.toStdString() + ": not a file");
    if (info.st_size > kMaxSourceBytes)
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
    source.magick = FormatOf(buffer, length);
    source.size = static_cast<qint64>(length);
    source.blob.updateNoCopy(buffer, length, Magick::Blob::NewAllocator);
    if (source.magick.empty())
        throw std::runtime_error(path.toStdString() + ": not a BMP, JPEG, PNG or GIF image");
    return source;
}

// Refuses a source whose decoded pixels alone would pass the memory limit, from its headers
// (a ping decodes nothing). Without this the library would move such an image to a disk cache
// where its policy allows one, and a file of a few kilobytes that claims a huge canvas would
// cost gigabytes of disk and minutes of work. allFrames: every frame is worked on (a GIF kept
// as a GIF), not only the first.
void CheckPixelBudget(const Source& source, bool allFrames)
{
    std::vector<Magick::Image> frames;
    Magick::ReadOptions options;
    options.imageInfo()->ping = MagickCore::MagickTrue;
    std::strncpy(options.imageInfo()->magick, source.magick.c_str(), MaxTextExtent - 1);
    Magick::readImages(&frames, source.blob, options);
    if (!allFrames && frames.size() > 1) frames.resize(1);
    unsigned long long pixels = 0;
    for (const Magick::Image& frame : frames) {
        // A GIF's frames each become a whole canvas before they are worked on.
        const Magick::Geometry page = frame.page();
        const unsigned long long width = std::max<unsigned long long>(frame.columns(), page.width());
        const unsigned long long height = std::max<unsigned long long>(frame.rows(), page.height());
        pixels += width * height;
    }
    if (pixels > ImagePipeline::kMemoryLimit / sizeof(MagickCore::PixelPacket))
        throw std::runtime_error(std::to_string(pixels) +
                                 " pixels do not fit in the image memory limit");
}

// Reads the first frame of the source, upright: a camera's orientation tag would be lost with
// the other metadata, so it is applied to the pixels first.
void ReadFirstFrame(Magick::Image& image, const Source& source)
{
    image.subImage(0);
    image.subRange(1);
    image.magick(source.magick);
    image.read(source.blob);
    image.autoOrient();
}

Magick::Geometry BoxFor(const Magick::Image& image, const ImageParams& params)
{
    const auto box = ImagePipeline::ResizeBox(static_cast<int>(image.columns()),
                                              static_cast<int>(image.rows()), params);
    return Magick::Geometry(static_cast<size_t>(box.width), static_cast<size_t>(box.height));
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

Magick::Blob CompressJpeg(const Source& source, const ImageParams& params)
{
    // The identifier runs while the image is decoded; its answer is needed only for the write.
    auto sourceQuality = std::async(std::launch::async, [&params] {
        return SourceQuality::Read(params.identifyPath, params.sourcePath);
    });
    Magick::Image image;
    ReadFirstFrame(image, source);
    image.strip();

    if (const auto quality = ImagePipeline::JpegQuality(sourceQuality.get(), params.compressType))
        image.quality(static_cast<size_t>(*quality));

    if (ImagePipeline::CustomSizeApplies(params)) {
        try {
            image.resize(BoxFor(image, params));
        } catch (const std::exception& error) {
            Report("resize:", error);
        }
    } else {
        image.resize(BoxFor(image, params));
    }
    return Encode(image, "JPEG");
}

Magick::Blob CompressPng(const Source& source, const ImageParams& params)
{
    Magick::Image image;
    ReadFirstFrame(image, source);
    image.strip();
    image.resize(BoxFor(image, params));
    ReduceColours(image, ImagePipeline::ColourCount(params.compressType), true);
    return Encode(image, "PNG");
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

Magick::Blob CompressBmp(const Source& source, const ImageParams& params)
{
    Magick::Image first;
    ReadFirstFrame(first, source);
    first.strip();
    ReduceColours(first, 256, true);
    const TemporaryPng intermediate(params.tempDir, Encode(first, "PNG"));

    Magick::Image image;
    ReadFirstFrame(image, ReadSource(intermediate.Path()));
    image.resize(BoxFor(image, params));
    ReduceColours(image, ImagePipeline::ColourCount(params.compressType), false);
    return Encode(image, "BMP");
}

Magick::Blob CompressGif(const Source& source, const ImageParams& params)
{
    std::vector<Magick::Image> frames;
    try {
        Magick::ReadOptions options;
        std::strncpy(options.imageInfo()->magick, source.magick.c_str(), MaxTextExtent - 1);
        Magick::readImages(&frames, source.blob, options);
    } catch (const std::exception& error) {
        Report("readImages: ", error);
    }
    DebugPrint("lstImage->size: %zu\n", frames.size());
    if (frames.empty()) throw std::runtime_error("the GIF holds no frame");

    // Every frame as the viewer sees it: the whole canvas, whatever part the file stored. Only
    // then can frames be resized alike and dropped without losing what they drew.
    std::vector<Magick::Image> canvas;
    Magick::coalesceImages(&canvas, frames.begin(), frames.end());
    frames.clear();

    const float fuzz =
        static_cast<float>(ImagePipeline::FuzzPercent(params.compressType)) * 65535.0f / 100.0f;
    for (Magick::Image& frame : canvas) {
        frame.strip();
        frame.colorFuzz(fuzz);
        frame.resize(BoxFor(frame, params));
        frame.page(Magick::Geometry(frame.columns(), frame.rows(), 0, 0));
    }

    const bool dropping = params.gifDefineParam != 0;
    std::vector<Magick::Image> kept;
    if (dropping) {
        for (std::size_t i = 0; i < canvas.size(); ++i) {
            if (ImagePipeline::KeepsGifFrame(static_cast<int>(i), params.gifDropFrameIndex)) {
                kept.push_back(canvas[i]);
            } else {
                // The frame shown before it stays up for its time too: the animation keeps
                // its length.
                Magick::Image& previous = kept.back();
                previous.animationDelay(previous.animationDelay() + canvas[i].animationDelay());
            }
        }
    } else {
        kept = std::move(canvas);
    }

    // Store each frame as the part that changes, then make unchanged pixels transparent.
    std::vector<Magick::Image> optimized;
    Magick::optimizeImageLayers(&optimized, kept.begin(), kept.end());
    kept.clear();
    Magick::optimizeTransparency(optimized.begin(), optimized.end());
    // One palette for the whole animation. Left to the encoder, every frame would be quantized
    // on its own, and each quantization of this library version clears a 128 MB colour cache
    // first: about a tenth of a second per frame, whatever its size.
    Magick::quantizeImages(optimized.begin(), optimized.end());

    optimized.front().magick("GIF");
    Magick::Blob blob;
    if (dropping) {
        Magick::writeImages(optimized.begin(), optimized.end(), &blob, true);
    } else {
        try {
            Magick::writeImages(optimized.begin(), optimized.end(), &blob, true);
        } catch (const std::exception& error) {
            Report("writeImages: ", error);
        }
    }
    return blob;
}

qint64 FileSize(const QString& path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        throw std::runtime_error(ErrnoText("written file missing:", path, errno));
    return static_cast<qint64>(info.st_size);
}

ImageDoneRecord RunUnguarded(const ImageParams& params)
{
    const OutputFile::SourceName name = OutputFile::Split(params.sourcePath);
    const bool jpegForm =
        params.imageType != 0 || name.extension == u"jpg" || name.extension == u"jpeg";
    const QString extension = jpegForm ? QStringLiteral("jpg") : name.extension;
    if (!jpegForm && extension != u"png" && extension != u"bmp" && extension != u"gif")
        throw std::runtime_error("no treatment for ." + extension.toStdString() + " files");

    const Source source = ReadSource(params.sourcePath);
    CheckPixelBudget(source, !jpegForm && extension == u"gif");
    Magick::Blob encoded;
    if (jpegForm)
        encoded = CompressJpeg(source, params);
    else if (extension == u"png")
        encoded = CompressPng(source, params);
    else if (extension == u"bmp")
        encoded = CompressBmp(source, params);
    else
        encoded = CompressGif(source, params);

    ImageDoneRecord done;
    done.task_id = params.task_id;
    done.outputPath = OutputFile::SaveNew(params.outputDir, name.baseName, extension,
                                          encoded.data(), encoded.length());
    done.sourceSize = source.size;
    done.outputSize = FileSize(done.outputPath);
    return done;
}

}  // namespace

void ImagePipeline::InitializeLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Magick::InitializeMagick(nullptr);
        Magick::ResourceLimits::memory(kMemoryLimit);
    });
}

ImageRunResult ImagePipeline::Run(const ImageParams& params)
{
    ImageRunResult result;
    try {
        InitializeLibrary();
        result.done = RunUnguarded(params);
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
