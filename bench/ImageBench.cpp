// SPDX-License-Identifier: GPL-3.0-or-later
// Compresses a set of JPEG, PNG, BMP and GIF files with the image pipeline and, in the same
// invocation, with the `convert` command lines that do the same work, then prints both wall
// times, their ratio (pipeline / convert; the target is at most 1.0) and the pipeline's peak
// memory. The sources are made by `convert` in child processes, so the peak belongs to the
// pipeline alone.
//
// Then it sets the pipeline's output beside the reference encoders' on the same sources:
// `pngquant --quality 65-80` for each PNG, and `cjpeg -quality Q -optimize -progressive` at the
// pipeline's own quality for each JPEG, with sizes, their ratio (pipeline / tool; the target is
// at most 1.00) and each file's SSIM against its source (ffmpeg's ssim filter; the target is
// the pipeline's no lower).
//
//   image_bench [--repeat N] [--keep]

#include "core/app/Paths.h"
#include "core/image/ImagePipeline.h"
#include "core/image/OutputFile.h"
#include "core/image/SourceQuality.h"
#include "core/platform/ChildProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Sample {
    const char* name;
    QStringList make;  // convert arguments that make it (the output path is appended)
};

const QString kConvert = QStringLiteral("convert");

bool Run(const QString& program, const QStringList& arguments)
{
    const auto result = platform::RunCapture(program, arguments, 300000, 1 << 20);
    if (!result.Succeeded())
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), result.output.constData());
    return result.Succeeded();
}

std::vector<Sample> Samples()
{
    std::vector<Sample> samples{
        {"photo.jpg",
         {"rose:", "-resize", "3000x2000!", "-attenuate", "0.4", "+noise", "Gaussian", "-quality",
          "90"}},
        {"drawing.png", {"logo:", "-resize", "1200x800!"}},
        {"photo.png", {"rose:", "-resize", "800x600!", "-depth", "8"}},
        {"screenshot.png",
         {"-size",
          "1000x700",
          "xc:#f3f3f3",
          "-fill",
          "#2b5797",
          "-draw",
          "rectangle 0,0 1000,40",
          "-font",
          "DejaVu-Sans",
          "-pointsize",
          "14",
          "-fill",
          "#333333",
          "-annotate",
          "+40+90",
          "Row 1   report_1.pdf   121 KB   modified 2024-02-11 10:11\n"
          "Row 2   report_2.pdf   122 KB   modified 2024-03-12 10:12\n"
          "Row 3   report_3.pdf   123 KB   modified 2024-04-13 10:13\n"
          "Row 4   report_4.pdf   124 KB   modified 2024-05-14 10:14",
          "(",
          "rose:",
          "-resize",
          "200x150!",
          ")",
          "-geometry",
          "+740+80",
          "-composite",
          "-depth",
          "8"}},
        {"scan.bmp", {"rose:", "-resize", "1200x800!", "-attenuate", "0.2", "+noise", "Gaussian"}},
    };
    // A 20-frame animation: a turning rose moving over a gradient.
    QStringList gif{"-size", "320x240", "-delay", "8"};
    for (int i = 0; i < 20; ++i) {
        gif << "("
            << "gradient:navy-orange"
            << "("
            << "rose:"
            << "-rotate" << QString::number(i * 18) << ")"
            << "-geometry" << QStringLiteral("+%1+60").arg(i * 10) << "-composite"
            << ")";
    }
    gif << "-loop"
        << "0";
    samples.push_back({"anim.gif", gif});
    return samples;
}

// The convert command lines equivalent to one pipeline run at strength general with ratio 1.
bool ConvertEquivalent(const QString& source, const QString& outDir, const QString& tempDir)
{
    const OutputFile::SourceName name = OutputFile::Split(source);
    const QString out = outDir + "/" + name.baseName + "." + name.extension;
    const auto size = platform::RunCapture(FindTool("identify"),
                                           {"-ping", "-format", "%W %H\n", source}, 10000, 1 << 20);
    ImageParams params;
    params.ratioIndex = 1;
    const QList<QByteArray> wh = size.output.split('\n').value(0).split(' ');
    QString box;
    if (wh.size() == 2) {
        const auto b = ImagePipeline::ResizeBox(wh[0].toInt(), wh[1].toInt(), params);
        box = QStringLiteral("%1x%2").arg(b.width).arg(b.height);
    }
    if (name.extension == u"jpg") {
        const auto probe = platform::RunCapture(FindTool("identify"),
                                                {"-ping", "-format", "Quality: %[quality]\n", "-"},
                                                3000, 1 << 20, source);
        const int q = SourceQuality::Parse(probe.output).value_or(100);
        const int quality = static_cast<int>(q - q * 0.2);
        return Run(kConvert, {source, "-auto-orient", "-strip", "-quality",
                              QString::number(quality), "-resize", box, out});
    }
    if (name.extension == u"png")
        return Run(kConvert,
                   {source, "-auto-orient", "-strip", "-resize", box, "-colors", "256", out});
    if (name.extension == u"bmp") {
        const QString temporary = tempDir + "/bench-tmp.png";
        const bool ok =
            Run(kConvert, {source, "-auto-orient", "-strip", "-colors", "256", temporary}) &&
            Run(kConvert, {temporary, "-resize", box, "-colors", "256", "BMP:" + out});
        QFile::remove(temporary);
        return ok;
    }
    return Run(kConvert, {source, "-coalesce", "-strip", "-fuzz", "4%", "-resize", box, "-layers",
                          "optimize", out});
}

long StatusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(std::strlen(field)).trimmed().split(' ')[0].toLong();
    }
    return -1;
}

// ffmpeg's SSIM ("All") of test against reference, both as 8-bit RGB; -1 when it cannot tell.
double Ssim(const QString& reference, const QString& test)
{
    const auto run = platform::RunCapture(
        QStringLiteral("ffmpeg"),
        {"-hide_banner", "-i", reference, "-i", test, "-lavfi",
         "[0]format=rgb24[a];[1]format=rgb24[b];[a][b]ssim", "-f", "null", "-"},
        120000, 1 << 20);
    const qsizetype at = run.output.lastIndexOf("All:");
    if (!run.Succeeded() || at < 0) return -1;
    return run.output.mid(at + 4).split(' ').value(0).toDouble();
}

struct Reference {
    QString tool;  // what made the reference file
    QString path;  // the reference file, empty when the tool failed
};

// pngquant on a PNG, cjpeg at the pipeline output's quality on a JPEG.
Reference ReferenceFor(const QString& source, const QString& pipelineOutput, const QString& dir)
{
    if (source.endsWith(u".png")) {
        const QString out = dir + "/pngquant.png";
        auto run = platform::RunCapture(
            QStringLiteral("pngquant"),
            {"--quality", "65-80", "--force", "--output", out, "--", source}, 300000, 1 << 20);
        if (run.exitCode == 99)  // below its minimum quality it writes nothing
            run = platform::RunCapture(
                QStringLiteral("pngquant"),
                {"--quality", "0-80", "--force", "--output", out, "--", source}, 300000, 1 << 20);
        return {QStringLiteral("pngquant 65-80"), run.Succeeded() ? out : QString()};
    }
    const auto quality = platform::RunCapture(FindTool("identify"),
                                              {"-format", "%Q", pipelineOutput}, 10000, 1 << 20);
    const QString q = QString::fromUtf8(quality.output).trimmed();
    const QString pixels = dir + "/source.ppm", out = dir + "/cjpeg.jpg";
    const bool ok =
        quality.Succeeded() &&
        platform::RunCapture(QStringLiteral("djpeg"), {"-outfile", pixels, source}, 300000, 1 << 20)
            .Succeeded() &&
        platform::RunCapture(QStringLiteral("cjpeg"),
                             {"-quality", q, "-optimize", "-progressive", "-outfile", out, pixels},
                             300000, 1 << 20)
            .Succeeded();
    QFile::remove(pixels);
    return {QStringLiteral("cjpeg q") + q, ok ? out : QString()};
}

void EmptyFolder(const QString& path)
{
    QDir dir(path);
    dir.removeRecursively();
    QDir().mkpath(path);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int repeat = 3;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--keep"))
            keep = true;
    }

    QTemporaryDir root(QDir::tempPath() + "/lumo-image-bench-XXXXXX");
    root.setAutoRemove(!keep);
    const QString src = root.path() + "/src", outPipeline = root.path() + "/pipeline",
                  outConvert = root.path() + "/convert", temp = root.path() + "/tmp";
    for (const QString& dir : {src, outPipeline, outConvert, temp}) QDir().mkpath(dir);
    std::printf("making samples in %s\n", qPrintable(root.path()));
    const std::vector<Sample> samples = Samples();
    for (const Sample& sample : samples) {
        if (!Run(kConvert, QStringList(sample.make) << src + "/" + sample.name)) return 1;
    }

    ImagePipeline::InitializeLibrary();
    const long baseline = StatusKiB("VmRSS:");
    std::printf("%-12s %10s %10s %7s %12s %12s %12s\n", "file", "pipeline", "convert", "ratio",
                "source", "pipeline", "convert");
    qint64 pipelineTotal = 0, convertTotal = 0;
    for (const Sample& sample : samples) {
        const QString source = src + "/" + sample.name;
        qint64 pipelineMs = 0, convertMs = 0, pipelineSize = 0, convertSize = 0;
        for (int r = 0; r < repeat; ++r) {
            EmptyFolder(outPipeline);
            EmptyFolder(outConvert);
            ImageParams params;
            params.sourcePath = source;
            params.outputDir = outPipeline;
            params.tempDir = temp;
            params.ratioIndex = 1;
            params.identifyPath = FindTool(QStringLiteral("identify"));
            QElapsedTimer clock;
            clock.start();
            const ImageRunResult result = ImagePipeline::Run(params);
            pipelineMs += clock.elapsed();
            if (!result.Succeeded()) {
                std::fprintf(stderr, "pipeline failed on %s: %s\n", sample.name,
                             result.failure.c_str());
                return 1;
            }
            pipelineSize = result.done->outputSize;

            clock.restart();
            if (!ConvertEquivalent(source, outConvert, temp)) return 1;
            convertMs += clock.elapsed();
            const QStringList written = QDir(outConvert).entryList(QDir::Files);
            convertSize = written.isEmpty() ? 0 : QFileInfo(outConvert + "/" + written[0]).size();
        }
        pipelineTotal += pipelineMs;
        convertTotal += convertMs;
        std::printf("%-12s %8lldms %8lldms %7.2f %12lld %12lld %12lld\n", sample.name,
                    static_cast<long long>(pipelineMs / repeat),
                    static_cast<long long>(convertMs / repeat),
                    convertMs ? double(pipelineMs) / double(convertMs) : 0.0,
                    static_cast<long long>(QFileInfo(source).size()),
                    static_cast<long long>(pipelineSize), static_cast<long long>(convertSize));
    }
    std::printf(
        "total over %d round(s): pipeline %lld ms, convert %lld ms, ratio %.2f (target <= 1.00)\n",
        repeat, static_cast<long long>(pipelineTotal), static_cast<long long>(convertTotal),
        convertTotal ? double(pipelineTotal) / double(convertTotal) : 0.0);
    std::printf("pipeline peak memory: VmHWM %ld KiB (resident before the first run: %ld KiB)\n",
                StatusKiB("VmHWM:"), baseline);

    // The same sources through the reference encoders, at no resizing so that both encode the
    // same pixels.
    std::printf(
        "\nagainst the reference encoders (no resizing; ratio = pipeline / tool, target <= 1.00; "
        "SSIM against the source, target: pipeline >= tool)\n");
    std::printf("%-15s %-15s %10s %10s %6s %10s %10s\n", "file", "tool", "pipeline", "tool",
                "ratio", "ssim pipe", "ssim tool");
    const QString refDir = root.path() + "/reference";
    QDir().mkpath(refDir);
    for (const Sample& sample : samples) {
        const QString source = src + "/" + sample.name;
        if (!source.endsWith(u".png") && !source.endsWith(u".jpg")) continue;
        EmptyFolder(outPipeline);
        EmptyFolder(refDir);
        ImageParams params;
        params.sourcePath = source;
        params.outputDir = outPipeline;
        params.tempDir = temp;
        params.identifyPath = FindTool(QStringLiteral("identify"));
        const ImageRunResult result = ImagePipeline::Run(params);
        if (!result.Succeeded()) {
            std::fprintf(stderr, "pipeline failed on %s: %s\n", sample.name,
                         result.failure.c_str());
            return 1;
        }
        const Reference reference = ReferenceFor(source, result.done->outputPath, refDir);
        if (reference.path.isEmpty()) {
            std::printf("%-15s %-15s %10lld %10s\n", sample.name, qPrintable(reference.tool),
                        static_cast<long long>(result.done->outputSize), "failed");
            continue;
        }
        const qint64 toolSize = QFileInfo(reference.path).size();
        std::printf("%-15s %-15s %10lld %10lld %6.3f %10.6f %10.6f\n", sample.name,
                    qPrintable(reference.tool), static_cast<long long>(result.done->outputSize),
                    static_cast<long long>(toolSize),
                    toolSize ? double(result.done->outputSize) / double(toolSize) : 0.0,
                    Ssim(source, result.done->outputPath), Ssim(source, reference.path));
    }
    return 0;
}
