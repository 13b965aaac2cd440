#include "image/ImagePipeline.h"

#include "image/ImageTestSupport.h"
#include "image/OutputFile.h"

#include <QDataStream>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

using namespace imagetest;

namespace {

// ---- Resizing ---------------------------------------------------------------------------------

struct ResizeCase {
    const char* name;
    int sourceWidth, sourceHeight;
    int ratioIndex, defineParam, width, height;
    const char* expected;  // "WxH" of the output
};

class PipelineResize : public ImageFolderTest, public ::testing::WithParamInterface<ResizeCase> {};

TEST_P(PipelineResize, FitsTheBoxKeepingTheAspectAndNeverEnlarges)
{
    const ResizeCase& c = GetParam();
    Save(Solid(c.sourceWidth, c.sourceHeight, "teal"), "JPEG", Src("shot.jpg"));
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
        ResizeCase{"TallImageIsBoundByTheSixteenNinthsHeight", 1000, 2000, 1, 0, 0, 0, "800x1600"},
        ResizeCase{"CustomBoxOnALargerImage", 4000, 3000, 0, 1, 1000, 1000, "1000x750"},
        ResizeCase{"CustomBoxLargerThanTheImageChangesNothing", 1200, 900, 0, 1, 5000, 5000,
                   "1200x900"},
        ResizeCase{"CustomWidthZeroFallsBackToTheRatio", 1000, 800, 2, 1, 0, 300, "800x640"},
        ResizeCase{"CustomSizeOffIgnoresTheFields", 1000, 800, 5, 0, 100, 100, "500x400"},
        ResizeCase{"UnknownRatioKeepsTheSize", 640, 480, 9, 0, 0, 0, "640x480"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Output names and forms -------------------------------------------------------------------

struct NamingCase {
    const char* name;
    const char* source;
    int imageType;
    std::vector<const char*> existing;
    const char* expectedName;
    const char* expectedFormat;
};

class PipelineNaming : public ImageFolderTest, public ::testing::WithParamInterface<NamingCase> {};

TEST_P(PipelineNaming, TakesTheFirstFreeNameAndLeavesExistingFilesAlone)
{
    const NamingCase& c = GetParam();
    const QString source = QString::fromUtf8(c.source);
    const std::string magick = source.endsWith("PNG") ? "PNG" : "JPEG";
    Save(Builtin("rose:"), magick, Src(source));
    for (const char* name : c.existing) {
        QFile file(Out(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("keep ") + name);
    }
    ImageParams params = Params(source);
    params.imageType = c.imageType;

    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    EXPECT_EQ(result.done->outputPath, Out(c.expectedName));
    EXPECT_EQ(Identify(result.done->outputPath, "%m"), c.expectedFormat);
    EXPECT_EQ(result.done->task_id, params.task_id);
    EXPECT_EQ(result.done->sourceSize, QFile(Src(source)).size());
    EXPECT_EQ(result.done->outputSize, QFile(result.done->outputPath).size());
    for (const char* name : c.existing) {
        QFile file(Out(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray("keep ") + name);
    }
    EXPECT_EQ(Entries(OutDir()).size(), c.existing.size() + 1) << "a temporary file was left";
}

INSTANTIATE_TEST_SUITE_P(
    Names, PipelineNaming,
    ::testing::Values(
        NamingCase{"FreeName", "photo.jpg", 0, {}, "photo.jpg", "JPEG"},
        NamingCase{"ThirdAfterTwoTaken", "photo.jpg", 0, {"photo.jpg", "photo(2).jpg"},
                   "photo(3).jpg", "JPEG"},
        NamingCase{"GapIsNotRefilledBeforeTheFirstFree", "photo.jpg", 0, {"photo(2).jpg"},
                   "photo.jpg", "JPEG"},
        NamingCase{"UpperCaseExtensionKeepsItsForm", "Photo.PNG", 0, {}, "Photo.png", "PNG"},
        NamingCase{"JpegFormatRenamesToJpg", "Photo.PNG", 1, {"Photo.png"}, "Photo.jpg", "JPEG"},
        NamingCase{"UpperCaseJpgIsJpegForm", "Shot.JPG", 0, {}, "Shot.jpg", "JPEG"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- PNG and BMP colour reduction -------------------------------------------------------------

class PipelineColours : public ImageFolderTest,
                        public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(PipelineColours, PngHasAtMostTheStrengthsColourCount)
{
    const auto [strength, maxColours] = GetParam();
    Save(Builtin("rose:"), "PNG", Src("rose.png"));  // some 3,000 colours
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
                         ::testing::Values(std::pair{0, 256}, std::pair{1, 220},
                                           std::pair{2, 200}, std::pair{3, 256}),
                         [](const auto& info) {
                             return "Strength" + std::to_string(info.param.first);
                         });

TEST_F(ImageFolderTest, BmpComesOutAsBmpThroughATemporaryPngThatIsRemoved)
{
    Save(Builtin("rose:"), "BMP", Src("scan.bmp"));
    ImageParams params = Params("scan.bmp");
    params.compressType = 2;
    params.ratioIndex = 5;

    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    EXPECT_EQ(result.done->outputPath, Out("scan.bmp"));
    EXPECT_EQ(Identify(result.done->outputPath, "%m %wx%h"), "BMP 35x23");
    EXPECT_LE(Identify(result.done->outputPath, "%k").toInt(), 200);
    EXPECT_TRUE(Entries(TmpDir()).isEmpty());
}

TEST_F(ImageFolderTest, FailedBmpRunAlsoRemovesItsTemporaryPng)
{
    Save(Builtin("rose:"), "BMP", Src("scan.bmp"));
    ImageParams params = Params("scan.bmp");
    params.outputDir = OutDir() + "/missing";

    EXPECT_FALSE(ImagePipeline::Run(params).Succeeded());
    EXPECT_TRUE(Entries(TmpDir()).isEmpty());
    EXPECT_TRUE(Entries(OutDir()).isEmpty());
}

// ---- JPEG orientation -------------------------------------------------------------------------

TEST_F(ImageFolderTest, JpegIsTurnedUprightBeforeItsOrientationTagIsStripped)
{
    Save(Solid(40, 20, "orange"), "JPEG", Src("phone.jpg"));
    // An EXIF block whose only entry says "rotate 90 degrees clockwise to view".
    const QByteArray exif = QByteArray::fromHex(
        "ffe10022" "457869660000" "4d4d002a00000008" "0001" "011200030000000100060000" "00000000");
    QFile file(Src("phone.jpg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray jpeg = file.readAll();
    file.close();
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(jpeg.left(2) + exif + jpeg.mid(2));
    file.close();
    ASSERT_EQ(Identify(Src("phone.jpg"), "%[orientation]"), "RightTop");

    const ImageRunResult result = ImagePipeline::Run(Params("phone.jpg"));
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    EXPECT_EQ(Identify(result.done->outputPath, "%wx%h %[orientation]"), "20x40 Undefined");
}

// ---- GIF --------------------------------------------------------------------------------------

constexpr const char* kFrameColours[] = {
    "#ff0000", "#00ff00", "#0000ff", "#ffff00", "#00ffff", "#ff00ff", "#ffffff",
    "#000000", "#ff8000", "#8000ff", "#808080", "#008080", "#800000"};
constexpr int kFrames = 13;
constexpr int kDelay = 10;

// The frame's colour index in kFrameColours, by the nearest colour.
int FrameColourIndex(const Magick::Image& frame)
{
    const Magick::ColorRGB seen = frame.pixelColor(frame.columns() / 2, frame.rows() / 2);
    int best = -1;
    double bestDistance = 1e9;
    for (int i = 0; i < kFrames; ++i) {
        const Magick::ColorRGB known{std::string(kFrameColours[i])};
        const double distance = std::abs(seen.red() - known.red()) +
                                std::abs(seen.green() - known.green()) +
                                std::abs(seen.blue() - known.blue());
        if (distance < bestDistance) bestDistance = distance, best = i;
    }
    return best;
}

struct GifCase {
    const char* name;
    int gifDefineParam;
    int choice;
    std::vector<int> kept;
};

class PipelineGif : public ImageFolderTest, public ::testing::WithParamInterface<GifCase> {};

TEST_P(PipelineGif, KeepsTheChosenFramesAndTheAnimationsLength)
{
    const GifCase& c = GetParam();
    std::vector<Magick::Image> frames;
    for (const char* colour : kFrameColours) {
        frames.push_back(Solid(16, 12, colour));
        frames.back().animationDelay(kDelay);
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
        kept.push_back(FrameColourIndex(frame));
        length += frame.animationDelay();
    }
    EXPECT_EQ(kept, c.kept);
    EXPECT_EQ(length, size_t{kFrames * kDelay});
}

INSTANTIATE_TEST_SUITE_P(
    Dropping, PipelineGif,
    ::testing::Values(GifCase{"EverySecondDropped", 1, 4, {0, 1, 3, 5, 7, 9, 11}},
                      GifCase{"EverySixthDropped", 1, 0, {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11}},
                      GifCase{"UnknownChoiceKeepsTheFirstOnly", 1, 7, {0}},
                      GifCase{"DroppingOffKeepsAll", 0, 4,
                              {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImageFolderTest, GifFramesStoredAsPartsStayInPlaceWhenResized)
{
    // A red canvas, then a frame that stores only a blue square in the middle.
    std::vector<Magick::Image> frames{Solid(100, 100, "red"), Solid(20, 20, "blue")};
    frames[1].page(Magick::Geometry(100, 100, 40, 40));
    frames[1].gifDisposeMethod(MagickCore::NoneDispose);
    SaveFrames(frames, Src("parts.gif"));
    ImageParams params = Params("parts.gif");
    params.ratioIndex = 5;

    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;
    const auto shown = ShownFrames(result.done->outputPath);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(Identify(result.done->outputPath, "%W"), "5050");  // the canvas per frame
    EXPECT_EQ(Magick::ColorRGB(shown[1].pixelColor(25, 25)).blue(), 1.0);
    EXPECT_EQ(Magick::ColorRGB(shown[1].pixelColor(5, 5)).red(), 1.0);
}

// ---- Names the image library would read as instructions ---------------------------------------

class PipelineOddNames : public ImageFolderTest, public ::testing::WithParamInterface<const char*> {
};

TEST_P(PipelineOddNames, CompressTheNamedFileAndKeepTheName)
{
    // A folder name that is a pattern too, with decoys that a pattern or scene number would find.
    const QString name = QString::fromUtf8(GetParam());
    const QString folder = Src("dir [1]");
    ASSERT_TRUE(QDir().mkpath(folder) && QDir().mkpath(Src("dir 1")));
    const OutputFile::SourceName parts = OutputFile::Split(name);
    const std::string magick = parts.extension == "jpg" ? "JPEG" : parts.extension.toUpper().toStdString();
    Save(Builtin("logo:"), magick, folder + "/" + name, 92);
    for (const QString& decoy : {Src("dir 1/") + name, folder + "/photo1.jpg",
                                 folder + "/scan0.png", folder + "/b.gif"})
        Save(Solid(8, 8, "black"), "JPEG", decoy, 50);

    ImageParams params = Params("");
    params.sourcePath = folder + "/" + name;
    params.identifyPath = IdentifyProgram();
    const ImageRunResult result = ImagePipeline::Run(params);
    ASSERT_TRUE(result.Succeeded()) << result.failure;

    EXPECT_EQ(result.done->outputPath, Out(name));
    EXPECT_EQ(Identify(result.done->outputPath, "%wx%h"), "640x480");
    if (magick == "JPEG") EXPECT_EQ(Identify(result.done->outputPath, "%Q"), "73");
}

INSTANTIATE_TEST_SUITE_P(Names, PipelineOddNames,
                         ::testing::Values("photo[1].jpg", "scan%d.png", "a:b.gif",
                                           "it's \"my\" 照片 $HOME.jpg", "-x *.bmp"));

// ---- Bad input --------------------------------------------------------------------------------

QByteArray PngChunk(const char* type, const QByteArray& data)
{
    QByteArray chunk(type, 4);
    chunk += data;
    quint32 crc = 0xFFFFFFFFu;
    for (unsigned char byte : chunk) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    crc ^= 0xFFFFFFFFu;
    QByteArray out;
    QDataStream(&out, QIODevice::WriteOnly) << quint32(data.size());
    out += chunk;
    QDataStream stream(&out, QIODevice::Append);
    stream << crc;
    return out;
}

// A one-bit grey PNG of side x side, all black: tiny on disk, huge in memory.
QByteArray BlankPng(quint32 side, bool withPixels)
{
    QByteArray header;
    QDataStream(&header, QIODevice::WriteOnly) << side << side << quint8(1) << quint8(0)
                                               << quint8(0) << quint8(0) << quint8(0);
    QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", header);
    if (withPixels) {
        const QByteArray raw(qsizetype(side) * (1 + (side + 7) / 8), '\0');
        png += PngChunk("IDAT", qCompress(raw, 9).mid(4));
    }
    return png + PngChunk("IEND", {});
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
    QFile file(Src(c.fileName));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(c.content());
    file.close();
    QFile existing(Out(c.fileName));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("keep");
    existing.close();
    ImageParams params = Params(c.fileName);
    params.identifyPath = IdentifyProgram();

    const ImageRunResult result = ImagePipeline::Run(params);
    EXPECT_FALSE(result.Succeeded());
    EXPECT_FALSE(result.failure.empty());
    EXPECT_EQ(Entries(OutDir()), QStringList{c.fileName});
    ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
    EXPECT_EQ(existing.readAll(), "keep");
}

QByteArray TruncatedPng()
{
    Magick::Image logo = Builtin("logo:");
    logo.magick("PNG");
    Magick::Blob blob;
    logo.write(&blob);
    return QByteArray(static_cast<const char*>(blob.data()), qsizetype(blob.length() / 2));
}

INSTANTIATE_TEST_SUITE_P(
    Files, PipelineBadInput,
    ::testing::Values(BadInput{"TextNamedJpg", "x.jpg", [] { return QByteArray("hello\n"); }},
                      BadInput{"Empty", "empty.png", [] { return QByteArray(); }},
                      BadInput{"TruncatedPng", "cut.png", TruncatedPng},
                      BadInput{"HeaderClaimsHugeSize", "claim.png",
                               [] { return BlankPng(200000, false); }},
                      // 121 megapixels: within the library's own size limits, but its
                      // pixels alone need 968 MB.
                      BadInput{"BlankBeyondTheMemoryLimit", "blank.png",
                               [] { return BlankPng(11000, true); }},
                      BadInput{"UnknownExtension", "x.tif", [] { return QByteArray("II*"); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
