#include "image/ImageTestSupport.h"

#include "image/ImagePipeline.h"
#include "image/SourceQuality.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace imagetest {

QString IdentifyProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("identify"));
}

Magick::Image Solid(int width, int height, const char* colour)
{
    ImagePipeline::InitializeLibrary();
    return Magick::Image(Magick::Geometry(width, height), Magick::Color(colour));
}

Magick::Image Builtin(const char* name)
{
    ImagePipeline::InitializeLibrary();
    return Magick::Image(name);
}

void Save(Magick::Image image, const std::string& magick, const QString& path, int quality)
{
    image.magick(magick);
    if (quality > 0) image.quality(quality);
    Magick::Blob blob;
    image.write(&blob);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(static_cast<const char*>(blob.data()), static_cast<qint64>(blob.length()));
}

void SaveFrames(std::vector<Magick::Image> frames, const QString& path)
{
    // One palette for all frames: the encoder would otherwise quantize each frame on its own,
    // at a tenth of a second apiece.
    Magick::quantizeImages(frames.begin(), frames.end());
    frames.front().magick("GIF");
    Magick::Blob blob;
    Magick::writeImages(frames.begin(), frames.end(), &blob, true);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(static_cast<const char*>(blob.data()), static_cast<qint64>(blob.length()));
}

std::vector<Magick::Image> ShownFrames(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    std::vector<Magick::Image> stored, shown;
    Magick::readImages(&stored, Magick::Blob(bytes.constData(), bytes.size()));
    Magick::coalesceImages(&shown, stored.begin(), stored.end());
    return shown;
}

QString Identify(const QString& path, const QString& format)
{
    const auto run =
        SourceQuality::RunWithInput(IdentifyProgram(), {"-format", format, "-"}, path, 20000, 1 << 20);
    if (!run.Succeeded()) return {};
    return QString::fromUtf8(run.output);
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                      QDir::NoDotAndDotDot,
                                  QDir::Name);
}

void ImageFolderTest::SetUp()
{
    ASSERT_TRUE(root_.isValid());
    for (const char* sub : {"src", "out", "tmp"}) ASSERT_TRUE(QDir(root_.path()).mkdir(sub));
}

ImageParams ImageFolderTest::Params(const QString& name) const
{
    ImageParams params;
    params.sourcePath = Src(name);
    params.outputDir = OutDir();
    params.tempDir = TmpDir();
    params.task_id = 7;
    return params;
}

}  // namespace imagetest
