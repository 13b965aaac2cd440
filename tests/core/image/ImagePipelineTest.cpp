// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/ImagePipeline.h"

#include "core/image/ImageTestSupport.h"
#include "core/search/SettingSearch.h"
#include "core/search/Ssim.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace imagetest;

namespace {

std::string CaseName(const auto& info)
{
    return info.param.name;
}

// ---- Resizing ---------------------------------------------------------------------------------

struct ResizeCase {
    const char* name;
    int sourceWidth, sourceHeight, ratioIndex, defineParam, width, height;
    const char* expected;
};

class PipelineResize : public ImageFolderTest, public ::testing::WithParamInterface<ResizeCase> {};

TEST_P(PipelineResize, FitsTheBoxKeepingTheAspectAndNeverEnlarges)
{
    const ResizeCase& c = GetParam();
    Save(MakeImage("teal", c.sourceWidth, c.sourceHeight), "JPEG", Src("shot.jpg"));
    ImageParams params = Params("shot.jpg");
    params.ratioIndex = c.ratioIndex;
    params.defineParam = c.defineParam;
    params.width = c.width;
    params.height = c.height;

    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    EXPECT_EQ(Identify(result.done->outputPath, "%wx%h"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, PipelineResize,
    ::testing::Values(
        ResizeCase{"Ratio3KeepsSeventyPercent", 1000, 800, 3, 0, 0, 0, "700x560"},
        ResizeCase{"TallBoundByTheSixteenNinthsHeight", 1000, 2000, 1, 0, 0, 0, "800x1600"},
        ResizeCase{"CustomBox", 4000, 3000, 0, 1, 1000, 1000, "1000x750"},
        ResizeCase{"CustomBoxLargerChangesNothing", 1200, 900, 0, 1, 5000, 5000, "1200x900"},
        ResizeCase{"CustomWidthZeroFallsBackToTheRatio", 1000, 800, 2, 1, 0, 300, "800x640"},
        ResizeCase{"CustomSizeOffIgnoresTheFields", 1000, 800, 5, 0, 100, 100, "500x400"}),
    CaseName<::testing::TestParamInfo<ResizeCase>>);

// ---- Output names and forms -------------------------------------------------------------------

struct NamingCase {
    const char* name;
    const char* source;
    int imageType;
    std::vector<const char*> existing;
    const char* expected;  // name and format
};

class PipelineNaming : public ImageFolderTest, public ::testing::WithParamInterface<NamingCase> {};

TEST_P(PipelineNaming, TakesTheFirstFreeNameAndLeavesExistingFilesAlone)
{
    const NamingCase& c = GetParam();
    Save(MakeImage("rose:"), "PNG", Src(c.source));
    for (const char* name : c.existing) WriteBytes(Out(name), name);
    ImageParams params = Params(c.source);
    params.imageType = c.imageType;

    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    EXPECT_EQ(result.done->outputPath.mid(OutDir().size() + 1) + " " +
                  Identify(result.done->outputPath, "%m"),
              c.expected);
    EXPECT_EQ(result.done->sourceSize, QFileInfo(Src(c.source)).size());
    EXPECT_EQ(result.done->outputSize, QFileInfo(result.done->outputPath).size());
    for (const char* name : c.existing) EXPECT_EQ(ReadBytes(Out(name)), name);
    EXPECT_EQ(Entries(OutDir()).size(), c.existing.size() + 1) << "a temporary file was left";
}

INSTANTIATE_TEST_SUITE_P(
    Names, PipelineNaming,
    ::testing::Values(
        NamingCase{"ThirdAfterTwoTaken",
                   "photo.jpg",
                   0,
                   {"photo.jpg", "photo(2).jpg"},
                   "photo(3).jpg JPEG"},
        NamingCase{
            "GapIsNotFilledBeforeTheFirst", "photo.jpg", 0, {"photo(2).jpg"}, "photo.jpg JPEG"},
        NamingCase{"UpperCaseKeepsItsForm", "Photo.PNG", 0, {}, "Photo.png PNG"},
        NamingCase{"JpegFormatRenames", "Photo.PNG", 1, {"Photo.png"}, "Photo.jpg JPEG"}),
    CaseName<::testing::TestParamInfo<NamingCase>>);

// ---- PNG and BMP ------------------------------------------------------------------------------

class PipelineColours : public ImageFolderTest,
                        public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(PipelineColours, PngHasAtMostTheStrengthsColourCount)
{
    const auto [strength, maxColours] = GetParam();
    Save(MakeImage("rose:"), "PNG", Src("rose.png"));  // some 3,000 colours
    ImageParams params = Params("rose.png");
    params.compressType = strength;

    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    const int colours = Identify(result.done->outputPath, "%k").toInt();
    EXPECT_LE(colours, maxColours);
    EXPECT_GT(colours, maxColours * 3 / 4);
}

// Strength 3 sets no count: the quantizer's own default of 256 applies.
INSTANTIATE_TEST_SUITE_P(Strengths, PipelineColours,
                         ::testing::Values(std::pair{0, 256}, std::pair{1, 220}, std::pair{2, 200},
                                           std::pair{3, 256}));

TEST_F(ImageFolderTest, BmpComesOutAsBmpAndItsTemporaryPngIsRemovedEitherWay)
{
    Save(MakeImage("rose:"), "BMP", Src("scan.bmp"));
    ImageParams params = Params("scan.bmp");
    params.compressType = 2;
    params.ratioIndex = 5;
    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    EXPECT_EQ(result.done->outputPath, Out("scan.bmp"));
    EXPECT_EQ(Identify(result.done->outputPath, "%m %wx%h"), "BMP 35x23");
    EXPECT_LE(Identify(result.done->outputPath, "%k").toInt(), 200);
    EXPECT_TRUE(Entries(TmpDir()).isEmpty());

    params.outputDir = OutDir() + "/missing";  // fails after the temporary file was made
    EXPECT_FALSE(ImagePipeline::Run(params).Succeeded());
    EXPECT_TRUE(Entries(TmpDir()).isEmpty());
}

TEST_F(ImageFolderTest, JpegIsTurnedUprightBeforeItsOrientationTagIsStripped)
{
    Save(MakeImage("orange", 40, 20), "JPEG", Src("phone.jpg"));
    // An EXIF block whose one entry says "turn 90 degrees clockwise to view", after the SOI.
    const QByteArray jpeg = ReadBytes(Src("phone.jpg"));
    WriteBytes(Src("phone.jpg"), jpeg.left(2) +
                                     QByteArray::fromHex("ffe10022457869660000"
                                                         "4d4d002a000000080001"
                                                         "011200030000000100060000"
                                                         "00000000") +
                                     jpeg.mid(2));
    ASSERT_EQ(Identify(Src("phone.jpg"), "%[orientation]"), "RightTop");

    const ImageRunResult result = ImagePipeline::Run(Params("phone.jpg"));
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    EXPECT_EQ(Identify(result.done->outputPath, "%wx%h %[orientation]"), "20x40 Undefined");
}

// ---- GIF --------------------------------------------------------------------------------------

const std::vector<std::string> kFrameColours = {
    "#FF0000", "#00FF00", "#0000FF", "#FFFF00", "#00FFFF", "#FF00FF", "#FFFFFF",
    "#000000", "#FF8000", "#8000FF", "#808080", "#008080", "#800000"};

struct GifCase {
    const char* name;
    int gifDefineParam, choice;
    std::vector<int> kept;
};

class PipelineGif : public ImageFolderTest, public ::testing::WithParamInterface<GifCase> {};

TEST_P(PipelineGif, KeepsTheChosenFramesAndTheAnimationsLength)
{
    const GifCase& c = GetParam();
    std::vector<Magick::Image> frames;
    for (const std::string& colour : kFrameColours) {
        frames.push_back(MakeImage(colour.c_str(), 16, 12));
        frames.back().animationDelay(10);
    }
    SaveFrames(frames, Src("anim.gif"));
    ImageParams params = Params("anim.gif");
    params.gifDefineParam = c.gifDefineParam;
    params.gifDropFrameIndex = c.choice;

    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    std::vector<int> kept;
    size_t length = 0;
    for (const Magick::Image& frame : ShownFrames(result.done->outputPath)) {
        const Magick::ColorRGB rgb = frame.pixelColor(8, 6);
        char colour[8];
        std::snprintf(colour, sizeof colour, "#%02X%02X%02X", int(rgb.red() * 255 + 0.5),
                      int(rgb.green() * 255 + 0.5), int(rgb.blue() * 255 + 0.5));
        kept.push_back(std::find(kFrameColours.begin(), kFrameColours.end(), colour) -
                       kFrameColours.begin());
        length += frame.animationDelay();
    }
    EXPECT_EQ(kept, c.kept);
    EXPECT_EQ(length, 130u);  // a dropped frame's time goes to the frame before it
}

INSTANTIATE_TEST_SUITE_P(
    Dropping, PipelineGif,
    ::testing::Values(GifCase{"EverySecond", 1, 4, {0, 1, 3, 5, 7, 9, 11}},
                      GifCase{"EverySixth", 1, 0, {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11}},
                      GifCase{"UnknownChoiceKeepsTheFirst", 1, 7, {0}},
                      GifCase{"Off", 0, 4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}),
    CaseName<::testing::TestParamInfo<GifCase>>);

TEST_F(ImageFolderTest, GifFramesStoredAsPartsStayInPlaceWhenResized)
{
    // A red canvas, then a frame that stores only a blue square in the middle.
    std::vector<Magick::Image> frames{MakeImage("red", 100, 100), MakeImage("blue", 20, 20)};
    frames[1].page(Magick::Geometry(100, 100, 40, 40));
    frames[1].gifDisposeMethod(MagickCore::NoneDispose);
    SaveFrames(frames, Src("parts.gif"));
    ImageParams params = Params("parts.gif");
    params.ratioIndex = 5;

    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    const auto shown = ShownFrames(result.done->outputPath);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(Identify(result.done->outputPath, "%W "), "50 50 ");  // each frame's canvas
    EXPECT_EQ(Magick::ColorRGB(shown[1].pixelColor(25, 25)).blue(), 1.0);
    EXPECT_EQ(Magick::ColorRGB(shown[1].pixelColor(5, 5)).red(), 1.0);
}

// ---- Names the image library would read as instructions ---------------------------------------

class PipelineOddNames : public ImageFolderTest,
                         public ::testing::WithParamInterface<std::pair<const char*, const char*>> {
};

TEST_P(PipelineOddNames, CompressTheNamedFileAndKeepTheName)
{
    // In a folder whose name is a pattern too, beside decoys that a pattern, a scene number or a
    // format prefix would pick instead.
    const auto [name, magick] = GetParam();
    const QString folder = Src("dir [1]/");
    ASSERT_TRUE(QDir().mkpath(folder) && QDir().mkpath(Src("dir 1")));
    Save(MakeImage("logo:"), magick, folder + name, 92);
    for (const QString& decoy :
         {Src("dir 1/") + name, folder + "photo1.jpg", folder + "scan0.png", folder + "b.gif"})
        Save(MakeImage("black", 8, 8), "JPEG", decoy, 50);
    ImageParams params = Params("");
    params.sourcePath = folder + name;
    params.identifyPath = IdentifyProgram();

    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    EXPECT_EQ(result.done->outputPath, Out(name));
    EXPECT_EQ(Identify(result.done->outputPath, "%wx%h"), "640x480");
    if (std::string(magick) == "JPEG") {
        EXPECT_EQ(Identify(result.done->outputPath, "%Q"), "73");  // the source's 92 was read
    }
}

INSTANTIATE_TEST_SUITE_P(Names, PipelineOddNames,
                         ::testing::Values(std::pair{"photo[1].jpg", "JPEG"},
                                           std::pair{"scan%d.png", "PNG"},
                                           std::pair{"a:b.gif", "GIF"},
                                           std::pair{"it's \"my\" 照片 $HOME.jpg", "JPEG"},
                                           std::pair{"-x *.bmp", "BMP"}));

// ---- Bad input --------------------------------------------------------------------------------

QByteArray PngChunk(const char* type, const QByteArray& data)
{
    const QByteArray body = QByteArray(type, 4) + data;
    quint32 crc = 0xFFFFFFFFu;
    for (unsigned char byte : body) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    QByteArray chunk;
    QDataStream(&chunk, QIODevice::WriteOnly) << quint32(data.size());
    chunk += body;
    QDataStream(&chunk, QIODevice::Append) << ~crc;
    return chunk;
}

// A one-bit grey PNG of side x side, all black: kilobytes on disk, gigabytes in memory. Without
// pixel data it only claims its size.
QByteArray BlankPng(quint32 side, bool withPixels)
{
    QByteArray header;
    QDataStream(&header, QIODevice::WriteOnly) << side << side << quint8(1) << quint32(0);
    QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", header);
    if (withPixels) {
        const QByteArray rows(qsizetype(side) * (1 + (side + 7) / 8), '\0');
        png += PngChunk("IDAT", qCompress(rows, 9).mid(4));  // the zlib stream without Qt's size
    }
    return png + PngChunk("IEND", {});
}

QByteArray TruncatedPng()
{
    Magick::Image logo = MakeImage("logo:");
    logo.magick("PNG");
    Magick::Blob blob;
    logo.write(&blob);
    return QByteArray(static_cast<const char*>(blob.data()), qsizetype(blob.length() / 2));
}

struct BadInput {
    const char* name;
    const char* fileName;
    std::function<QByteArray()> content;
};

class PipelineBadInput : public ImageFolderTest, public ::testing::WithParamInterface<BadInput> {};

TEST_P(PipelineBadInput, FailsAndWritesNothing)
{
    const BadInput& c = GetParam();
    WriteBytes(Src(c.fileName), c.content());
    WriteBytes(Out(c.fileName), "keep");
    ImageParams params = Params(c.fileName);
    params.identifyPath = IdentifyProgram();

    const ImageRunResult result = ImagePipeline::Run(params);
    EXPECT_FALSE(result.Succeeded());
    EXPECT_FALSE(result.failure.empty());
    EXPECT_EQ(Entries(OutDir()), QStringList{c.fileName});
    EXPECT_EQ(ReadBytes(Out(c.fileName)), "keep");
}

INSTANTIATE_TEST_SUITE_P(
    Files, PipelineBadInput,
    ::testing::Values(
        BadInput{"TextNamedJpg", "x.jpg", [] { return QByteArray("hello\n"); }},
        BadInput{"Empty", "empty.png", [] { return QByteArray(); }},
        BadInput{"TruncatedPng", "cut.png", TruncatedPng},
        BadInput{"ClaimsAHugeSize", "claim.png", [] { return BlankPng(200000, false); }},
        // 121 megapixels: within the library's size limits, 968 MB of pixels.
        BadInput{"BeyondTheMemoryLimit", "blank.png", [] { return BlankPng(11000, true); }},
        BadInput{"UnknownExtension", "x.tif", [] { return QByteArray("II*"); }}),
    CaseName<::testing::TestParamInfo<BadInput>>);

}  // namespace

// ---- Keeping the smaller file -------------------------------------------------------------

TEST_F(ImageFolderTest, KeepSmallerWritesNothingWhenTheSourceIsTheSmallerFile)
{
    // An 8x8 flat PNG is far smaller than any JPEG with its tables.
    Save(MakeImage("gray", 8, 8), "PNG", Src("dot.png"));
    ImageParams params = Params("dot.png");
    params.imageType = 1;
    const ImageRunResult grown = ImagePipeline::Run(params);
    ASSERT_TRUE(grown.Succeeded()) << grown.failure;
    EXPECT_FALSE(grown.done->sourceKept);
    ASSERT_GE(grown.done->outputSize, QFileInfo(Src("dot.png")).size());
    ASSERT_TRUE(QFile::remove(grown.done->outputPath));

    params.keepSmaller = true;
    const ImageRunResult kept = ImagePipeline::Run(params);
    ASSERT_TRUE(kept.Succeeded()) << kept.failure;
    EXPECT_TRUE(kept.done->sourceKept);
    EXPECT_TRUE(kept.done->outputPath.isEmpty());
    EXPECT_EQ(kept.done->sourceSize, QFileInfo(Src("dot.png")).size());
    EXPECT_TRUE(Entries(OutDir()).isEmpty());
    EXPECT_TRUE(Entries(TmpDir()).isEmpty());

    // A file that does shrink is written as before.
    Save(MakeImage("rose:"), "BMP", Src("rose.bmp"));
    ImageParams shrinking = Params("rose.bmp");
    shrinking.imageType = 1;
    shrinking.keepSmaller = true;
    const ImageRunResult written = ImagePipeline::Run(shrinking);
    ASSERT_TRUE(written.Succeeded()) << written.failure;
    EXPECT_FALSE(written.done->sourceKept);
    EXPECT_EQ(written.done->outputPath, Out("rose.jpg"));
}

// ---- WebP, HEIF and TIFF ------------------------------------------------------------------

struct FormatCase {
    const char* name;
    const char* sourceMagick;  // the source as written
    const char* sourceName;
    int imageType;
    const char* outputName;
    const char* outputMagick;  // as the identifier names it
};

class PipelineFormats : public ImageFolderTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(PipelineFormats, ReadsTheSourceAndWritesTheChosenFormat)
{
    const FormatCase& c = GetParam();
    Magick::Image logo = MakeImage("logo:");
    logo.resize(Magick::Geometry(160, 120));
    Save(logo, c.sourceMagick, Src(c.sourceName), 90);
    ImageParams params = Params(c.sourceName);
    params.imageType = c.imageType;
    params.ratioIndex = 5;  // half the width: the size shows the run resized it
    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    EXPECT_EQ(result.done->outputPath, Out(c.outputName));
    EXPECT_EQ(Identify(result.done->outputPath, "%m %wx%h"), QString(c.outputMagick) + " 80x60");
    if (QString(c.outputName).endsWith(".avif")) {
        EXPECT_EQ(ReadBytes(result.done->outputPath).mid(4, 8), "ftypavif");
    }
    if (QString(c.outputName).endsWith(".heic")) {
        EXPECT_EQ(ReadBytes(result.done->outputPath).mid(4, 8), "ftypheic");
    }
    EXPECT_TRUE(Entries(TmpDir()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PipelineFormats,
    ::testing::Values(FormatCase{"WebpKept", "WEBP", "a.webp", 0, "a.webp", "WEBP"},
                      FormatCase{"HeicKept", "HEIC", "a.heic", 0, "a.heic", "HEIC"},
                      FormatCase{"HeifBecomesHeic", "HEIC", "a.heif", 0, "a.heic", "HEIC"},
                      FormatCase{"AvifKept", "AVIF", "a.avif", 0, "a.avif", "HEIC"},
                      FormatCase{"TiffKept", "TIFF", "a.tif", 0, "a.tiff", "TIFF"},
                      FormatCase{"HeicToJpeg", "HEIC", "a.heic", 1, "a.jpg", "JPEG"},
                      FormatCase{"PngToWebp", "PNG", "a.png", 2, "a.webp", "WEBP"},
                      FormatCase{"JpegToAvif", "JPEG", "a.jpg", 3, "a.avif", "HEIC"},
                      FormatCase{"MislabelledWebp", "WEBP", "a.png", 0, "a.png", "PNG"}),
    CaseName<::testing::TestParamInfo<FormatCase>>);

TEST(ImageFormatTest, OutputExtensionsAndQualitiesPerStrength)
{
    EXPECT_EQ(ImagePipeline::OutputExtension(0, "jpeg"), "jpg");
    EXPECT_EQ(ImagePipeline::OutputExtension(0, "gif"), "gif");
    EXPECT_EQ(ImagePipeline::OutputExtension(0, "heif"), "heic");
    EXPECT_EQ(ImagePipeline::OutputExtension(0, "tif"), "tiff");
    EXPECT_EQ(ImagePipeline::OutputExtension(0, "psd"), "");
    EXPECT_EQ(ImagePipeline::OutputExtension(1, "psd"), "jpg") << "JPEG for every image";
    EXPECT_EQ(ImagePipeline::OutputExtension(2, "gif"), "webp");
    EXPECT_EQ(ImagePipeline::OutputExtension(3, "bmp"), "avif");
    EXPECT_EQ(ImagePipeline::OutputExtension(7, "png"), "jpg") << "as any non-zero type did";
    for (const char* magick : {"WEBP", "AVIF", "HEIC"}) {
        EXPECT_GT(ImagePipeline::ModernQuality(magick, 0), ImagePipeline::ModernQuality(magick, 1));
        EXPECT_GT(ImagePipeline::ModernQuality(magick, 1), ImagePipeline::ModernQuality(magick, 2));
    }
}

TEST_F(ImageFolderTest, StrongerStrengthsNeverWriteLargerWebpOrAvif)
{
    Magick::Image logo = MakeImage("logo:");
    logo.resize(Magick::Geometry(200, 150));
    Save(logo, "PNG", Src("logo.png"));
    for (int type : {2, 3}) {
        qint64 previous = -1;
        for (int strength = 0; strength <= 2; ++strength) {
            ImageParams params = Params("logo.png");
            params.imageType = type;
            params.compressType = strength;
            const ImageRunResult result = ImagePipeline::Run(params);
            ASSERT_TRUE(result.Succeeded()) << result.failure;
            if (previous >= 0) {
                EXPECT_LE(result.done->outputSize, previous) << type << strength;
            }
            previous = result.done->outputSize;
            QFile::remove(result.done->outputPath);
        }
    }
}

// ---- Searched qualities -----------------------------------------------------------------------

namespace {

struct SearchCase {
    const char* name;
    int imageType;  // 1 JPEG, 2 WebP, 3 AVIF
};

class PipelineSearch : public ImageFolderTest, public ::testing::WithParamInterface<SearchCase> {
protected:
    void SetUp() override
    {
        ImageFolderTest::SetUp();
        source_ = MakeImage("logo:");
        source_.resize(Magick::Geometry(320, 240));
        // Grain over it, so that the look is lost well above the lowest quality.
        source_.addNoise(MagickCore::GaussianNoise);
        Save(source_, "PNG", Src("logo.png"));
    }
    ImageRunResult RunWith(const std::function<void(ImageParams&)>& change)
    {
        ImageParams params = Params("logo.png");
        params.imageType = GetParam().imageType;
        change(params);
        return ImagePipeline::Run(params);
    }
    Magick::Image source_;
};

TEST_P(PipelineSearch, LookReachesTheStrengthsSsimInTheWrittenFile)
{
    std::vector<int> qualities;
    for (int strength : {0, 2}) {
        const ImageRunResult result = RunWith([&](ImageParams& params) {
            params.look = true;
            params.compressType = strength;
        });
        ASSERT_TRUE(result.Succeeded()) << result.failure;
        const ImageDoneRecord& done = *result.done;
        const double target = search::StrengthSsim(strength);
        EXPECT_GT(done.searchedQuality, 0);
        EXPECT_GE(done.ssim, target);
        // Measured again on the file as written and read back, against the source file's pixels.
        const Magick::Image stored(Src("logo.png").toStdString());
        const double written = search::LumaSsim(
            search::LumaOf(stored), search::LumaOf(Magick::Image(done.outputPath.toStdString())));
        EXPECT_NEAR(written, done.ssim, 0.0005) << "strength " << strength;
        EXPECT_GE(written, target) << "strength " << strength;
        RecordProperty("strength" + std::to_string(strength),
                       "q" + std::to_string(done.searchedQuality) + " ssim " +
                           std::to_string(written) + " bytes " + std::to_string(done.outputSize));
        qualities.push_back(done.searchedQuality);
        QFile::remove(done.outputPath);
    }
    // The weaker look costs a lower quality.
    EXPECT_LT(qualities[1], qualities[0]);
}

TEST_P(PipelineSearch, SizeLimitIsHeldOrTheRunFailsWithoutAFile)
{
    const ImageRunResult plain = RunWith([](ImageParams&) {});
    ASSERT_TRUE(plain.Succeeded()) << plain.failure;
    QFile::remove(plain.done->outputPath);
    const qint64 limit = plain.done->outputSize / 2;

    const ImageRunResult fitted = RunWith([&](ImageParams& params) {
        params.maxBytes = limit;
        params.look = true;  // the size takes precedence
    });
    ASSERT_TRUE(fitted.Succeeded()) << fitted.failure;
    EXPECT_LE(fitted.done->outputSize, limit);
    RecordProperty("fit", std::to_string(limit) + ": q" +
                              std::to_string(fitted.done->searchedQuality) + " scale " +
                              std::to_string(fitted.done->scalePercent) + " bytes " +
                              std::to_string(fitted.done->outputSize));
    EXPECT_EQ(QFileInfo(fitted.done->outputPath).size(), fitted.done->outputSize);
    EXPECT_GT(fitted.done->searchedQuality, 0);
    QFile::remove(fitted.done->outputPath);

    const ImageRunResult tiny = RunWith([](ImageParams& params) { params.maxBytes = 60; });
    EXPECT_FALSE(tiny.Succeeded());
    EXPECT_NE(tiny.failure.find("60 bytes"), std::string::npos) << tiny.failure;
    EXPECT_TRUE(Entries(OutDir()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Codecs, PipelineSearch,
                         ::testing::Values(SearchCase{"jpeg", 1}, SearchCase{"webp", 2},
                                           SearchCase{"avif", 3}),
                         CaseName<::testing::TestParamInfo<SearchCase>>);

TEST_F(ImageFolderTest, SizeLimitRefusesAnUnsearchedFormatThatComesOutOver)
{
    Save(MakeImage("rose:"), "PNG", Src("rose.png"));
    ImageParams params = Params("rose.png");
    params.maxBytes = 500;
    const ImageRunResult result = ImagePipeline::Run(params);
    EXPECT_FALSE(result.Succeeded());
    EXPECT_NE(result.failure.find("over the size limit of 500 bytes"), std::string::npos)
        << result.failure;
    EXPECT_TRUE(Entries(OutDir()).isEmpty());
}

}  // namespace
