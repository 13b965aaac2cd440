// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <stop_token>
#include <vector>

#include "core/search/SettingSearch.h"
#include "core/video/FfmpegCommand.h"

struct EncoderPlan;

// "The same look, the smallest file" for a video: short samples spread over the source are
// encoded by the task's own encoder plan at trial constant qualities, each compared with the
// same frames of the source by ffmpeg's ssim filter, and the search keeps the highest CRF
// whose samples still reach the target luma SSIM. The final encode then runs at that CRF.
// x264 and x265 take a fractional CRF and are searched in quarter steps (on grainy footage
// one whole CRF can move the SSIM by 0.024, far more than the search's tolerance); the AV1
// encoders take whole CRFs only.
namespace search {

// A stretch of the source, in seconds.
struct Sample {
    double start = 0;
    double length = 0;
};

// Samples spread evenly over the source, their centres at (i + 1/2) / n of its duration,
// together at most shareLimit of the duration and, for a source over kLongVideoSeconds, at
// most kLongVideoShare of it (at least kSampleFloorSeconds below that), so that the search of
// a long video costs at most kMaxSearchCost of its final encode: as many samples of at most
// sampleSeconds as that room needs, at least one and at most maxSamples. A source no longer
// than one sample is one sample of the whole.
inline constexpr double kLongVideoSeconds = 60;
inline constexpr double kLongVideoShare = 0.065;
inline constexpr double kSampleFloorSeconds = 4.0;
std::vector<Sample> PlanSamples(double durationSeconds, int maxSamples = 5,
                                double sampleSeconds = 2.5, double shareLimit = 0.25);

// The CPU time of the search's parts against the final encode's, per second of video, measured
// with x264 medium on 1280x720 camera-like footage (SearchBench): cutting a sample's lossless
// reference, and one probe of it (its encode, and its comparison with the reference, which
// decodes the reference again).
inline constexpr double kCutCost = 0.65;
inline constexpr double kProbeCost = 1.45;
// The probes a search usually takes from the strength's CRF.
inline constexpr int kUsualProbes = 4;
// What the search of a video over kLongVideoSeconds may cost against its final encode.
inline constexpr double kMaxSearchCost = 0.5;
// The estimated cost of a search of these samples with this many probes, over the final
// encode's; 0 for no samples or no duration.
double SearchCost(const std::vector<Sample>& samples, double durationSeconds, int probes);
// The most probes of these samples a search may take: maxProbes, fewer for a video over
// kLongVideoSeconds where more would cost over kMaxSearchCost (never fewer than two).
int ProbeLimit(const std::vector<Sample>& samples, double durationSeconds, int maxProbes);

// The task's encoder runs (RenderEncoderRuns) with the encoder's options at this constant
// quality in place of the plan's own. Probes and the final encode both come from here, so the
// searched CRF is what the output is encoded with.
EncoderRuns RenderRunsAtQuality(const CommandPlan& plan, const QString& encoder,
                                const QString& sourcePath, const QString& outputPath,
                                const QString& passFolder, const QString& av1Encoder, double crf);

// ffmpeg cutting a sample out of the source for the probes: its first video stream, losslessly
// (x264 at QP 0, the fastest to write and to read again; FFV1 when ffv1 is set, for what
// x264 cannot take, such as odd picture sizes), in Matroska, timestamps from 0.
QStringList ReferenceArguments(const QString& sourcePath, const Sample& sample,
                               const QString& referencePath, bool ffv1 = false);
// One sample's probe: the task's run at this CRF reading the cut sample and writing no sound.
// A constant-quality plan has one run.
FfmpegCommand SampleCommand(const CommandPlan& plan, const QString& ffmpeg,
                            const QString& referencePath, const QString& probePath,
                            const QString& av1Encoder, double crf);
// ffmpeg comparing an encoded video with its reference: the reference scaled to the encoded
// picture's size, frames paired by their timestamps (an encode that adds a frame to start at
// 0 still pairs each frame with its source), the ssim filter's report at the end of the
// output (see ParseSsimReport). The encoded frames are paired a little late (2 ms, on a time
// base fine enough to hold it whatever the container's), so that a timestamp rounded
// differently in the two files (Matroska keeps milliseconds, MP4 and a rate option exact
// thirtieths) still pairs a frame with its own source frame, not the one before it. Both are
// compared at full range, 0 to 255, as the pictures' luma is everywhere else (the image searches,
// the strengths' levels): limited-range video's own Y plane, 16 to 235, gives a higher SSIM for the
// same frames (0.905 where full range gives 0.881).
QStringList SsimArguments(const QString& encodedPath, const QString& referencePath);

// The search's settings per whole CRF for an encoder: 4 (quarter steps) for x264 and x265,
// 1 for the AV1 encoders, whose "-crf" is an integer.
int CrfSteps(const EncoderPlan& encoder);
// The constant qualities an encoder is searched over, its first step, and the usual start, all
// in steps of 1 / CrfSteps CRF; a search's setting s is the CRF s / CrfSteps.
SearchSpace CrfSpace(const EncoderPlan& encoder);

struct VideoLookRequest {
    CommandPlan plan;  // UsesConstantQuality must hold
    QString ffmpeg;
    QString sourcePath;
    QString av1Encoder;  // see videocodec::Av1Encoder
    double durationSeconds = 0;
    double targetSsim = 0;  // 0 to 1, of the luma or of all planes (allPlanes)
    // The ssim filter's "All:" figure (luma and chroma weighted by their sizes) in place of its
    // luma one, which the image searches and the strengths' levels use.
    bool allPlanes = false;
    std::vector<Sample> samples;  // empty: PlanSamples(durationSeconds)
    int maxProbes = 6;
    double tolerance = 0.002;  // a probe this little above the target ends the search
};

struct VideoLookResult {
    // setting and the probes' settings: the CRF in steps of 1 / crfSteps (see CrfSpace);
    // value: the samples' mean SSIM
    SearchResult search;
    int crfSteps = 1;
    double sampleSeconds = 0;  // the samples' total length (search.bytes is their total size)
    // The CRF the search found (search.setting), and the one of any of its settings.
    double Crf() const { return CrfOf(search.setting); }
    double CrfOf(int setting) const { return double(setting) / std::max(crfSteps, 1); }
    // For a result that reached the target: the estimated size of the whole video's picture.
    qint64 EstimatedVideoBytes(double durationSeconds) const;
};

// Searches the CRF, with at most ProbeLimit probes. The probe files live in a folder of their
// own below PassLogRoot() that is removed when the search ends, however it ends. A stop
// request kills a running probe or comparison (within a second) and the result says Stopped.
// progress gets the share of the search done, by the costs above, after each ffmpeg run:
// rising, and below 1 until the search has ended.
VideoLookResult SearchVideoLook(const VideoLookRequest& request, std::stop_token stop = {},
                                const std::function<void(double)>& progress = nullptr);

// The folders of probes a search that did not end (the program was killed) left below
// PassLogRoot(): those not changed for olderThanSeconds are removed (a running search's folder
// changes with every probe). Returns how many were removed.
int RemoveLeftoverProbeFolders(qint64 olderThanSeconds = 24 * 3600);

}  // namespace search
