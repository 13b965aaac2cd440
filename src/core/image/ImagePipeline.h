// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>
#include <stop_token>
#include <string>

#include "core/image/ImageParams.h"
#include "core/image/MemoryBudget.h"

// The outcome of one run: the done record, or the text of what went wrong.
struct ImageRunResult {
    std::optional<ImageDoneRecord> done;
    std::string failure;
    bool stopped = false;  // the stop token ended the run; nothing was written

    bool Succeeded() const { return done.has_value(); }
};

// One image compression run over the image library: read the source, drop its metadata (after
// converting the pixels of an image tagged with another colour space to sRGB), resize it,
// re-encode it by the chosen strength (JPEG quality below the source's own, colour reduction for
// PNG and BMP, colour fuzz, frame dropping and transparency optimisation for GIF) and save it in
// the output folder under a name that replaces no file.
//
// An image of several frames or pages keeps them all: a GIF as a GIF or an animated WebP (each
// frame's time and the loop count kept), an animated WebP as one, a multi-page TIFF as a
// multi-page TIFF. An output format of one frame refuses it, and a written file that does not
// hold every frame is removed and the run fails.
//
// JPEG output is progressive with Huffman tables made for the image, chroma halved both ways
// below quality 90, and transparent pixels laid on white. A JPEG source that shrinks is decoded
// at a reduced size by the decoder itself. PNG output is an indexed PNG made by a palette
// quantiser (PalettePng). A stronger strength never writes a larger file than a weaker one: the
// weaker strengths' results are made too and the smallest is kept.
//
// Memory: every run checks from the headers that its pixels and copies fit MemoryLimit() before
// decoding, and reserves what it will hold at its peak (pixels, the source's bytes and the
// encoders' own buffers, as measured per format) from the process's Budget until it ends, so
// runs side by side stay within the budget together; a run that alone needs more than the
// budget runs alone. The image library's own limits are set from it (see InitializeLibrary).
//
// No file name ever reaches the image library: the source is read into memory here and handed
// over as data of an explicitly named format (taken from its first bytes, so a mislabelled file
// still works and nothing but a BMP, JPEG, PNG, GIF, WebP, HEIF (HEIC, AVIF) or TIFF decoder
// ever sees it), and the encoded
// result comes back as data that OutputFile saves. Names with brackets, "%", ":" or any script
// therefore mean nothing to the library.
//
// Runs are independent and may run on several threads at once (the library is thread-safe).
class ImagePipeline {
public:
    // The memory budget of the process's images: the image library's memory resource limit,
    // and what runs side by side hold together with what the process held before its first
    // image (see Budget).
    static constexpr unsigned long long kMemoryLimit = 800ULL * 1024 * 1024;
    // The environment variable that lowers the budget to its value in MiB (for tests, which
    // show with a small budget and small images what the whole budget does with large ones).
    static constexpr char kMemoryLimitVariable[] = "LUMO_IMAGE_MEMORY_MIB";
    // kMemoryLimit, or the lower value the variable sets.
    static unsigned long long MemoryLimit();

    // Never throws: every failure becomes the result's failure text (also printed). Once stop
    // is requested the run ends within a fraction of a second, wherever it is (the image
    // library's progress monitor, the quantiser's and the packer's checks, and checks between
    // the steps), writes nothing and reports stopped.
    static ImageRunResult Run(const ImageParams& params, std::stop_token stop = {});

    // The memory budget every run reserves from: MemoryLimit() less what the process held when
    // it was first asked for (at most half), made when the first image starts.
    static MemoryBudget& Budget();

    // PNG colour reduction: the quantiser's quality (0..100) at which a palette is not made
    // larger, whatever the strength's colour count allows (general's; see PngTargetQuality),
    // and its dithering level.
    static constexpr int kPngTargetQuality = 80;
    static constexpr float kPngDithering = 0.75f;
    // The quantiser's target quality of a strength: lower for the stronger ones, so that a
    // picture whose palette the target limits (a drawing) still gets a smaller file from them.
    static int PngTargetQuality(int compressType);

    // Initialises the image library once per process and sets its resource limits from
    // kMemoryLimit, above the system policy's where that is lower. It briefly sets the
    // MAGICK_CONFIGURE_PATH environment variable; the first call is best made before other
    // threads start.
    static void InitializeLibrary();

    // The resizing rule: the box an image of width x height is fitted into (aspect kept, never
    // enlarged). The custom box applies when defineParam, width and height are all set; else
    // ratioIndex 1..5 keeps 90..50 % of the width with a box height of 16/9 of the new width.
    struct Box {
        int width;
        int height;
    };
    static Box ResizeBox(int width, int height, const ImageParams& params);
    static bool CustomSizeApplies(const ImageParams& params);

    // JPEG quality for a source of quality q; empty when the strength sets none.
    static std::optional<int> JpegQuality(int sourceQuality, int compressType);
    // The output's extension for an output format choice (0 keeps the source's form, 1 JPEG,
    // 2 WebP, 3 AVIF; others JPEG) and a source extension in lower case: "jpg", "png", "bmp",
    // "gif", "webp", "avif", "heic" (for .heic and .heif) or "tiff" (for .tif and .tiff). Empty
    // for a source the program has no treatment for.
    static QString OutputExtension(int imageType, const QString& sourceExtension);
    // The encoder quality of a WebP ("WEBP") or HEIF-family ("AVIF", "HEIC") output by strength.
    static int ModernQuality(const char* magick, int compressType);
    // PNG and BMP colour count; empty when the strength sets none.
    static std::optional<int> ColourCount(int compressType);
    // GIF colour fuzz in percent of the quantum range.
    static double FuzzPercent(int compressType);
    // Whether frame index of a GIF is kept under frame dropping choice.
    static bool KeepsGifFrame(int index, int choice);
};
