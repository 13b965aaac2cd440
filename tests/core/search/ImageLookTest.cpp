// SPDX-License-Identifier: GPL-3.0-or-later
// SSIM on pictures and the image searches on ImageMagick's built-in pictures, encoded for real
// by each codec: the found quality is the boundary, the fitted Blob is under the limit.

#include <gtest/gtest.h>

#include <Magick++.h>

#include "SearchTestSupport.h"
#include "core/app/Paths.h"
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

double DecodedSsim(const Magick::Image& source, const Magick::Blob& blob)
{
    return LumaSsim(LumaOf(source), LumaOf(Magick::Image(blob)));
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
        EXPECT_LT(DecodedSsim(source, EncodeImage(source, c.codec, quality - 1)), c.target);
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, ImageLookTest,
                         ::testing::Values(CodecCase{"JpegRose", ImageCodec::Jpeg, "rose:", 0.95},
                                           CodecCase{"JpegLogo", ImageCodec::Jpeg, "logo:", 0.97},
                                           CodecCase{"WebpPlasma", ImageCodec::Webp,
                                                     "plasma:fractal[160x120]", 0.95},
                                           CodecCase{"AvifRose", ImageCodec::Avif, "rose:", 0.93}),
                         [](const auto& info) { return std::string(info.param.name); });

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
