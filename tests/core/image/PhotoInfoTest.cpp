// SPDX-License-Identifier: GPL-3.0-or-later
// The photo information an image output keeps when asked: real photos tagged by exiftool,
// compressed to each output format and read back by exiftool.

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include "core/image/HeifCodec.h"
#include "core/image/HeifItems.h"
#include "core/image/ImagePipeline.h"
#include "core/image/ImageTestSupport.h"
#include "core/platform/ChildProcess.h"

#include <exiv2/exiv2.hpp>

using namespace imagetest;

namespace {

QString ExifTool()
{
    return QStandardPaths::findExecutable(QStringLiteral("exiftool"));
}

// exiftool's tags of the file, each under its group ("IFD0:Make", "GPS:GPSLatitude"), values as
// numbers where they are (-n).
QJsonObject Tags(const QString& path)
{
    const auto run = platform::RunCapture(ExifTool(), {"-j", "-G1", "-a", "-n", "-q", "-q", path},
                                          20000, 4 << 20);
    EXPECT_TRUE(run.Succeeded()) << run.output.toStdString();
    const QJsonArray all = QJsonDocument::fromJson(run.output).array();
    return all.isEmpty() ? QJsonObject() : all.first().toObject();
}

// The tags whose group starts with the given one ("GPS", "XMP-exif:GPS", "IPTC").
QStringList TagsIn(const QJsonObject& tags, const QString& prefix)
{
    QStringList found;
    for (auto it = tags.begin(); it != tags.end(); ++it)
        if (it.key().startsWith(prefix)) found << it.key();
    return found;
}

void Tag(const QString& path, const QStringList& arguments)
{
    const auto run = platform::RunCapture(
        ExifTool(), QStringList{"-overwrite_original", "-q"} + arguments + QStringList{path}, 30000,
        1 << 20);
    ASSERT_TRUE(run.Succeeded()) << run.output.toStdString();
}

// The facts of a camera, its place and words about the picture, in EXIF, XMP and IPTC.
const QStringList kPhotoTags = {
    "-DateTimeOriginal=2021:06:01 12:34:56",
    "-Make=LumoTestMaker",
    "-Model=Lumo Cam 1",
    "-LensModel=Lumo 50mm F1.8",
    "-ExposureTime=0.004",
    "-FNumber=2.8",
    "-ISO=200",
    "-ExifIFD:ExifImageWidth=64",
    "-ExifIFD:ExifImageHeight=48",
    "-GPSLatitude=48.8583",
    "-GPSLatitudeRef=N",
    "-GPSLongitude=2.2945",
    "-GPSLongitudeRef=E",
    "-XMP-exif:GPSLatitude=48.8583 N",
    "-XMP-exif:GPSLongitude=2.2945 E",
    "-XMP-photoshop:City=Paris",
    "-XMP-dc:Title=The tower",
    "-XMP-tiff:Orientation#=6",
};

class PhotoInfoTest : public ImageFolderTest {
protected:
    void SetUp() override
    {
        ImageFolderTest::SetUp();
        if (ExifTool().isEmpty()) GTEST_SKIP() << "exiftool is not installed";
        ImagePipeline::InitializeLibrary();
    }

    // A 64x48 picture, red with a blue block at its stored top left, which a viewer turning it
    // by orientation 6 (90 degrees clockwise) shows at the top right of a 48x64 picture.
    Magick::Image Picture() const
    {
        Magick::Image image(Magick::Geometry(64, 48), Magick::Color("red"));
        image.fillColor(Magick::Color("blue"));
        image.draw(Magick::DrawableRectangle(0, 0, 23, 23));
        return image;
    }

    // The camera's JPEG: the tags above, orientation 6, a thumbnail, IPTC words and place, a
    // comment and a maker's note.
    void MakeCameraJpeg(const QString& name)
    {
        Save(Picture(), "JPEG", Src(name), 90);
        Save(MakeImage("green", 16, 12), "JPEG", TmpDir() + "/thumb.jpg", 80);
        Tag(Src(name), kPhotoTags + QStringList{"-Orientation#=6", "-IPTC:City=Paris",
                                                "-IPTC:Keywords=tower", "-Comment=Lumo comment",
                                                "-ThumbnailImage<=" + TmpDir() + "/thumb.jpg"});
        // A maker's note of a make exiv2 does not know, kept as its bytes.
        Exiv2::Image::AutoPtr image =
            Exiv2::ImageFactory::open(QFile::encodeName(Src(name)).toStdString());
        image->readMetadata();
        image->exifData()["Exif.Photo.MakerNote"] =
            Exiv2::DataValue(reinterpret_cast<const Exiv2::byte*>("LUMONOTE-0123456789"), 19,
                             Exiv2::invalidByteOrder, Exiv2::undefined);
        image->writeMetadata();
    }

    ImageRunResult Compress(const QString& name, int imageType, bool keep, bool location = false)
    {
        ImageParams params = Params(name);
        params.imageType = imageType;
        params.keepPhotoInfo = keep;
        params.keepLocation = location;
        ImageRunResult result = ImagePipeline::Run(params);
        EXPECT_TRUE(result.Succeeded()) << result.failure;
        return result;
    }

    // The output moved aside under a name of its own, so a later run does not take its name.
    QString Keep(const ImageRunResult& result, const QString& as)
    {
        if (!result.Succeeded()) return {};
        const QString path = TmpDir() + "/" + as;
        EXPECT_TRUE(QFile::rename(result.done->outputPath, path));
        return path;
    }
};

std::string Text(const QJsonObject& tags, const char* key)
{
    return tags.value(key).toVariant().toString().toStdString();
}

// The pixels of two files differ nowhere.
bool SamePixels(const QString& a, const QString& b)
{
    Magick::Image first(QFile::encodeName(a).toStdString());
    Magick::Image second(QFile::encodeName(b).toStdString());
    return first.columns() == second.columns() && first.rows() == second.rows() &&
           first.compare(second);
}

}  // namespace

// JPEG kept, and JPEG to WebP and AVIF: the camera's facts stay, the orientation reads normal
// on upright pixels, the thumbnail and the location go, and the picture is the one written
// without the metadata.
TEST_F(PhotoInfoTest, CameraJpegKeepsItsFactsInEveryOutputWithoutTheLocation)
{
    MakeCameraJpeg("photo.jpg");
    struct Case {
        int imageType;
        const char* extension;
    };
    for (const Case c : {Case{0, "jpg"}, Case{2, "webp"}, Case{3, "avif"}}) {
        SCOPED_TRACE(c.extension);
        const QString plain =
            Keep(Compress("photo.jpg", c.imageType, false), QString("plain.") + c.extension);
        const QString kept =
            Keep(Compress("photo.jpg", c.imageType, true), QString("kept.") + c.extension);
        ASSERT_FALSE(kept.isEmpty());
        const QJsonObject tags = Tags(kept);

        EXPECT_EQ(Text(tags, "IFD0:Make"), "LumoTestMaker");
        EXPECT_EQ(Text(tags, "IFD0:Model"), "Lumo Cam 1");
        EXPECT_EQ(Text(tags, "ExifIFD:LensModel"), "Lumo 50mm F1.8");
        EXPECT_EQ(Text(tags, "ExifIFD:DateTimeOriginal"), "2021:06:01 12:34:56");
        EXPECT_DOUBLE_EQ(tags.value("ExifIFD:ExposureTime").toDouble(), 0.004);
        EXPECT_EQ(tags.value("ExifIFD:ISO").toInt(), 200);
        EXPECT_EQ(Text(tags, "XMP-dc:Title"), "The tower");
        EXPECT_TRUE(tags.contains("ExifIFD:MakerNoteUnknownText") ||
                    tags.contains("ExifIFD:MakerNoteUnknownBinary"))
            << QJsonDocument(tags).toJson().toStdString();

        // Upright pixels say so: 48x64 with the block at the top right, and both orientation
        // tags read 1; the pixel sizes the EXIF states are the output's.
        EXPECT_EQ(tags.value("IFD0:Orientation").toInt(), 1);
        EXPECT_EQ(tags.value("XMP-tiff:Orientation").toInt(), 1);
        EXPECT_EQ(tags.value("ExifIFD:ExifImageWidth").toInt(), 48);
        EXPECT_EQ(tags.value("ExifIFD:ExifImageHeight").toInt(), 64);
        Magick::Image out(QFile::encodeName(kept).toStdString());
        EXPECT_EQ(out.columns(), 48u);
        EXPECT_EQ(out.rows(), 64u);
        const Magick::ColorRGB corner = out.pixelColor(40, 8);
        EXPECT_GT(corner.blue(), corner.red() + 0.3);

        EXPECT_EQ(TagsIn(tags, "GPS:"), QStringList());
        EXPECT_EQ(TagsIn(tags, "XMP-exif:GPS"), QStringList());
        EXPECT_FALSE(tags.contains("XMP-photoshop:City"));
        EXPECT_EQ(TagsIn(tags, "IFD1:"), QStringList());  // the thumbnail

        if (QString(c.extension) == "jpg") {
            EXPECT_EQ(Text(tags, "IPTC:Keywords"), "tower");
            EXPECT_FALSE(tags.contains("IPTC:City"));
            EXPECT_EQ(Text(tags, "File:Comment"), "Lumo comment");
        }

        // The coded picture is the one written without the choice, which keeps none of it; the
        // metadata costs what it holds, no padding (the XMP toolkit's 2 KB) and no thumbnail.
        EXPECT_TRUE(SamePixels(plain, kept));
        EXPECT_LT(ReadBytes(kept).size() - ReadBytes(plain).size(), 1500);
        const QJsonObject none = Tags(plain);
        EXPECT_FALSE(none.contains("IFD0:Make"));
        EXPECT_EQ(TagsIn(none, "XMP"), QStringList());
        EXPECT_EQ(TagsIn(none, "GPS"), QStringList());
        EXPECT_EQ(TagsIn(none, "IPTC"), QStringList());
    }
}

TEST_F(PhotoInfoTest, LocationIsKeptOnlyWhenAskedAndTheChoiceAloneChangesNothing)
{
    MakeCameraJpeg("photo.jpg");
    for (const int imageType : {0, 3}) {
        SCOPED_TRACE(imageType);
        const QJsonObject tags = Tags(Keep(Compress("photo.jpg", imageType, true, true), "loc"));
        EXPECT_NEAR(tags.value("GPS:GPSLatitude").toDouble(), 48.8583, 1e-4);
        EXPECT_NEAR(tags.value("GPS:GPSLongitude").toDouble(), 2.2945, 1e-4);
        EXPECT_EQ(Text(tags, "XMP-photoshop:City"), "Paris");
        EXPECT_FALSE(TagsIn(tags, "XMP-exif:GPS").isEmpty());
        if (imageType == 0) {
            EXPECT_EQ(Text(tags, "IPTC:City"), "Paris");
        }
        QFile::remove(TmpDir() + "/loc");
    }

    // The location choice without the photo information: the output the default writes.
    const QByteArray plain = ReadBytes(Keep(Compress("photo.jpg", 0, false), "plain.jpg"));
    const QByteArray located = ReadBytes(Keep(Compress("photo.jpg", 0, false, true), "loc.jpg"));
    EXPECT_FALSE(plain.isEmpty());
    EXPECT_EQ(plain, located);
}

// A PNG keeps its text chunks, and its EXIF and XMP in eXIf and iTXt; the location goes.
TEST_F(PhotoInfoTest, PngKeepsItsTextChunksExifAndXmp)
{
    Save(Picture(), "PNG", Src("shot.png"));
    Tag(Src("shot.png"),
        kPhotoTags + QStringList{"-PNG:Comment=Lumo PNG comment", "-PNG:Author=Lumo Author"});
    const QString kept = Keep(Compress("shot.png", 0, true), "kept.png");
    const QJsonObject tags = Tags(kept);
    EXPECT_EQ(Text(tags, "PNG:Comment"), "Lumo PNG comment");
    EXPECT_EQ(Text(tags, "PNG:Author"), "Lumo Author");
    EXPECT_EQ(Text(tags, "IFD0:Make"), "LumoTestMaker");
    EXPECT_EQ(Text(tags, "ExifIFD:DateTimeOriginal"), "2021:06:01 12:34:56");
    EXPECT_EQ(Text(tags, "XMP-dc:Title"), "The tower");
    // The image library does not turn a PNG by its tags: the orientation stays as it was.
    EXPECT_EQ(tags.value("XMP-tiff:Orientation").toInt(), 6);
    EXPECT_EQ(TagsIn(tags, "GPS:"), QStringList());
    EXPECT_EQ(TagsIn(tags, "XMP-exif:GPS"), QStringList());
    EXPECT_FALSE(tags.contains("XMP-photoshop:City"));
    EXPECT_TRUE(ReadBytes(kept).contains("eXIf"));
    EXPECT_EQ(Identify(kept, "%m %wx%h"), "PNG 64x48");

    // So does its EXIF orientation, in a JPEG made of it too, beside the pixels as stored.
    Tag(Src("shot.png"), {"-Orientation#=6"});
    const QString jpeg = Keep(Compress("shot.png", 1, true), "turned.jpg");
    EXPECT_EQ(Tags(jpeg).value("IFD0:Orientation").toInt(), 6);
    EXPECT_EQ(Identify(jpeg, "%m %wx%h"), "JPEG 64x48");

    const QJsonObject none = Tags(Keep(Compress("shot.png", 0, false), "plain.png"));
    EXPECT_FALSE(none.contains("PNG:Comment"));
    EXPECT_FALSE(none.contains("IFD0:Make"));
}

// A HEIC and a TIFF kept in their format: their items and tags written without touching the
// picture.
TEST_F(PhotoInfoTest, HeicAndTiffKeepTheirFormatAndTheirFacts)
{
    for (const char* format : {"HEIC", "TIFF"}) {
        SCOPED_TRACE(format);
        const QString name = QString("pic.") + QString(format).toLower();
        Save(Picture(), format, Src(name), 80);
        // Without the EXIF pixel sizes: libtiff warns of them as SHORT, which fails the read.
        QStringList sourceTags = kPhotoTags;
        sourceTags.removeIf([](const QString& t) { return t.startsWith("-ExifIFD:ExifImage"); });
        Tag(Src(name), sourceTags);
        const QJsonObject source = Tags(Src(name));
        ASSERT_EQ(Text(source, "IFD0:Make"), "LumoTestMaker") << "exiftool did not tag it";

        const QString plain = Keep(Compress(name, 0, false), "plain-" + name);
        const QString kept = Keep(Compress(name, 0, true), "kept-" + name);
        const QJsonObject tags = Tags(kept);
        EXPECT_EQ(Text(tags, "IFD0:Make"), "LumoTestMaker");
        EXPECT_EQ(Text(tags, "ExifIFD:LensModel"), "Lumo 50mm F1.8");
        EXPECT_EQ(Text(tags, "XMP-dc:Title"), "The tower");
        EXPECT_EQ(TagsIn(tags, "GPS:"), QStringList());
        EXPECT_EQ(TagsIn(tags, "XMP-exif:GPS"), QStringList());
        EXPECT_TRUE(SamePixels(plain, kept));
        EXPECT_FALSE(Tags(plain).contains("IFD0:Make"));
    }
}

// A source whose EXIF is damaged is compressed all the same, without it.
TEST_F(PhotoInfoTest, DamagedExifDoesNotFailTheCompression)
{
    Save(Picture(), "JPEG", Src("plain.jpg"), 90);
    QByteArray bytes = ReadBytes(Src("plain.jpg"));
    // An APP1 Exif segment whose first directory lies far past the segment's end.
    const QByteArray tiff("II*\0\xF0\xFF\xFF\x0F", 8);
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff + QByteArray(16, '\xAB');
    QByteArray segment("\xFF\xE1", 2);
    segment.append(char((payload.size() + 2) >> 8)).append(char((payload.size() + 2) & 0xFF));
    bytes.insert(2, segment + payload);
    WriteBytes(Src("broken.jpg"), bytes);

    const ImageRunResult result = Compress("broken.jpg", 0, true);
    ASSERT_TRUE(result.Succeeded());
    EXPECT_EQ(Identify(result.done->outputPath, "%m %wx%h"), "JPEG 64x48");
}

// A size limit holds with the metadata in the file: the search leaves room for it.
TEST_F(PhotoInfoTest, SizeLimitHoldsWithTheMetadata)
{
    // A noisy picture, whose quality search fills the whole limit, and words enough to matter.
    Magick::Image noisy(Magick::Geometry(240, 180), Magick::Color("gray"));
    noisy.addNoise(MagickCore::GaussianNoise);
    Save(noisy, "JPEG", Src("photo.jpg"), 95);
    Tag(Src("photo.jpg"), kPhotoTags + QStringList{"-XMP-dc:Description=" + QString(6000, 'w')});
    const qint64 limit = 24000;
    ASSERT_GT(ReadBytes(Src("photo.jpg")).size(), 2 * limit);
    for (const int imageType : {0, 2, 3}) {
        SCOPED_TRACE(imageType);
        ImageParams params = Params("photo.jpg");
        params.imageType = imageType;
        params.keepPhotoInfo = true;
        params.maxBytes = limit;
        const ImageRunResult result = ImagePipeline::Run(params);
        ASSERT_TRUE(result.Succeeded()) << result.failure;
        EXPECT_LE(result.done->outputSize, limit);
        // Nothing large was left unused either: the picture took what the words left.
        EXPECT_GT(result.done->outputSize, limit - 4000);
        EXPECT_EQ(Tags(result.done->outputPath).value("XMP-dc:Description").toString().size(),
                  6000);
        QFile::remove(result.done->outputPath);
    }
}

// The top-level boxes of a HEIF file, as their types, by the size each states; "?" for a box of
// size 0 or one that overruns the file.
std::vector<std::string> TopBoxes(const std::string& file, std::size_t* lastAt = nullptr)
{
    std::vector<std::string> types;
    for (std::size_t at = 0; at + 8 <= file.size();) {
        const auto byte = [&](std::size_t i) { return std::size_t(std::uint8_t(file[at + i])); };
        const std::size_t size = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
        if (lastAt) *lastAt = at;
        if (size < 8 || size > file.size() - at) {
            types.push_back("?");
            break;
        }
        types.push_back(file.substr(at + 4, 4));
        at += size;
    }
    return types;
}

// The HEIF item writer on a file whose last box runs to the end (size 0), and on files cut
// short: the first gets its items with the picture unmoved, the others are refused.
TEST(HeifItemsTest, OpenEndedBoxesAreSizedAndCutFilesRefused)
{
    ImagePipeline::InitializeLibrary();
    std::vector<std::uint8_t> rgba(32 * 24 * 4, 0x80);
    for (std::size_t i = 3; i < rgba.size(); i += 4) rgba[i] = i % 7 ? 0xFF : 0x40;
    const std::string encoded = heifcodec::EncodeImage(
        Magick::Image(32, 24, "RGBA", Magick::CharPixel, rgba.data()), true, 60);
    std::size_t last = 0;
    ASSERT_EQ(TopBoxes(encoded, &last).back(), "mdat");
    std::string file = encoded;
    file.replace(last, 4, std::string(4, '\0'));  // the coded data runs to the end

    const std::string tiff("II*\0\x08\0\0\0\0\0\0\0\0\0", 14);  // an empty IFD0
    const std::string xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>";
    const std::string added = heifitems::AddMetadata(file, tiff, xmp);
    EXPECT_EQ(TopBoxes(added), (std::vector<std::string>{"ftyp", "meta", "mdat", "mdat"}));
    EXPECT_NE(added.find("application/rdf+xml"), std::string::npos);
    Magick::Image original, written;
    original.read(Magick::Blob(encoded.data(), encoded.size()));
    written.read(Magick::Blob(added.data(), added.size()));
    EXPECT_TRUE(original.compare(written));

    for (const std::size_t cut : {std::size_t(20), encoded.size() / 3}) {
        SCOPED_TRACE(cut);
        EXPECT_THROW(heifitems::AddMetadata(encoded.substr(0, cut), tiff, xmp), std::runtime_error);
    }
}
