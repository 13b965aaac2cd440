#pragma once

#include <QString>
#include <QStringList>

#include <string>

#include "core/intake/VideoTask.h"
#include "core/video/CompressParams.h"

// The encoder command line of one task. It is one of ten templates, kept in the exact text the
// program has always printed; the argument vector is derived from the template's own tokens, so
// every value (a path with blanks, quotes, "$" or any script) reaches ffmpeg as one argument and
// no shell is involved.

// What is decided about a task before its output name is known.
struct CommandPlan {
    int templateNumber = 0;      // 1 to 10
    QString sourceExtension;     // lower case
    QString extension;           // of the output file
    bool keepContainer = false;  // templates 1 to 4: codecs and audio follow the source
    int videoBitRate = 0;
    QString sizeText;        // "W*H", or empty to keep the source's size
    QString frameRate;       // the source's frame-rate text, empty when it is not a rate
    QString preset;          // "fast" or "ultrafast"
    std::string videoCodec;  // kept container: the probed name after the special cases
    std::string audioCodec;  // kept container: likewise; an encoder name ffmpeg can use
    bool withAudio = true;   // false: the kept container's audio options are left out
    int audioBitRate = 0;
    int sampleRate = 0;
    int channels = 0;
    QString videoFilter;  // "-vf" before the output when not empty (see FitPictureToEncoder)
};

struct FfmpegCommand {
    QString program;        // the encoder
    QStringList arguments;  // everything after the program, one entry per template token
    QString text;           // the command line as printed (the template filled in)
};

// The video bit rate for a base rate b (the stream's, else the container's): compress type 0
// keeps b - b*0.5, 1 keeps b - b*0.7, 2 keeps b - b*0.9 (double precision), any other type
// 1000000. A checked bit-rate box overrides this for every task with the slider: 0 gives
// b - b*0.01 and 100 b - b*0.99 (double precision), any other value v b - v*b/100 in single
// precision. Results are truncated toward zero.
int ComputeVideoBitRate(int baseRate, int compressType, const MainPageSnapshot& page);

// The video bit rates the encoders take: below 1 kbit/s x264 sees no rate at all and refuses
// to start; a negative or overflowed rate is refused by every encoder.
inline constexpr int kMinVideoBitRate = 1000;
// The rate clamped to what the encoders take: below kMinVideoBitRate gives kMinVideoBitRate.
int ClampVideoBitRate(qint64 rate);
// The base rate from a container's bit rate: rates above the int range are taken as its largest
// value rather than wrapped.
int ContainerBaseRate(qint64 formatBitRate);

// Encoders of 4:2:0 pictures that refuse odd widths or heights (x264, x265): the plan's picture
// is rounded down to even sizes for them, by an even "-s" for a chosen size or a scale filter
// that keeps the source's size otherwise. Pictures of even size and other encoders are left as
// they are.
void FitPictureToEncoder(const VideoTask& task, CommandPlan& plan);

// True for a text ffmpeg's "-r" reads as a positive frame rate: "25", "29.970", "30000/1001".
bool IsFrameRateText(const QString& text);

CommandPlan PlanCommand(const VideoTask& task, const CompressSettings& values,
                        const MainPageSnapshot& page);

// Fills the plan's template. A relative path is made absolute so ffmpeg can never read it as an
// option or a protocol name.
FfmpegCommand RenderCommand(const CommandPlan& plan, const QString& encoder,
                            const QString& sourcePath, const QString& outputPath);

// The template's text as the program holds it (1 to 10); empty for any other number.
const char* CommandTemplate(int templateNumber);
