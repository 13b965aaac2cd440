// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/ImageTestSupport.h"

#include "core/image/ImagePipeline.h"
#include "core/image/SourceQuality.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace imagetest {

QString IdentifyProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("identify"));
}

Magick::Image MakeImage(const char* what, int width, int height)
{
    ImagePipeline::InitializeLibrary();
    if (width > 0) return Magick::Image(Magick::Geometry(width, height), Magick::Color(what));
    return Magick::Image(what);
}

void Save(Magick::Image image, const std::string& magick, const QString& path, int quality)
{
    image.magick(magick);
    if (quality > 0) image.quality(quality);
    Magick::Blob blob;
    image.write(&blob);
    WriteBytes(path, QByteArray(static_cast<const char*>(blob.data()), qsizetype(blob.length())));
}

void SaveFrames(std::vector<Magick::Image> frames, const QString& path)
{
    // One palette for all frames: the encoder would quantize each on its own, slowly.
    Magick::quantizeImages(frames.begin(), frames.end());
    frames.front().magick("GIF");
    Magick::Blob blob;
    Magick::writeImages(frames.begin(), frames.end(), &blob, true);
    WriteBytes(path, QByteArray(static_cast<const char*>(blob.data()), qsizetype(blob.length())));
}

std::vector<Magick::Image> ShownFrames(const QString& path)
{
    const QByteArray bytes = ReadBytes(path);
    std::vector<Magick::Image> stored, shown;
    Magick::readImages(&stored, Magick::Blob(bytes.constData(), bytes.size()));
    Magick::coalesceImages(&shown, stored.begin(), stored.end());
    return shown;
}

QString Identify(const QString& path, const QString& format)
{
    // The file on standard input, so any name works.
    const auto run =
        platform::RunCapture(IdentifyProgram(), {"-format", format, "-"}, 20000, 1 << 20, path);
    return run.Succeeded() ? QString::fromUtf8(run.output) : QString();
}

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
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
