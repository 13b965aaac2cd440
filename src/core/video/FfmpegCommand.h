// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

#include "core/intake/VideoTask.h"
#include "core/video/CompressParams.h"

// The encoder command line of one task. It is one of ten templates, kept in the exact text the
// program has always printed; the argument vector is derived from the template's own tokens, so
// every value (a path with blanks, quotes, "$" or any script) reaches ffmpeg as one argument and
// no shell is involved.

// One stream of a source as the prober lists it (for keeping every track).
struct SourceTrack {
    int index = 0;                 // the stream's index in the file
    std::string kind;              // "video", "audio", "subtitle", "data", "attachment"
    std::string codec;             // the prober's codec name, e.g. "subrip"
    bool attachedPicture = false;  // a cover picture, not a moving video
};

struct SourceTracks {
    bool listed = false;  // the prober answered; false: nothing below is known
    std::vector<SourceTrack> streams;
    int chapters = 0;
};

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
    // What the codec, quality and two-pass choices need (see RenderEncoderRuns).
    int compressType = 0;
    int codec = 0;             // 0 H.264, 1 H.265, 2 AV1
    bool qualityMode = false;  // constant quality under baseRate
    bool twoPass = false;
    int baseRate = 0;  // the source's video bit rate the strength works from
    // baseRate over the source's pixels per second; 0 when its size or frame rate is unknown.
    double sourceBitsPerPixel = 0;
    // Every audio track, the subtitles and chapters the container holds and the source's
    // metadata (see TrackOptions); tracks is the source's list, probed only for this.
    bool keepTracks = false;
    SourceTracks tracks;
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

// With page.keepTracks the source is probed for its tracks (ProbeTracks); otherwise nothing but
// the task's record is read.
CommandPlan PlanCommand(const VideoTask& task, const CompressSettings& values,
                        const MainPageSnapshot& page);

// The streams and chapters of the file at path, from ffprobe (beside the executable, else from
// PATH) within kProbeTimeoutMs; listed is false when it could not be probed.
SourceTracks ProbeTracks(const QString& path);
// The same from the prober's JSON report ("streams" and "chapters").
SourceTracks ParseTrackReport(const QByteArray& json);

// The options that keep a plan's tracks: the video (the first that is not a cover picture),
// every audio track (one for FLV, which holds no more), the subtitles the container holds
// (converted to mov_text for MP4 and MOV, to WebVTT for WebM, copied for MKV, which takes
// mov_text as SubRip), the chapters, the attachments for MKV, the file's and each stream's
// metadata (language, title, creation time). A source's rotation (its display matrix) is kept
// by ffmpeg turning the picture itself, as without these options: this ffmpeg writes no display
// matrix on a stream it encodes. Whatever the container cannot hold is one sentence of notes.
struct TrackOptions {
    QStringList firstPass;  // before the output of a statistics pass (the same video)
    QStringList output;     // before the output of the run that writes the file
    QStringList notes;
};
TrackOptions PlanTrackOptions(const CommandPlan& plan);

// Fills the plan's template. A relative path is made absolute so ffmpeg can never read it as an
// option or a protocol name.
FfmpegCommand RenderCommand(const CommandPlan& plan, const QString& encoder,
                            const QString& sourcePath, const QString& outputPath);

// The template's text as the program holds it (1 to 10); empty for any other number.
const char* CommandTemplate(int templateNumber);

// True when the plan's encode is one the codec, quality and two-pass choices change: a new
// container written with H.264 (templates 7, 8 and 10). The codec choice itself applies to MP4
// and MKV outputs only; other containers keep H.264.
bool TakesEncoderChoices(const CommandPlan& plan);
// The codec the plan is encoded with after that rule.
int EffectiveCodec(const CommandPlan& plan);
// True when the plan is encoded in constant quality: quality mode on a plan that takes the
// encoder choices.
bool UsesConstantQuality(const CommandPlan& plan);
// True when the plan's encode is two runs: two-pass is on, the plan is not in constant quality,
// and its encoder reads a first pass's statistics within the CPU budget (x264, x265, ffmpeg's
// own MPEG-family encoders, libvpx; not AV1; in a kept container the source's codec decides).
bool RunsTwoPasses(const CommandPlan& plan);

// Where pass logs live: $XDG_CACHE_HOME/LumoCompress (default ~/.cache/LumoCompress). Each
// two-pass task takes a folder of its own below it and removes it when it ends.
QString PassLogRoot();

// The encoder runs of one task and what the user is told about choices that do not apply.
struct EncoderRuns {
    std::vector<FfmpegCommand> runs;  // one, or two for two passes (the first writes no file)
    QStringList notes;                // one sentence each, for the log and the user
};

// The encoder runs of one task: RenderCommand's command line, then, where TakesEncoderChoices,
// the encoder, speed and rate control of PlanEncoder in place of the template's "-vcodec",
// "-preset" and "-b:v". With RunsTwoPasses, two runs of the same command that see the same
// frames (the same "-r", "-s", "-vf" and an explicit "-fps_mode"): the first writes only
// statistics into passFolder (to the null muxer, without sound), the second the output.
// With plan.keepTracks the runs carry PlanTrackOptions's options and notes.
// av1Encoder names the AV1 encoder the ffmpeg has (see videocodec::Av1Encoder).
EncoderRuns RenderEncoderRuns(const CommandPlan& plan, const QString& encoder,
                              const QString& sourcePath, const QString& outputPath,
                              const QString& passFolder, const QString& av1Encoder);
