// SPDX-License-Identifier: GPL-3.0-or-later
// SSIM on pictures and the image searches on ImageMagick's built-in pictures, encoded for real
// by each codec: the found quality is the boundary, the fitted Blob is under the limit.

#include <gtest/gtest.h>

#include <Magick++.h>

#include <cstring>

#include "SearchTestSupport.h"
#include "core/app/Paths.h"
#include "core/image/HeifCodec.h"
#include "core/image/ImagePipeline.h"
#include "core/platform/ChildProcess.h"
#include "core/search/ImageLook.h"
#include "core/search/Ssim.h"
#include "core/search/VideoLook.h"

using namespace search;

namespace {

Magick::Image Picture(const std::string& source)
{
    ImagePipeline::InitializeLibrary();
    Magick::Image image;
    image.read(source);
    return image;
}

// The luma SSIM of an encoding against its source. The image library's HEIF reader rounds its
// colours differently from libheif's and drops the alpha plane, so an AVIF is read as the
// search reads it.
double DecodedSsim(const Magick::Image& source, const Magick::Blob& blob)
{
    const bool heif =
        blob.length() > 12 && std::string(static_cast<const char*>(blob.data()) + 4, 4) == "ftyp";
    return LumaSsim(LumaOf(source), LumaOf(heif ? heifcodec::DecodeImage(blob.data(), blob.length())
                                                : Magick::Image(blob)));
}

struct CodecCase {
    const char* name;
    ImageCodec codec;
    const char* picture;
    double target;
};

void PrintTo(const CodecCase& c, std::ostream* out)
{
    *out << c.name;
}

class ImageLookTest : public ::testing::TestWithParam<CodecCase> {};

}  // namespace

TEST(LumaSsimTest, OneForTheSameAndFallingWithTheLoss)
{
    const Magick::Image logo = Picture("logo:");
    EXPECT_DOUBLE_EQ(LumaSsim(LumaOf(logo), LumaOf(logo)), 1.0);
    double previous = 1.0;
    for (double sigma : {0.5, 1.5, 4.0}) {
        Magick::Image blurred(logo);
        blurred.blur(0, sigma);
        const double ssim = LumaSsim(LumaOf(logo), LumaOf(blurred));
        EXPECT_LT(ssim, previous) << "sigma " << sigma;
        EXPECT_GT(ssim, 0);
        previous = ssim;
    }
    // Pictures smaller than a window, and pictures that do not match.
    const Magick::Image tiny = Picture("xc:gray50[6x4]");
    EXPECT_NEAR(LumaSsim(LumaOf(tiny), LumaOf(tiny)), 1.0, 1e-12);
    EXPECT_EQ(LumaSsim(LumaOf(logo), LumaOf(Picture("rose:"))), 0);
    EXPECT_EQ(LumaSsim({}, {}), 0);
}

TEST(LumaSsimTest, FfmpegReportIsRead)
{
    // A real report: a test card against a blurred copy of itself.
    const auto run = platform::RunCapture(
        FindTool("ffmpeg"),
        {"-hide_banner", "-f", "lavfi", "-i", "testsrc=size=64x48:duration=0.2,format=yuv420p",
         "-f", "lavfi", "-i", "testsrc=size=64x48:duration=0.2,format=yuv420p,boxblur=2", "-lavfi",
         "[0:v][1:v]ssim", "-f", "null", "-"},
        30000, 1 << 20);
    ASSERT_TRUE(run.Succeeded()) << run.output.toStdString();
    const auto figures = ParseSsimReport(run.output);
    ASSERT_TRUE(figures) << run.output.toStdString();
    EXPECT_GT(figures->luma, 0.3);
    EXPECT_LT(figures->luma, 0.999);
    EXPECT_GT(figures->all, 0.3);
    EXPECT_LT(figures->all, 0.999);
    EXPECT_FALSE(ParseSsimReport("frame=  5 fps=0.0 q=-0.0 Lsize=N/A\n"));
    // The last report counts.
    const auto last = ParseSsimReport(
        "SSIM Y:0.500000 (3.0) U:0.5 (3.0) V:0.5 (3.0) All:0.500000 (3.0)\n"
        "SSIM Y:0.910000 (10.4) U:0.95 (13.0) V:0.95 (13.0) All:0.930000 (11.5)\n");
    ASSERT_TRUE(last);
    EXPECT_DOUBLE_EQ(last->luma, 0.91);
    EXPECT_DOUBLE_EQ(last->all, 0.93);
}

TEST_P(ImageLookTest, LowestQualityThatReachesTheLook)
{
    const CodecCase& c = GetParam();
    const Magick::Image source = Picture(c.picture);
    const ImageSearchResult result = SearchImageLook(source, c.codec, c.target);
    ASSERT_EQ(result.search.status, SearchStatus::Reached) << searchtest::ProbeList(result.search);
    const int quality = result.search.setting;
    EXPECT_GE(result.search.value, c.target);
    EXPECT_LE(result.search.probes.size(), 7u);
    // The Blob is the chosen encoding, and it decodes to the SSIM reported.
    ASSERT_GT(result.blob.length(), 0u);
    EXPECT_EQ(qint64(result.blob.length()), result.search.bytes);
    EXPECT_NEAR(DecodedSsim(source, result.blob), result.search.value, 1e-9);
    // One step lower misses the look, unless the search stopped on a probe close to it.
    if (result.search.value - c.target > 0.002 && quality > 5) {
        EXPECT_LT(DecodedSsim(source, EncodeImage(source, c.codec, quality - 1)), c.target)
            << searchtest::ProbeList(result.search);
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, ImageLookTest,
                         ::testing::Values(CodecCase{"JpegRose", ImageCodec::Jpeg, "rose:", 0.95},
                                           CodecCase{"JpegLogo", ImageCodec::Jpeg, "logo:", 0.97},
                                           CodecCase{"WebpPlasma", ImageCodec::Webp,
                                                     "plasma:fractal[160x120]", 0.95},
                                           CodecCase{"AvifRose", ImageCodec::Avif, "rose:", 0.93}),
                         [](const auto& info) { return std::string(info.param.name); });

// The AVIF search runs over the AV1 encoder's levels: every quality of a level writes the
// level's file, and neighbouring levels write different ones. This holds the level rule to the
// libheif the program is built with.
TEST(AvifLevelTest, QualitiesOfALevelWriteOneFile)
{
    const Magick::Image rose = Picture("rose:");
    for (int quality : {30, 47, 48, 55, 56, 75, 90}) {
        const int level = AvifLevel(quality);
        const int lowest = AvifQualityOfLevel(level);
        EXPECT_LE(lowest, quality);
        EXPECT_EQ(AvifLevel(lowest), level);
        EXPECT_NE(AvifLevel(lowest - 1), level);
        const Magick::Blob same = EncodeImage(rose, ImageCodec::Avif, quality);
        const Magick::Blob first = EncodeImage(rose, ImageCodec::Avif, lowest);
        ASSERT_EQ(same.length(), first.length()) << "quality " << quality;
        EXPECT_EQ(std::memcmp(same.data(), first.data(), same.length()), 0)
            << "quality " << quality;
        const Magick::Blob coarser = EncodeImage(rose, ImageCodec::Avif, lowest - 1);
        EXPECT_LT(coarser.length(), first.length()) << "quality " << quality;
    }
}

// A transparent picture's look is what shows: the search must neither be fooled by colours under
// transparent pixels nor lose the transparency, and the file it picks keeps the alpha plane.
TEST(ImageLookAlphaTest, TransparentPicturesAreJudgedAsTheyShow)
{
    // The logo's white made transparent, with magenta noise hidden under it.
    Magick::Image logo = Picture("logo:");
    logo.resize(Magick::Geometry(240, 180));
    logo.matte(true);
    logo.colorFuzz(0.1 * 65535);
    logo.transparent(Magick::Color("white"));
    Magick::Image noise(Magick::Geometry(240, 180), Magick::Color("magenta"));
    noise.addNoise(MagickCore::RandomNoise);
    noise.composite(logo, 0, 0, MagickCore::OverCompositeOp);
    noise.matte(true);
    noise.composite(logo, 0, 0, MagickCore::CopyOpacityCompositeOp);
    const Magick::Image& source = noise;
    ASSERT_TRUE(source.matte());

    for (ImageCodec codec : {ImageCodec::Avif, ImageCodec::Webp}) {
        const ImageSearchResult result = SearchImageLook(source, codec, 0.95);
        ASSERT_EQ(result.search.status, SearchStatus::Reached)
            << searchtest::ProbeList(result.search);
        const Magick::Image decoded =
            codec == ImageCodec::Avif
                ? heifcodec::DecodeImage(result.blob.data(), result.blob.length())
                : Magick::Image(result.blob);
        ASSERT_TRUE(decoded.matte());
        EXPECT_GT(decoded.pixelColor(2, 2).alpha(), 0.9) << "the corner is transparent";
        for (double background : {0.0, 255.0})
            EXPECT_GE(LumaSsim(LumaOf(source, background), LumaOf(decoded, background)), 0.95);
        // The hidden noise is not paid for: the chosen quality is no higher than the same
        // picture's laid on white needs, give or take a level.
        Magick::Image onWhite(source);
        onWhite.backgroundColor(Magick::Color("white"));
        onWhite.alphaChannel(MagickCore::RemoveAlphaChannel);
        onWhite.matte(false);
        const ImageSearchResult flat = SearchImageLook(onWhite, codec, 0.95);
        ASSERT_EQ(flat.search.status, SearchStatus::Reached);
        EXPECT_LE(result.search.setting, flat.search.setting + 8)
            << searchtest::ProbeList(result.search) << " against "
            << searchtest::ProbeList(flat.search);
    }
}

// AVIF is fitted over the encoder's levels: the level found is the finest that fits, and the
// picture is scaled at the floor's level when no level does.
TEST(ImageFitTest, AvifFitsOnTheFinestLevelUnderTheLimit)
{
    const Magick::Image rose = Picture("rose:");
    const qint64 best = qint64(EncodeImage(rose, ImageCodec::Avif, 95).length());
    const qint64 floor = qint64(EncodeImage(rose, ImageCodec::Avif, kFitQualityFloor).length());
    ASSERT_LT(floor, best);
    for (const qint64 limit : {floor + (best - floor) / 4, (best + floor) / 2}) {
        const ImageSearchResult fitted = FitImageUnderSize(rose, ImageCodec::Avif, limit);
        ASSERT_EQ(fitted.search.status, SearchStatus::Reached)
            << searchtest::ProbeList(fitted.search);
        EXPECT_EQ(fitted.scalePercent, 100);
        EXPECT_LE(qint64(fitted.blob.length()), limit);
        const int quality = fitted.search.setting;
        EXPECT_EQ(quality, AvifQualityOfLevel(AvifLevel(quality))) << "a level's own quality";
        const int finer = AvifQualityOfLevel(AvifLevel(quality) - 1);
        EXPECT_GT(qint64(EncodeImage(rose, ImageCodec::Avif, finer).length()), limit)
            << searchtest::ProbeList(fitted.search);
    }
    const ImageSearchResult byScale = FitImageUnderSize(rose, ImageCodec::Avif, floor / 2);
    ASSERT_EQ(byScale.search.status, SearchStatus::Reached);
    EXPECT_LT(byScale.scalePercent, 100);
    EXPECT_EQ(byScale.search.setting, kFitQualityFloor);
    EXPECT_LE(qint64(byScale.blob.length()), floor / 2);
}

TEST(ImageFitTest, QualityThenScaleUnderTheLimit)
{
    const Magick::Image logo = Picture("logo:");
    const qint64 best = qint64(EncodeImage(logo, ImageCodec::Jpeg, 95).length());
    const qint64 floor = qint64(EncodeImage(logo, ImageCodec::Jpeg, kFitQualityFloor).length());
    ASSERT_LT(floor, best);

    // Between the floor's and the best quality's sizes: a quality, at full scale, the highest
    // that fits.
    const qint64 limit = (best + floor) / 2;
    const ImageSearchResult byQuality = FitImageUnderSize(logo, ImageCodec::Jpeg, limit);
    ASSERT_EQ(byQuality.search.status, SearchStatus::Reached);
    EXPECT_EQ(byQuality.scalePercent, 100);
    EXPECT_LE(qint64(byQuality.blob.length()), limit);
    EXPECT_GT(qint64(EncodeImage(logo, ImageCodec::Jpeg, byQuality.search.setting + 1).length()),
              limit);

    // Under the floor's size: smaller at the floor's quality.
    const ImageSearchResult byScale = FitImageUnderSize(logo, ImageCodec::Jpeg, floor / 3);
    ASSERT_EQ(byScale.search.status, SearchStatus::Reached);
    EXPECT_LT(byScale.scalePercent, 100);
    EXPECT_EQ(byScale.search.setting, kFitQualityFloor);
    EXPECT_LE(qint64(byScale.blob.length()), floor / 3);
    EXPECT_LT(Magick::Image(byScale.blob).columns(), logo.columns());

    // Not even the smallest picture fits in 50 bytes.
    const ImageSearchResult none = FitImageUnderSize(logo, ImageCodec::Jpeg, 50);
    EXPECT_EQ(none.search.status, SearchStatus::Unreachable);
}
