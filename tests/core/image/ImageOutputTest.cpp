// SPDX-License-Identifier: GPL-3.0-or-later
// What the pipeline writes, measured: sizes and structural similarity against the reference
// tools (pngquant, cjpeg) run on the same sources, transparency written as JPEG, colour
// profiles, strengths against each other, and the image library's limits.

#include "core/image/ColourProfile.h"
#include "core/image/ImagePipeline.h"
#include "core/platform/ChildProcess.h"

#include "core/image/ImageTestSupport.h"

#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace imagetest;

namespace {

Magick::Image Load(const QString& path)
{
    const QByteArray bytes = ReadBytes(path);
    return Magick::Image(Magick::Blob(bytes.constData(), std::size_t(bytes.size())));
}

// Mean SSIM over the channels, in 8x8 windows every 4 pixels. With alpha: the colours laid on
// grey (what hides under transparency does not count) and the alpha channel.
double Ssim(Magick::Image a, Magick::Image b, bool alpha = false)
{
    const int w = int(a.columns()), h = int(a.rows());
    EXPECT_EQ(w, int(b.columns()));
    EXPECT_EQ(h, int(b.rows()));
    const auto pixels = [w, h, alpha](Magick::Image image) {
        std::vector<std::uint8_t> out(std::size_t(w) * h * (alpha ? 4 : 3));
        if (!alpha) {
            image.write(0, 0, w, h, "RGB", Magick::CharPixel, out.data());
            return out;
        }
        Magick::Image flat(Magick::Geometry(w, h), Magick::Color("gray50"));
        flat.composite(image, 0, 0, MagickCore::OverCompositeOp);
        std::vector<std::uint8_t> rgb(std::size_t(w) * h * 3), a(std::size_t(w) * h);
        flat.write(0, 0, w, h, "RGB", Magick::CharPixel, rgb.data());
        image.write(0, 0, w, h, "A", Magick::CharPixel, a.data());
        for (std::size_t i = 0; i < a.size(); ++i) {
            std::copy_n(rgb.begin() + 3 * i, 3, out.begin() + 4 * i);
            out[4 * i + 3] = a[i];
        }
        return out;
    };
    const std::vector<std::uint8_t> pa = pixels(a), pb = pixels(b);
    const int channels = alpha ? 4 : 3;
    const double c1 = 6.5025, c2 = 58.5225;  // (0.01 * 255)^2, (0.03 * 255)^2
    double total = 0;
    long windows = 0;
    for (int y = 0; y + 8 <= h; y += 4)
        for (int x = 0; x + 8 <= w; x += 4)
            for (int c = 0; c < channels; ++c) {
                double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
                for (int dy = 0; dy < 8; ++dy)
                    for (int dx = 0; dx < 8; ++dx) {
                        const std::size_t i = (std::size_t(y + dy) * w + (x + dx)) * channels + c;
                        sa += pa[i];
                        sb += pb[i];
                        saa += double(pa[i]) * pa[i];
                        sbb += double(pb[i]) * pb[i];
                        sab += double(pa[i]) * pb[i];
                    }
                const double n = 64, ma = sa / n, mb = sb / n;
                const double va = saa / n - ma * ma, vb = sbb / n - mb * mb,
                             cov = sab / n - ma * mb;
                total += (2 * ma * mb + c1) * (2 * cov + c2) /
                         ((ma * ma + mb * mb + c1) * (va + vb + c2));
                ++windows;
            }
    return windows ? total / double(windows) : 0;
}

// Figures compared as the benchmark prints them: to five decimals.
constexpr double kSsimPrecision = 1e-5;

platform::CaptureResult Tool(const char* name, const QStringList& arguments,
                             const QString& input = QString())
{
    const QString program = QStandardPaths::findExecutable(QString::fromLatin1(name));
    EXPECT_FALSE(program.isEmpty()) << name << " is missing (scripts/install-deps installs it)";
    return platform::RunCapture(program, arguments, 60000, 64 << 20, input);
}

// The colour type byte of a PNG's header (3: indexed).
int PngColourType(const QString& path)
{
    const QByteArray bytes = ReadBytes(path);
    return bytes.size() > 25 ? int(static_cast<unsigned char>(bytes[25])) : -1;
}

Magick::Image Text(int width, int height)
{
    Magick::Image image(Magick::Geometry(width, height), Magick::Color("#f3f3f3"));
    image.fillColor("#2b5797");
    image.draw(Magick::DrawableRectangle(0, 0, width, 24));
    image.fillColor("#202020");
    image.font("DejaVu-Sans");  // fonts-dejavu-core
    image.fontPointsize(12);
    for (int row = 0; row < (height - 30) / 16; ++row)
        image.draw(Magick::DrawableText(8, 42 + row * 16,
                                        "report_" + std::to_string(row) + ".pdf   12" +
                                            std::to_string(row) + " KB   2024-03-1" +
                                            std::to_string(row % 10)));
    Magick::Image rose("rose:");
    image.composite(rose, width - 80, 30, MagickCore::OverCompositeOp);
    return image;
}

Magick::Image Scaled(const char* builtIn, int width, int height)
{
    Magick::Image image(builtIn);
    Magick::Geometry size(width, height);
    size.aspect(true);
    image.resize(size);
    return image;
}

Magick::Image TransparentLogo(int width, int height)
{
    // The logo's white made transparent, and the colour hidden there black.
    Magick::Image logo = Scaled("logo:", width, height);
    logo.matte(true);
    logo.colorFuzz(0.1 * 65535);
    logo.transparent(Magick::Color("white"));
    logo.backgroundColor(Magick::Color("black"));
    logo.alphaChannel(MagickCore::BackgroundAlphaChannel);
    return logo;
}

// ---- PNG against pngquant ---------------------------------------------------------------------

struct PngSample {
    const char* name;
    std::function<Magick::Image()> make;
};

class PngAgainstPngquant : public ImageFolderTest,
                           public ::testing::WithParamInterface<PngSample> {};

TEST_P(PngAgainstPngquant, IndexedNoLargerAndNoLessSimilar)
{
    ImagePipeline::InitializeLibrary();
    Magick::Image source = GetParam().make();
    source.depth(8);  // as real PNGs are: the tools' 16-to-8-bit conversions differ
    Save(source, "PNG", Src("in.png"));
    const Magick::Image decoded = Load(Src("in.png"));

    const ImageRunResult result = ImagePipeline::Run(Params("in.png"));
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    EXPECT_EQ(PngColourType(result.done->outputPath), 3);

    // pngquant's own default range; below its minimum it writes nothing, so then none.
    auto reference = Tool("pngquant", {"--quality", "65-80", "--force", "--output", Out("pq.png"),
                                       "--", Src("in.png")});
    if (reference.exitCode == 99)
        reference = Tool("pngquant", {"--quality", "0-80", "--force", "--output", Out("pq.png"),
                                      "--", Src("in.png")});
    ASSERT_TRUE(reference.Succeeded()) << reference.output.constData();

    const bool alpha = source.matte();
    const double ours = Ssim(decoded, Load(result.done->outputPath), alpha);
    const double theirs = Ssim(decoded, Load(Out("pq.png")), alpha);
    EXPECT_LE(result.done->outputSize, QFileInfo(Out("pq.png")).size());
    EXPECT_GE(ours + kSsimPrecision, theirs);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, PngAgainstPngquant,
    ::testing::Values(PngSample{"Photo", [] { return Scaled("rose:", 320, 240); }},
                      PngSample{"Drawing", [] { return Scaled("logo:", 320, 240); }},
                      PngSample{"Wizard", [] { return Scaled("wizard:", 240, 320); }},
                      PngSample{"Screenshot", [] { return Text(360, 240); }},
                      PngSample{"Transparent", [] { return TransparentLogo(320, 240); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImageFolderTest, PngThatWouldGrowKeepsItsOwnPixelsWithoutItsMetadata)
{
    // A smooth gradient filters to almost nothing as true colour; dithered to a palette it
    // becomes noise.
    Magick::Image smooth(Magick::Geometry(480, 320), Magick::Color("white"));
    smooth.read("gradient:navy-orange");
    smooth.depth(8);
    smooth.comment("taken by a test");
    Save(smooth, "PNG", Src("smooth.png"));
    ASSERT_TRUE(ReadBytes(Src("smooth.png")).contains("tEXt"));

    const ImageRunResult result = ImagePipeline::Run(Params("smooth.png"));
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    EXPECT_LE(result.done->outputSize, result.done->sourceSize);
    EXPECT_FALSE(ReadBytes(result.done->outputPath).contains("tEXt"));
    EXPECT_GE(Ssim(Load(Src("smooth.png")), Load(result.done->outputPath)), 0.98);
}

// ---- JPEG against cjpeg -----------------------------------------------------------------------

struct JpegSample {
    const char* name;
    std::function<Magick::Image()> make;
    int quality;
};

class JpegAgainstCjpeg : public ImageFolderTest,
                         public ::testing::WithParamInterface<JpegSample> {};

TEST_P(JpegAgainstCjpeg, ProgressiveHalvedChromaNoLargerAndNoLessSimilar)
{
    const JpegSample& sample = GetParam();
    ImagePipeline::InitializeLibrary();
    Save(sample.make(), "JPEG", Src("in.jpg"), sample.quality);
    ImageParams params = Params("in.jpg");
    params.identifyPath = IdentifyProgram();

    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    EXPECT_EQ(Identify(result.done->outputPath, "%[interlace] %[jpeg:sampling-factor]"),
              "JPEG 2x2,1x1,1x1");
    const QString quality = Identify(result.done->outputPath, "%Q");
    EXPECT_EQ(quality.toInt(), int(sample.quality * 0.8));

    const auto pixels = Tool("djpeg", {"-outfile", Out("in.ppm"), Src("in.jpg")});
    ASSERT_TRUE(pixels.Succeeded()) << pixels.output.constData();
    const auto reference = Tool("cjpeg", {"-quality", quality, "-optimize", "-progressive",
                                          "-outfile", Out("cjpeg.jpg"), Out("in.ppm")});
    ASSERT_TRUE(reference.Succeeded()) << reference.output.constData();

    const Magick::Image decoded = Load(Src("in.jpg"));
    EXPECT_LE(result.done->outputSize, QFileInfo(Out("cjpeg.jpg")).size());
    // The floating-point DCT against cjpeg's integer one: on fine text a few hundred-thousandths
    // either way.
    EXPECT_GE(Ssim(decoded, Load(result.done->outputPath)) + 5e-4,
              Ssim(decoded, Load(Out("cjpeg.jpg"))));
}

INSTANTIATE_TEST_SUITE_P(
    Samples, JpegAgainstCjpeg,
    ::testing::Values(JpegSample{"Photo", [] { return Scaled("rose:", 480, 320); }, 92},
                      // Saved at 95 with full chroma, which the output must not inherit.
                      JpegSample{"Drawing", [] { return Scaled("wizard:", 300, 400); }, 95},
                      JpegSample{"Screenshot", [] { return Text(400, 260); }, 90}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Transparency written as JPEG -------------------------------------------------------------

class TransparentToJpeg : public ImageFolderTest,
                          public ::testing::WithParamInterface<const char*> {};

TEST_P(TransparentToJpeg, ShowsWhiteWhereTheSourceWasTransparent)
{
    const std::string magick = GetParam();
    const Magick::Image source = TransparentLogo(240, 180);
    const QString name = "logo." + QString::fromStdString(magick).toLower();
    Save(source, magick, Src(name));
    ImageParams params = Params(name);
    params.imageType = 1;

    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    EXPECT_EQ(Identify(result.done->outputPath, "%m"), "JPEG");
    Magick::Image onWhite(Magick::Geometry(240, 180), Magick::Color("white"));
    onWhite.composite(Load(Src(name)), 0, 0, MagickCore::OverCompositeOp);
    const Magick::Image output = Load(result.done->outputPath);
    EXPECT_GE(Ssim(onWhite, output), 0.9);
    const Magick::ColorRGB corner = output.pixelColor(2, 2);  // transparent in the source
    EXPECT_GT(corner.red() + corner.green() + corner.blue(), 2.9);
}

INSTANTIATE_TEST_SUITE_P(Formats, TransparentToJpeg, ::testing::Values("PNG", "GIF", "BMP"));

// WebP and AVIF outputs keep the transparency: the colours it hid do not show. The image
// library reads no alpha plane from an AVIF, so the AVIF is decoded by libavif's own tool.
TEST_F(ImageFolderTest, TransparencyStaysInWebpAndAvif)
{
    const Magick::Image source = TransparentLogo(240, 180);
    Save(source, "PNG", Src("logo.png"));
    ImageParams params = Params("logo.png");
    params.imageType = 2;
    const ImageRunResult webp = ImagePipeline::Run(params);
    params.imageType = 3;
    const ImageRunResult avif = ImagePipeline::Run(params);
    ASSERT_TRUE(webp.Succeeded()) << webp.failure;
    ASSERT_TRUE(avif.Succeeded()) << avif.failure;
    ASSERT_EQ(Identify(avif.done->outputPath, "%m"), "HEIC");  // the library's name for both
    const auto decoded =
        platform::RunCapture(QStandardPaths::findExecutable("avifdec"),
                             {avif.done->outputPath, Out("avif.png")}, 20000, 1 << 20);
    ASSERT_TRUE(decoded.Succeeded()) << decoded.output.toStdString();

    for (const QString& path : {webp.done->outputPath, Out("avif.png")}) {
        const Magick::Image output = Load(path);
        ASSERT_TRUE(output.matte()) << path.toStdString();
        EXPECT_GE(Ssim(source, output, true), 0.9) << path.toStdString();
        // The library's alpha is an opacity: 1 is wholly transparent.
        EXPECT_GT(output.pixelColor(2, 2).alpha(), 0.9)
            << path.toStdString() << ": the corner is transparent in the source";
    }
}

// ---- Strengths against each other -------------------------------------------------------------

struct StrengthSample {
    const char* name;
    const char* file;
    std::function<void(const QString&)> make;
    int imageType = 0;  // the output format: the source's, or 2 WebP, 3 AVIF
    // False for an output the strengths leave alone (a transparent BMP stays true colour).
    bool distinct = true;
};

class StrengthsOrder : public ImageFolderTest,
                       public ::testing::WithParamInterface<StrengthSample> {};

// Each strength is one encode: a stronger one must write a smaller file of its own, neither a
// larger one nor the weaker one's bytes again.
TEST_P(StrengthsOrder, EachStrongerStrengthWritesASmallerFileOfItsOwn)
{
    const StrengthSample& sample = GetParam();
    ImagePipeline::InitializeLibrary();
    sample.make(Src(sample.file));
    qint64 previous = 0;
    QByteArray previousBytes;
    for (int strength = 0; strength <= 2; ++strength) {
        ImageParams params = Params(sample.file);
        params.compressType = strength;
        params.imageType = sample.imageType;
        params.identifyPath = IdentifyProgram();
        params.outputDir = OutDir() + "/" + QString::number(strength);
        ASSERT_TRUE(QDir().mkpath(params.outputDir));
        const ImageRunResult result = ImagePipeline::Run(params);
        ASSERT_TRUE(result.Succeeded()) << result.failure;
        const QByteArray bytes = ReadBytes(result.done->outputPath);
        if (strength > 0) {
            EXPECT_LE(result.done->outputSize, previous) << "strength " << strength;
            if (sample.distinct) {
                EXPECT_NE(bytes, previousBytes)
                    << "strength " << strength << " wrote the same file";
            }
        }
        previous = result.done->outputSize;
        previousBytes = bytes;
    }
}

void SaveAlphaBmp(const QString& path, bool hides)
{
    // A 32-bit BMP: its alpha all opaque, or hiding the logo's background.
    Magick::Image image = hides ? TransparentLogo(200, 150) : Scaled("rose:", 200, 150);
    image.matte(true);
    image.defineValue("bmp", "format", "bmp4");
    Save(image, "BMP", path);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, StrengthsOrder,
    ::testing::Values(
        StrengthSample{"Jpeg", "a.jpg",
                       [](const QString& p) { Save(Scaled("rose:", 400, 300), "JPEG", p, 93); }},
        StrengthSample{"PngPhoto", "a.png",
                       [](const QString& p) { Save(Scaled("rose:", 300, 200), "PNG", p); }},
        StrengthSample{"PngDrawing", "a.png",
                       [](const QString& p) { Save(Scaled("wizard:", 200, 260), "PNG", p); }},
        StrengthSample{"PngScreenshot", "a.png",
                       [](const QString& p) { Save(Scaled("logo:", 320, 240), "PNG", p); }},
        StrengthSample{"WebpPhoto", "a.jpg",
                       [](const QString& p) { Save(Scaled("rose:", 400, 300), "JPEG", p, 93); }, 2},
        StrengthSample{"WebpDrawing", "a.png",
                       [](const QString& p) { Save(Scaled("wizard:", 200, 260), "PNG", p); }, 2},
        StrengthSample{"AvifPhoto", "a.jpg",
                       [](const QString& p) { Save(Scaled("rose:", 400, 300), "JPEG", p, 93); }, 3},
        StrengthSample{"AvifDrawing", "a.png",
                       [](const QString& p) { Save(Scaled("wizard:", 200, 260), "PNG", p); }, 3},
        StrengthSample{"AvifTransparent", "a.png",
                       [](const QString& p) { Save(TransparentLogo(200, 150), "PNG", p); }, 3},
        StrengthSample{"HeicKept", "a.heic",
                       [](const QString& p) { Save(Scaled("rose:", 200, 150), "HEIC", p); }},
        StrengthSample{"Bmp", "a.bmp",
                       [](const QString& p) { Save(Scaled("rose:", 200, 150), "BMP", p); }},
        StrengthSample{"BmpOpaqueAlpha", "a.bmp", [](const QString& p) { SaveAlphaBmp(p, false); }},
        StrengthSample{"BmpTransparent", "a.bmp", [](const QString& p) { SaveAlphaBmp(p, true); },
                       0, false},
        StrengthSample{"Gif", "a.gif",
                       [](const QString& p) {
                           std::vector<Magick::Image> frames;
                           for (int i = 0; i < 4; ++i) {
                               frames.push_back(Scaled("rose:", 120, 80));
                               frames.back().rotate(i * 5);
                               frames.back().crop(Magick::Geometry(120, 80));
                               frames.back().animationDelay(10);
                           }
                           SaveFrames(frames, p);
                       }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImageFolderTest, BmpWithAnAlphaThatHidesNothingBecomesAPaletteBmp)
{
    SaveAlphaBmp(Src("a.bmp"), false);
    const ImageRunResult result = ImagePipeline::Run(Params("a.bmp"));
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    EXPECT_LT(result.done->outputSize, result.done->sourceSize / 3);
}

TEST_F(ImageFolderTest, BmpWithTransparencyKeepsItsPixels)
{
    SaveAlphaBmp(Src("a.bmp"), true);
    ImageParams params = Params("a.bmp");
    params.compressType = 2;
    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    EXPECT_EQ(Ssim(Load(Src("a.bmp")), Load(result.done->outputPath), true), 1.0);
}

// ---- Colour profiles --------------------------------------------------------------------------

std::string FileText(const char* path)
{
    const QByteArray bytes = ReadBytes(QString::fromLatin1(path));
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

// A green of sRGB (0, 200, 0) stored as Adobe RGB values and tagged so.
Magick::Image AdobeGreen()
{
    ImagePipeline::InitializeLibrary();
    const std::string adobe = FileText("/usr/share/color/icc/compatibleWithAdobeRGB1998.icc");
    EXPECT_FALSE(adobe.empty()) << "icc-profiles-free is missing (scripts/install-deps)";
    Magick::Image image(Magick::Geometry(48, 32), Magick::Color("rgb(0,200,0)"));
    image.profile("ICC", Magick::Blob(colourprofile::Srgb().data(), colourprofile::Srgb().size()));
    image.profile("ICC", Magick::Blob(adobe.data(), adobe.size()));
    return image;
}

struct ProfileCase {
    const char* name;
    const char* magick;
    bool adobe;     // tagged Adobe RGB (the output shows sRGB 0,200,0), else sRGB (values kept)
    int tolerance;  // per channel, of 255
};

class ColourProfiles : public ImageFolderTest, public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(ColourProfiles, OutputShowsTheSourcesColoursWithoutAProfile)
{
    const ProfileCase& c = GetParam();
    Magick::Image image = AdobeGreen();
    if (!c.adobe) {
        // The same values tagged sRGB: they must stay as they are.
        image = Magick::Image(Magick::Geometry(48, 32), image.pixelColor(0, 0));
        image.profile("ICC",
                      Magick::Blob(colourprofile::Srgb().data(), colourprofile::Srgb().size()));
    }
    const QString name = QStringLiteral("green.") + QString::fromLatin1(c.magick).toLower();
    Save(image, c.magick, Src(name), 95);
    ASSERT_FALSE(Load(Src(name)).iccColorProfile().length() == 0);

    const ImageRunResult result = ImagePipeline::Run(Params(name));
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    const Magick::Image output = Load(result.done->outputPath);
    EXPECT_EQ(output.iccColorProfile().length(), 0u);
    const Magick::ColorRGB pixel = output.pixelColor(20, 15);
    const Magick::ColorRGB want = c.adobe ? Magick::ColorRGB(0, 200 / 255.0, 0)
                                          : Magick::ColorRGB(Load(Src(name)).pixelColor(20, 15));
    EXPECT_NEAR(pixel.red() * 255, want.red() * 255, c.tolerance);
    EXPECT_NEAR(pixel.green() * 255, want.green() * 255, c.tolerance);
    EXPECT_NEAR(pixel.blue() * 255, want.blue() * 255, c.tolerance);
    if (c.adobe) {
        EXPECT_GT(Magick::ColorRGB(Load(Src(name)).pixelColor(20, 15)).red() * 255, 40)
            << "the source's own values are far from sRGB's";
    }
}

INSTANTIATE_TEST_SUITE_P(Tags, ColourProfiles,
                         ::testing::Values(ProfileCase{"AdobePng", "PNG", true, 2},
                                           ProfileCase{"AdobeJpeg", "JPEG", true, 12},
                                           ProfileCase{"SrgbPng", "PNG", false, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Reduced JPEG decoding --------------------------------------------------------------------

TEST_F(ImageFolderTest, ShrinkingARotatedJpegEndsAtTheRulesSizeWithItsDetail)
{
    Magick::Image photo = Scaled("rose:", 2400, 1600);
    Save(photo, "JPEG", Src("big.jpg"), 92);
    // "Turn 90 degrees clockwise to view": the decoder's hint is in stored orientation.
    const QByteArray jpeg = ReadBytes(Src("big.jpg"));
    WriteBytes(Src("big.jpg"), jpeg.left(2) +
                                   QByteArray::fromHex("ffe10022457869660000"
                                                       "4d4d002a000000080001"
                                                       "011200030000000100060000"
                                                       "00000000") +
                                   jpeg.mid(2));
    ImageParams params = Params("big.jpg");
    params.defineParam = 1;
    params.width = 301;
    params.height = 301;

    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    // The full decode, turned and fitted by the library, as the output would be without a hint.
    Magick::Image reference = Load(Src("big.jpg"));
    reference.autoOrient();
    reference.resize(Magick::Geometry(301, 301));
    const Magick::Image output = Load(result.done->outputPath);
    EXPECT_EQ(output.columns(), reference.columns());
    EXPECT_EQ(output.rows(), reference.rows());
    EXPECT_GE(Ssim(reference, output), 0.95);
}

// ---- The image library's limits ---------------------------------------------------------------

TEST(ImageLibraryLimits, ComeFromTheBudgetAboveTheSystemPolicy)
{
    ImagePipeline::InitializeLibrary();
    EXPECT_EQ(Magick::ResourceLimits::memory(), ImagePipeline::kMemoryLimit);
    EXPECT_EQ(Magick::ResourceLimits::map(), 0u);
    EXPECT_GE(Magick::ResourceLimits::width(), 100000u);
    EXPECT_GE(Magick::ResourceLimits::area(), 100000000u);
    EXPECT_EQ(std::getenv("MAGICK_CONFIGURE_PATH"), nullptr) << "the environment is restored";
}

// A grey PNG of width x height, one bit a pixel, all black.
QByteArray BlackPng(quint32 width, quint32 height)
{
    const auto chunk = [](const char* type, const QByteArray& data) {
        const QByteArray body = QByteArray(type, 4) + data;
        quint32 crc = 0xFFFFFFFFu;
        for (unsigned char byte : body) {
            crc ^= byte;
            for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        QByteArray out;
        QDataStream(&out, QIODevice::WriteOnly) << quint32(data.size());
        out += body;
        QDataStream(&out, QIODevice::Append) << ~crc;
        return out;
    };
    QByteArray header;
    QDataStream(&header, QIODevice::WriteOnly) << width << height << quint8(1) << quint32(0);
    const QByteArray rows(qsizetype(height) * (1 + (width + 7) / 8), '\0');
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) +
           chunk("IDAT", qCompress(rows, 9).mid(4)) + chunk("IEND", {});
}

struct LimitCase {
    const char* name;
    quint32 width, height;
};

class BeyondTheSystemPolicy : public ImageFolderTest,
                              public ::testing::WithParamInterface<LimitCase> {};

TEST_P(BeyondTheSystemPolicy, ImagesWithinTheBudgetAreCompressed)
{
    const LimitCase& c = GetParam();
    WriteBytes(Src("big.png"), BlackPng(c.width, c.height));
    const ImageRunResult result = ImagePipeline::Run(Params("big.png"));
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    // Read here: the identifier program keeps to the system's policy.
    const Magick::Image output = Load(result.done->outputPath);
    EXPECT_EQ(output.columns(), c.width);
    EXPECT_EQ(output.rows(), c.height);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, BeyondTheSystemPolicy,
    ::testing::Values(LimitCase{"WiderThan16000", 16800, 8}, LimitCase{"TallerThan16000", 8, 16800},
                      // 36 megapixels: 288 MB of pixels, above a 256 MiB memory policy.
                      LimitCase{"LargerThanTheMemoryPolicy", 6000, 6000}),
    [](const auto& info) { return std::string(info.param.name); });

// A GIF of `frames` one-pixel frames on a side x side screen: bytes on disk, a whole canvas each
// in memory.
QByteArray SparseGif(int frames, quint16 side)
{
    QByteArray gif("GIF89a");
    gif += char(side & 0xFF);
    gif += char(side >> 8);
    gif += char(side & 0xFF);
    gif += char(side >> 8);
    gif += QByteArray::fromHex(
        "800000"
        "000000"
        "ffffff");  // a two-colour table
    for (int i = 0; i < frames; ++i) {
        gif += QByteArray::fromHex(
            "21f904000a0000"
            "00");  // 0.1 s, no disposal
        gif += QByteArray::fromHex(
            "2c"
            "0000"
            "0000"
            "0100"
            "0100"
            "00");  // 1x1 at 0,0
        gif += QByteArray::fromHex(
            "02"
            "024401"
            "00");  // clear, index 0, end
    }
    return gif + QByteArray::fromHex("3b");
}

TEST_F(ImageFolderTest, GifFramesAreCountedBeforeAnyIsDecoded)
{
    WriteBytes(Src("many.gif"), SparseGif(400, 1000));  // 400 canvases of a megapixel
    QElapsedTimer clock;
    clock.start();
    const ImageRunResult refused = ImagePipeline::Run(Params("many.gif"));
    EXPECT_FALSE(refused.Succeeded());
    EXPECT_NE(refused.failure.find("memory limit"), std::string::npos) << refused.failure;
    EXPECT_LT(clock.elapsed(), 2000);

    WriteBytes(Src("few.gif"), SparseGif(3, 200));
    const ImageRunResult few = ImagePipeline::Run(Params("few.gif"));
    ASSERT_TRUE(few.Succeeded()) << few.failure;
    EXPECT_EQ(Identify(few.done->outputPath, "%W "), "200 200 200 ");
}

}  // namespace
