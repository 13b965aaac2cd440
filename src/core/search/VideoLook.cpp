// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/search/VideoLook.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>

#include "core/app/OwnFiles.h"
#include "core/search/ProbeRun.h"
#include "core/search/Ssim.h"
#include "core/video/EncoderPlan.h"
#include "core/video/VideoSettings.h"

namespace search {

namespace {

QString Seconds(double seconds)
{
    return QString::number(seconds, 'f', 3);
}

void RemoveOption(QStringList& arguments, const QString& option)
{
    const qsizetype at = arguments.indexOf(option);
    if (at >= 0 && at + 1 < arguments.size()) arguments.remove(at, 2);
}

// CPU seconds (user + system) of the children this process has reaped: a probe's cost, taken
// around its run, whatever else loads the machine.
double ChildrenCpuSeconds()
{
    rusage usage{};
    if (getrusage(RUSAGE_CHILDREN, &usage) != 0) return 0;
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

std::vector<Sample> PlanSamples(double durationSeconds, int maxSamples, double sampleSeconds,
                                double shareLimit)
{
    if (!(durationSeconds > 0) || !(sampleSeconds > 0)) return {};
    if (durationSeconds <= sampleSeconds) return {{0, durationSeconds}};
    double room = durationSeconds * shareLimit;
    room = std::min(room, std::max(durationSeconds * kLongVideoShare, kSampleFloorSeconds));
    room = std::max(room, sampleSeconds);  // one whole sample at least
    const int count = std::clamp(static_cast<int>(std::ceil(room / sampleSeconds - 1e-9)), 1,
                                 std::max(maxSamples, 1));
    const double length = std::min(sampleSeconds, room / count);
    std::vector<Sample> samples;
    for (int i = 0; i < count; ++i) {
        const double centre = durationSeconds * (i + 0.5) / count;
        const double start = std::clamp(centre - length / 2, 0.0, durationSeconds - length);
        samples.push_back({start, length});
    }
    return samples;
}

double SearchCost(const std::vector<Sample>& samples, double durationSeconds, int probes)
{
    if (!(durationSeconds > 0)) return 0;
    double seconds = 0;
    for (const Sample& sample : samples) seconds += sample.length;
    return seconds / durationSeconds * (kCutCost + std::max(probes, 0) * kProbeCost);
}

int ProbeLimit(const std::vector<Sample>& samples, double durationSeconds, int maxProbes)
{
    if (!(durationSeconds > kLongVideoSeconds)) return maxProbes;
    const double oneProbe =
        SearchCost(samples, durationSeconds, 1) - SearchCost(samples, durationSeconds, 0);
    if (!(oneProbe > 0)) return maxProbes;
    const double affordable = (kMaxSearchCost - SearchCost(samples, durationSeconds, 0)) / oneProbe;
    return std::clamp(static_cast<int>(std::floor(affordable)), std::min(2, maxProbes), maxProbes);
}

EncoderRuns RenderRunsAtQuality(const CommandPlan& plan, const QString& encoder,
                                const QString& sourcePath, const QString& outputPath,
                                const QString& passFolder, const QString& av1Encoder, double crf)
{
    EncoderRuns runs =
        RenderEncoderRuns(plan, encoder, sourcePath, outputPath, passFolder, av1Encoder);
    if (!UsesConstantQuality(plan)) return runs;
    const EncoderPlan encoderPlan = PlanEncoder(plan, av1Encoder);
    const QStringList own = EncoderArguments(encoderPlan);
    const QStringList wanted = EncoderArguments(encoderPlan, crf);
    for (FfmpegCommand& run : runs.runs) {
        QStringList& arguments = run.arguments;
        for (qsizetype at = 0; at + own.size() <= arguments.size(); ++at) {
            if (arguments.mid(at, own.size()) != own) continue;
            arguments.remove(at, own.size());
            for (qsizetype i = 0; i < wanted.size(); ++i) arguments.insert(at + i, wanted[i]);
            // The options have no blanks, so the printed line changes the same way.
            run.text.replace(own.join(u' '), wanted.join(u' '));
            break;
        }
    }
    return runs;
}

QStringList ReferenceArguments(const QString& sourcePath, const Sample& sample,
                               const QString& referencePath, bool ffv1)
{
    QStringList arguments{QStringLiteral("-hide_banner"),
                          QStringLiteral("-nostdin"),
                          QStringLiteral("-y"),
                          QStringLiteral("-ss"),
                          Seconds(sample.start),
                          QStringLiteral("-t"),
                          Seconds(sample.length),
                          QStringLiteral("-i"),
                          QFileInfo(sourcePath).absoluteFilePath(),
                          QStringLiteral("-map"),
                          QStringLiteral("0:v:0"),
                          QStringLiteral("-vf"),
                          QStringLiteral("setpts=PTS-STARTPTS")};
    if (ffv1)
        arguments << QStringLiteral("-c:v") << QStringLiteral("ffv1");
    else
        arguments << QStringLiteral("-c:v") << QStringLiteral("libx264") << QStringLiteral("-qp")
                  << QStringLiteral("0") << QStringLiteral("-preset")
                  << QStringLiteral("ultrafast");
    arguments << QFileInfo(referencePath).absoluteFilePath();
    return arguments;
}

FfmpegCommand SampleCommand(const CommandPlan& plan, const QString& ffmpeg,
                            const QString& referencePath, const QString& probePath,
                            const QString& av1Encoder, double crf)
{
    const QString folder = QFileInfo(probePath).absolutePath();
    FfmpegCommand command =
        RenderRunsAtQuality(plan, ffmpeg, referencePath, probePath, folder, av1Encoder, crf)
            .runs.back();
    QStringList& arguments = command.arguments;
    for (const char* option : {"-acodec", "-ab", "-ar", "-ac"}) RemoveOption(arguments, option);
    arguments.insert(arguments.size() - 1, QStringLiteral("-an"));
    command.text = command.program + u' ' + arguments.join(u' ');
    return command;
}

QStringList SsimArguments(const QString& encodedPath, const QString& referencePath)
{
    return {QStringLiteral("-hide_banner"),
            QStringLiteral("-nostdin"),
            QStringLiteral("-i"),
            QFileInfo(encodedPath).absoluteFilePath(),
            QStringLiteral("-i"),
            QFileInfo(referencePath).absoluteFilePath(),
            QStringLiteral("-lavfi"),
            QStringLiteral("[0:v]settb=AVTB,setpts=PTS+0.002/TB[late];"
                           "[1:v][late]scale2ref=flags=bicubic[scaled][encoded];"
                           "[encoded]scale=out_range=full,format=yuv420p[x];"
                           "[scaled]scale=out_range=full,format=yuv420p[y];"
                           "[x][y]ssim"),
            QStringLiteral("-an"),
            QStringLiteral("-f"),
            QStringLiteral("null"),
            QStringLiteral("-")};
}

int CrfSteps(const EncoderPlan& encoder)
{
    return encoder.codec == videocodec::kAv1 ? 1 : 4;
}

SearchSpace CrfSpace(const EncoderPlan& encoder)
{
    SearchSpace space;
    const bool av1 = encoder.codec == videocodec::kAv1;
    const int steps = CrfSteps(encoder);
    // Below 10 every encoder writes files larger than any source worth compressing; x264's and
    // x265's scale ends at 51, the AV1 encoders' at 63, where x264 is already past any look.
    space.low = 10 * steps;
    space.high = (av1 ? 63 : 45) * steps;
    space.firstStep = (av1 ? 5 : 3) * steps;
    // -log(1 - SSIM) rises by about 0.1 a CRF for x264 and x265 (0.07-0.26 on camera, screen
    // and fractal clips) and by a third of that a CRF on the AV1 scale.
    space.logOfRest = true;
    space.firstSlope = (av1 ? 0.033 : 0.1) / steps;
    space.start = std::clamp(encoder.crf * steps, space.low, space.high);
    space.rising = false;
    // An estimate keeps a whole CRF from the probes' line, however fine the steps.
    space.estimateMargin = steps;
    return space;
}

qint64 VideoLookResult::EstimatedVideoBytes(double durationSeconds) const
{
    if (!(sampleSeconds > 0)) return 0;
    return static_cast<qint64>(double(search.bytes) * durationSeconds / sampleSeconds);
}

VideoLookResult SearchVideoLook(const VideoLookRequest& request, std::stop_token stop,
                                const std::function<void(double)>& progress)
{
    VideoLookResult result;
    const CommandPlan& plan = request.plan;
    const auto fail = [&result](const QString& why) {
        result.search.status = SearchStatus::Failed;
        result.search.error = why;
        return result;
    };
    if (!UsesConstantQuality(plan))
        return fail(QStringLiteral(
            "the look is searched for constant-quality encodes to a new container only"));
    const std::vector<Sample> samples =
        request.samples.empty() ? PlanSamples(request.durationSeconds) : request.samples;
    if (samples.empty()) return fail(QStringLiteral("the video's duration is unknown"));
    for (const Sample& sample : samples) result.sampleSeconds += sample.length;

    // Recorded as ours, so what a killed search left is cleaned by the next run.
    const OwnFiles::Folder folder(PassLogRoot(), QStringLiteral("look"));
    if (!folder.IsValid())
        return fail(QStringLiteral("no folder for the samples below %1").arg(PassLogRoot()));

    const EncoderPlan encoder = PlanEncoder(plan, request.av1Encoder);
    SearchSpace space = CrfSpace(encoder);
    result.crfSteps = CrfSteps(encoder);
    space.maxProbes = ProbeLimit(samples, request.durationSeconds, request.maxProbes);
    space.tolerance = request.tolerance;
    // A long video's few probes may end short of the look: the line through the last two then
    // gives the CRF, rather than the nearest probe's look below the target.
    space.estimateBeyondProbes = true;
    // What the search has cost so far in CPU seconds, and what the probes' encodes tell of the
    // final encode's cost: a long video takes another probe only while the search stays
    // within kMaxSearchCost of that (cheap pictures make the comparisons weigh more than the
    // costs above say).
    const double cpuAtStart = ChildrenCpuSeconds();
    double encodeCpu = 0;
    double encodedSeconds = 0;
    double probesCpu = 0;
    int probesDone = 0;
    if (request.durationSeconds > kLongVideoSeconds) {
        space.mayProbe = [&] {
            if (!(encodedSeconds > 0) || probesDone == 0) return true;
            const double finalCpu = encodeCpu / encodedSeconds * request.durationSeconds;
            const double spent = ChildrenCpuSeconds() - cpuAtStart;
            return spent + probesCpu / probesDone <= kMaxSearchCost * finalCpu;
        };
    }

    // The share of the search done, in sample seconds weighted by the parts' costs: below 1
    // until the end, whatever the number of probes.
    const double expected = result.sampleSeconds * (kCutCost + kUsualProbes * kProbeCost);
    const double probeUnits = result.sampleSeconds * kProbeCost;
    double done = 0;
    const auto advance = [&](double units) {
        done += units;
        if (progress) progress(std::min(done / expected, done / (done + probeUnits)));
    };

    // Each sample is cut once, losslessly and with timestamps from 0: every probe then reads
    // the same frames as its comparison, however the source's timestamps start.
    QStringList references;
    for (size_t i = 0; i < samples.size(); ++i) {
        references << folder.FilePath(QStringLiteral("reference%1.mkv").arg(i));
        ChildRun cut =
            RunChild(request.ffmpeg,
                     ReferenceArguments(request.sourcePath, samples[i], references.last()), stop);
        if (!cut.succeeded && !cut.stopped)
            cut = RunChild(
                request.ffmpeg,
                ReferenceArguments(request.sourcePath, samples[i], references.last(), true), stop);
        if (cut.stopped) {
            result.search.status = SearchStatus::Stopped;
            return result;
        }
        if (!cut.succeeded)
            return fail(QStringLiteral("the sample at %1 s could not be read: %2")
                            .arg(samples[i].start)
                            .arg(LastLine(cut.output)));
        advance(samples[i].length * kCutCost);
    }

    // Of a probe's cost, the encode's share (the comparison takes the rest).
    constexpr double kEncodeShare = 0.75;
    const Measure measure = [&](int setting) -> Measurement {
        const double crf = result.CrfOf(setting);
        Measurement measured;
        double weighted = 0;
        const double probeStart = ChildrenCpuSeconds();
        for (size_t i = 0; i < samples.size(); ++i) {
            const QString probe =
                folder.FilePath(QStringLiteral("sample%1.%2").arg(i).arg(plan.extension));
            const FfmpegCommand encode =
                SampleCommand(plan, request.ffmpeg, references[i], probe, request.av1Encoder, crf);
            const double encodeStart = ChildrenCpuSeconds();
            const ChildRun encoded = RunChild(encode.program, encode.arguments, stop);
            encodeCpu += ChildrenCpuSeconds() - encodeStart;
            encodedSeconds += samples[i].length;
            if (!encoded.succeeded) {
                measured.error = encoded.stopped ? QStringLiteral("stopped")
                                                 : QStringLiteral("a sample at CRF %1 failed: %2")
                                                       .arg(crf)
                                                       .arg(LastLine(encoded.output));
                QFile::remove(probe);
                return measured;
            }
            advance(samples[i].length * kProbeCost * kEncodeShare);
            measured.bytes += QFileInfo(probe).size();
            const ChildRun compared =
                RunChild(request.ffmpeg, SsimArguments(probe, references[i]), stop);
            QFile::remove(probe);
            const std::optional<SsimFigures> figures = ParseSsimReport(compared.output);
            if (!compared.succeeded || !figures) {
                measured.error = compared.stopped
                                     ? QStringLiteral("stopped")
                                     : QStringLiteral("comparing a sample at CRF %1 failed: %2")
                                           .arg(crf)
                                           .arg(LastLine(compared.output));
                return measured;
            }
            advance(samples[i].length * kProbeCost * (1 - kEncodeShare));
            weighted += (request.allPlanes ? figures->all : figures->luma) * samples[i].length;
        }
        measured.value = weighted / result.sampleSeconds;
        probesCpu += ChildrenCpuSeconds() - probeStart;
        ++probesDone;
        return measured;
    };
    result.search = Search(space, Goal::AtLeast, request.targetSsim, measure, stop);
    return result;
}

int RemoveLeftoverProbeFolders(qint64 olderThanSeconds)
{
    int removed = 0;
    const QDir root(PassLogRoot());
    const QDateTime now = QDateTime::currentDateTime();
    for (const QFileInfo& folder :
         root.entryInfoList({QStringLiteral("look-??????")}, QDir::Dirs | QDir::NoSymLinks)) {
        if (folder.lastModified().secsTo(now) < olderThanSeconds) continue;
        if (QDir(folder.absoluteFilePath()).removeRecursively()) ++removed;
    }
    return removed;
}

}  // namespace search
