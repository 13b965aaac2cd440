// SPDX-License-Identifier: GPL-3.0-or-later
// Images of several frames or pages through the real pipeline: animations and multi-page TIFFs
// keep every frame, outputs of one frame refuse them (a HEIF burst in any output), and a file of
// more pages than the memory budget holds is refused before a page is decoded.
#include "core/app/FailureText.h"
#include "core/image/FrameLayout.h"
#include "core/image/ImagePipeline.h"
#include "core/image/ImageTestSupport.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace imagetest;

namespace {

// Red, green and blue frames shown 100, 200 and 300 ms, played twice.
std::vector<Magick::Image> ThreeFrames(int width, int height)
{
    std::vector<Magick::Image> frames;
    int delay = 10;
    for (const char* colour : {"red", "lime", "blue"}) {
        frames.push_back(MakeImage(colour, width, height));
        frames.back().animationDelay(delay);
        frames.back().animationIterations(2);
        delay += 10;
    }
    return frames;
}

void SaveAs(std::vector<Magick::Image> frames, const std::string& magick, const QString& path)
{
    frames.front().magick(magick);
    Magick::Blob blob;
    Magick::writeImages(frames.begin(), frames.end(), &blob, true);
    WriteBytes(path, QByteArray(static_cast<const char*>(blob.data()), qsizetype(blob.length())));
}

std::vector<Magick::Image> StoredFrames(const QString& path)
{
    const QByteArray bytes = ReadBytes(path);
    std::vector<Magick::Image> frames;
    Magick::readImages(&frames, Magick::Blob(bytes.constData(), bytes.size()));
    return frames;
}

// Whether the centre pixel has the named colour, as closely as a lossy encoder keeps it.
::testing::AssertionResult CentreIs(const Magick::Image& image, const char* name)
{
    const Magick::ColorRGB expected{Magick::Color(name)};
    const Magick::ColorRGB got =
        image.pixelColor(image.columns() / 2, static_cast<ssize_t>(image.rows() / 2));
    if (std::abs(got.red() - expected.red()) < 0.1 &&
        std::abs(got.green() - expected.green()) < 0.1 &&
        std::abs(got.blue() - expected.blue()) < 0.1)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "centre is " << got.red() << "," << got.green() << ","
                                         << got.blue() << ", not " << name;
}

// Frames as shown match the three frames: their colours (lossy encoders come close), times and
// the loop count.
void ExpectThreeFrames(const QString& path)
{
    const std::vector<Magick::Image> shown = ShownFrames(path);
    ASSERT_EQ(shown.size(), 3u);
    const char* colours[] = {"red", "lime", "blue"};
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_TRUE(CentreIs(shown[i], colours[i])) << "frame " << i;
        EXPECT_EQ(shown[i].animationDelay(), 10 * (i + 1)) << "frame " << i;
    }
    EXPECT_EQ(StoredFrames(path).front().animationIterations(), 2u);
}

// The frames of a run's output as shown; none when the run failed.
std::vector<Magick::Image> ShownOutput(const ImageParams& params)
{
    const ImageRunResult result = ImagePipeline::Run(params);
    EXPECT_TRUE(result.Succeeded()) << result.failure;
    return result.Succeeded() ? ShownFrames(result.done->outputPath) : std::vector<Magick::Image>{};
}

TEST_F(ImageFolderTest, AGifToWebpAndAnAnimatedWebpStayAnimated)
{
    SaveFrames(ThreeFrames(32, 24), Src("anim.gif"));
    ImageParams params = Params("anim.gif");
    params.imageType = 2;
    const ImageRunResult fromGif = ImagePipeline::Run(params);
    ASSERT_TRUE(fromGif.Succeeded()) << fromGif.failure;
    EXPECT_TRUE(fromGif.done->outputPath.endsWith(".webp"));
    ExpectThreeFrames(fromGif.done->outputPath);

    // A frame that repeats the one before is stored as a longer time of that one.
    std::vector<Magick::Image> repeated = ThreeFrames(32, 24);
    repeated[1] = MakeImage("red", 32, 24);
    repeated[1].animationDelay(20);
    SaveFrames(repeated, Src("repeat.gif"));
    params = Params("repeat.gif");
    params.imageType = 2;
    const std::vector<Magick::Image> two = ShownOutput(params);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].animationDelay(), 30u);
    EXPECT_TRUE(CentreIs(two[1], "blue"));

    // An animated WebP kept in its form, at a deeper strength, with frames stored as parts.
    std::vector<Magick::Image> parts = ThreeFrames(32, 24);
    parts[1].crop(Magick::Geometry(10, 10, 11, 7));
    parts[1].page(Magick::Geometry(32, 24, 11, 7));
    SaveAs(parts, "WEBP", Src("moving.webp"));
    params = Params("moving.webp");
    params.compressType = 2;
    const std::vector<Magick::Image> shown = ShownOutput(params);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_TRUE(CentreIs(shown[1], "lime")) << "the part is in its place";
    EXPECT_TRUE(CentreIs(shown[2], "blue"));
}

TEST_F(ImageFolderTest, AMultiPageTiffKeepsEveryPageAndItsSize)
{
    const char* colours[] = {"red", "lime", "blue"};
    std::vector<Magick::Image> pages{MakeImage(colours[0], 40, 30), MakeImage(colours[1], 20, 20),
                                     MakeImage(colours[2], 10, 50)};
    SaveAs(pages, "TIFF", Src("scan.tif"));
    const ImageRunResult result = ImagePipeline::Run(Params("scan.tif"));
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    const std::vector<Magick::Image> written = StoredFrames(result.done->outputPath);
    ASSERT_EQ(written.size(), 3u);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(written[i].columns(), pages[i].columns()) << "page " << i;
        EXPECT_EQ(written[i].rows(), pages[i].rows()) << "page " << i;
        EXPECT_TRUE(CentreIs(written[i], colours[i])) << "page " << i;
    }
}

// Runs params into the output imageType, expecting the refusal of a source of several frames;
// the reason given.
std::string ExpectOneFrameOnly(ImageParams params, int imageType)
{
    params.imageType = imageType;
    const ImageRunResult result = ImagePipeline::Run(params);
    EXPECT_FALSE(result.Succeeded()) << params.sourcePath.toStdString() << " to " << imageType;
    EXPECT_EQ(ClassifyFailure(QString::fromStdString(result.failure)), FailureCause::OneFrameOnly)
        << result.failure;
    return result.failure;
}

// Every output that holds one frame refuses a source of several, with a reason the user is
// shown, and writes nothing: a saving reported for it would hide the frames it lost.
TEST_F(ImageFolderTest, SeveralFramesForAnOutputOfOneAreRefused)
{
    SaveFrames(ThreeFrames(16, 16), Src("anim.gif"));
    SaveAs(ThreeFrames(16, 16), "WEBP", Src("anim.webp"));
    SaveAs(ThreeFrames(16, 16), "TIFF", Src("pages.tif"));
    struct Case {
        const char* source;
        int imageType;
    };
    for (const Case c : {Case{"anim.gif", 1}, Case{"anim.gif", 3}, Case{"anim.webp", 1},
                         Case{"anim.webp", 3}, Case{"pages.tif", 2}, Case{"pages.tif", 3}}) {
        ExpectOneFrameOnly(Params(c.source), c.imageType);
    }
    EXPECT_TRUE(Entries(OutDir()).isEmpty()) << Entries(OutDir()).join(' ').toStdString();
}

heif_error AppendTo(heif_context*, const void* data, size_t size, void* out)
{
    static_cast<std::string*>(out)->append(static_cast<const char*>(data), size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

// A HEIF holding one top-level image of each size (grey, 8 bits), as a camera's burst stores
// them, written by libheif's own encoders; the image at `primary` is the one shown by default.
QByteArray HeifOfImages(bool av1, const std::vector<std::pair<int, int>>& sizes, int primary = 0)
{
    const std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(),
                                                                              heif_context_free);
    heif_encoder* encoder = nullptr;
    EXPECT_EQ(heif_context_get_encoder_for_format(
                  context.get(), av1 ? heif_compression_AV1 : heif_compression_HEVC, &encoder)
                  .code,
              heif_error_Ok);
    if (!encoder) return {};
    heif_encoder_set_lossy_quality(encoder, 50);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const auto [width, height] = sizes[i];
        heif_image* image = nullptr;
        heif_image_create(width, height, heif_colorspace_monochrome, heif_chroma_monochrome,
                          &image);
        heif_image_add_plane(image, heif_channel_Y, width, height, 8);
        int stride = 0;
        std::uint8_t* plane = heif_image_get_plane(image, heif_channel_Y, &stride);
        for (int y = 0; y < height; ++y)
            std::memset(plane + y * stride, int(40 + 80 * i), std::size_t(width));
        heif_image_handle* handle = nullptr;
        EXPECT_EQ(heif_context_encode_image(context.get(), image, encoder, nullptr, &handle).code,
                  heif_error_Ok);
        if (int(i) == primary && handle) heif_context_set_primary_image(context.get(), handle);
        if (handle) heif_image_handle_release(handle);
        heif_image_release(image);
    }
    heif_encoder_release(encoder);
    std::string out;
    heif_writer writer{};
    writer.writer_api_version = 1;
    writer.write = &AppendTo;
    EXPECT_EQ(heif_context_write(context.get(), &writer, &out).code, heif_error_Ok);
    return QByteArray(out.data(), qsizetype(out.size()));
}

// A HEIC or AVIF of several images (a burst) is read as its primary image only: every output,
// its own format too, would keep that one, so the run is refused and writes nothing. One image
// alone still runs.
TEST_F(ImageFolderTest, HeifOfSeveralImagesIsRefusedForAnyOutput)
{
    WriteBytes(Src("burst.heic"), HeifOfImages(false, {{32, 24}, {32, 24}, {16, 16}}));
    WriteBytes(Src("burst.avif"), HeifOfImages(true, {{16, 16}, {16, 16}}));
    struct Case {
        const char* source;
        int imageType;
        const char* frames;
    };
    for (const Case c : {Case{"burst.heic", 0, "3 frames"}, Case{"burst.heic", 1, "3 frames"},
                         Case{"burst.heic", 3, "3 frames"}, Case{"burst.avif", 0, "2 frames"},
                         Case{"burst.avif", 2, "2 frames"}}) {
        const std::string failure = ExpectOneFrameOnly(Params(c.source), c.imageType);
        EXPECT_NE(failure.find(c.frames), std::string::npos) << failure;
    }
    EXPECT_TRUE(Entries(OutDir()).isEmpty()) << Entries(OutDir()).join(' ').toStdString();

    WriteBytes(Src("one.heic"), HeifOfImages(false, {{32, 24}}));
    const ImageRunResult one = ImagePipeline::Run(Params("one.heic"));
    EXPECT_TRUE(one.Succeeded()) << one.failure;
}

// A TIFF of `pages` one-pixel grey pages, every directory pointing at the same pixel byte; the
// last one's next offset is `lastNext` (0 ends the chain).
QByteArray PagesTiff(int pages, quint32 lastNext = 0)
{
    QByteArray tiff("II*\0\x0a\0\0\0\x80\0", 10);
    const quint16 entries[][3] = {{256, 3, 1}, {257, 3, 1}, {258, 3, 8}, {259, 3, 1}, {262, 3, 1},
                                  {273, 4, 8}, {277, 3, 1}, {278, 3, 1}, {279, 4, 1}};
    const auto put = [&tiff](quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i) tiff.append(char(value >> (8 * i) & 0xFF));
    };
    for (int page = 0; page < pages; ++page) {
        const quint32 at = static_cast<quint32>(tiff.size());
        put(9, 2);
        for (const auto& entry : entries) {
            put(entry[0], 2);
            put(entry[1], 2);
            put(1, 4);
            put(entry[2], 4);
        }
        put(page + 1 < pages ? at + 2 + 9 * 12 + 4 : lastNext, 4);
    }
    return tiff;
}

TEST_F(ImageFolderTest, MorePagesThanTheBudgetHoldsAreRefusedBeforeAnyIsDecoded)
{
    WriteBytes(Src("pages.tif"), PagesTiff(50000));
    QElapsedTimer clock;
    clock.start();
    const ImageRunResult result = ImagePipeline::Run(Params("pages.tif"));
    EXPECT_LT(clock.elapsed(), 5000) << "the pages were read";
    ASSERT_FALSE(result.Succeeded());
    EXPECT_EQ(ClassifyFailure(QString::fromStdString(result.failure)), FailureCause::OutOfMemory)
        << result.failure;
    EXPECT_TRUE(Entries(OutDir()).isEmpty());
    EXPECT_EQ(ImagePipeline::Budget().InUse(), 0u);

    // A few such pages are a multi-page TIFF like any other.
    WriteBytes(Src("few.tif"), PagesTiff(5));
    const ImageRunResult few = ImagePipeline::Run(Params("few.tif"));
    ASSERT_TRUE(few.Succeeded()) << few.failure;
    EXPECT_EQ(StoredFrames(few.done->outputPath).size(), 5u);
}

// The layouts come from bytes anyone can write: chains that loop or run out of the file end.
TEST(FrameLayoutTest, CountsFramesAndStopsAtLoopsAndCutFiles)
{
    const QByteArray pages = PagesTiff(3);
    const auto* bytes = reinterpret_cast<const unsigned char*>(pages.constData());
    const auto layout = framelayout::ReadTiff(bytes, std::size_t(pages.size()));
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->frames, 3u);
    EXPECT_EQ(layout->storedPixels, 3u);

    // The last directory points back at the first: counted once.
    const QByteArray loop = PagesTiff(3, 10);
    const auto looped = framelayout::ReadTiff(reinterpret_cast<const unsigned char*>(loop.data()),
                                              std::size_t(loop.size()));
    ASSERT_TRUE(looped);
    EXPECT_EQ(looped->frames, 3u);
    // Cut in the middle of the second directory: the first still counts.
    EXPECT_EQ(framelayout::ReadTiff(bytes, 10 + 118 + 40)->frames, 1u);
    EXPECT_FALSE(framelayout::ReadTiff(bytes, 6));

    // An animated WebP written by the real encoder, then cut after its second frame's header.
    ImagePipeline::InitializeLibrary();
    std::vector<Magick::Image> frames = ThreeFrames(16, 16);
    frames.front().magick("WEBP");
    Magick::Blob blob;
    Magick::writeImages(frames.begin(), frames.end(), &blob, true);
    const auto* webp = static_cast<const unsigned char*>(blob.data());
    const auto animated = framelayout::ReadWebp(webp, blob.length());
    ASSERT_TRUE(animated);
    EXPECT_EQ(animated->frames, 3u);
    EXPECT_EQ(animated->canvasPixels, 3u * 16 * 16);
    std::size_t second = 0;
    for (std::size_t at = 0, seen = 0; at + 4 <= blob.length(); ++at)
        if (std::memcmp(webp + at, "ANMF", 4) == 0 && ++seen == 2) second = at;
    ASSERT_GT(second, 0u);
    EXPECT_LE(framelayout::ReadWebp(webp, second + 30)->frames, 2u);

    // A HEIF's top-level images, its primary image first whatever its place in the file; bytes
    // that are no HEIF give no layout.
    const QByteArray heif = HeifOfImages(false, {{16, 16}, {48, 32}, {16, 16}}, 1);
    const auto images = framelayout::ReadHeif(
        reinterpret_cast<const unsigned char*>(heif.constData()), std::size_t(heif.size()));
    ASSERT_TRUE(images);
    EXPECT_EQ(images->frames, 3u);
    EXPECT_EQ(images->firstWidth, 48u);
    EXPECT_EQ(images->firstHeight, 32u);
    EXPECT_EQ(images->storedPixels, 2u * 16 * 16 + 48 * 32);
    EXPECT_FALSE(framelayout::ReadHeif(bytes, std::size_t(pages.size())));
}

}  // namespace
