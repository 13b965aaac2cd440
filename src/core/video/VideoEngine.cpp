// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/video/VideoEngine.h"

#include "core/app/FileDates.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <exception>

#include "core/app/OutputName.h"
#include "core/app/OutputPlace.h"
#include "core/app/OwnFiles.h"
#include "core/app/Paths.h"
#include "core/app/TextUtil.h"
#include "core/intake/FileCheck.h"
#include "core/search/SizeBudget.h"
#include "core/search/SoundSize.h"
#include "core/search/VideoLook.h"
#include "core/video/FfmpegCommand.h"
#include "core/video/OutputCheck.h"
#include "core/video/OutputNameResolver.h"
#include "core/video/VideoSettings.h"

namespace {

// A frame-rate text ("25", "29.970", "30000/1001") as a number; 0 when it is none.
double FrameRateOf(const QString& text)
{
    const QStringList parts = text.split(u'/');
    bool ok = false;
    double rate = parts.value(0).toDouble(&ok);
    if (!ok || parts.size() > 2) return 0;
    if (parts.size() == 2) {
        const double divisor = parts[1].toDouble(&ok);
        if (!ok || !(divisor > 0)) return 0;
        rate /= divisor;
    }
    return rate > 0 ? rate : 0;
}

// The picture the plan writes: its chosen size, else the source's.
QSize PlannedPicture(const CommandPlan& plan, const VideoTask& task)
{
    const QStringList sides = plan.sizeText.split(u'*');
    if (sides.size() == 2) return {sides[0].toInt(), sides[1].toInt()};
    return {task.width, task.height};
}

// Writes the bytes of from into the file at to, which keeps its identity (the same file, now
// holding them) when it exists.
bool CopyInto(const QString& from, const QString& to)
{
    QFile in(from);
    QFile out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray block;
    while (!(block = in.read(1 << 20)).isEmpty())
        if (out.write(block) != block.size()) return false;
    return in.error() == QFileDevice::NoError && out.flush();
}

}  // namespace

VideoEngine::VideoEngine(VideoEngineSink& sink, VideoSettingsReader reader)
    : sink_(sink), reader_(std::move(reader))
{
}

VideoEngine::~VideoEngine()
{
    Stop();
}

bool VideoEngine::Start()
{
    std::lock_guard life(lifeLock_);
    if (started_) return false;
    started_ = true;
    worker_ = std::jthread([this] { WorkerProc(); });
    return true;
}

void VideoEngine::Stop()
{
    std::lock_guard life(lifeLock_);
    started_ = true;  // a stopped engine stays stopped
    // Wakes a waiting worker; a worker inside a run sees its encoder stopped.
    queue_.Stop();
    if (worker_.joinable()) worker_.join();
}

bool VideoEngine::Release(int taskId)
{
    const bool released = queue_.Release(taskId);
    DebugPrint("busyTaskList task_id: %d\n", taskId);
    DebugPrint("队列数据,size: %d,%d\n", static_cast<int>(queue_.BusyTasks().size()),
               static_cast<int>(queue_.IdleTasks().size()));
    return released;
}

void VideoEngine::AddTask(int taskId, const VideoTask& task)
{
    std::lock_guard guard(lock_);
    taskMap_[taskId] = task;
}

std::optional<VideoTask> VideoEngine::FindTask(int taskId) const
{
    std::lock_guard guard(lock_);
    const auto it = taskMap_.find(taskId);
    if (it == taskMap_.end()) return std::nullopt;
    return it->second;
}

void VideoEngine::RemoveTask(int taskId)
{
    std::lock_guard guard(lock_);
    taskMap_.erase(taskId);
}

std::vector<int> VideoEngine::TaskIds() const
{
    std::lock_guard guard(lock_);
    std::vector<int> ids;
    for (const auto& entry : taskMap_) ids.push_back(entry.first);
    return ids;
}

void VideoEngine::SetParams(const CompressParams& params, qint64 maxBytes)
{
    std::lock_guard guard(lock_);
    ownMaxBytes_[params.unique_id] = std::max<qint64>(maxBytes, 0);
    for (CompressParams& existing : paramList) {
        if (existing.unique_id == params.unique_id) {
            existing = params;
            return;
        }
    }
    paramList.push_back(params);
}

void VideoEngine::RemoveParams(int taskId)
{
    std::lock_guard guard(lock_);
    std::erase_if(paramList, [taskId](const CompressParams& p) { return p.unique_id == taskId; });
    ownMaxBytes_.erase(taskId);
}

std::optional<qint64> VideoEngine::FindMaxBytes(int taskId) const
{
    std::lock_guard guard(lock_);
    const auto it = ownMaxBytes_.find(taskId);
    if (it == ownMaxBytes_.end()) return std::nullopt;
    return it->second;
}

std::optional<CompressParams> VideoEngine::FindParams(int taskId) const
{
    std::lock_guard guard(lock_);
    for (const CompressParams& params : paramList)
        if (params.unique_id == taskId) return params;
    return std::nullopt;
}

std::vector<CompressParams> VideoEngine::ParamList() const
{
    std::lock_guard guard(lock_);
    return paramList;
}

std::optional<QString> VideoEngine::OutputPath(int taskId) const
{
    std::lock_guard guard(lock_);
    const auto it = outputPathMap.find(taskId);
    if (it == outputPathMap.end()) return std::nullopt;
    return it->second;
}

std::vector<qint64> VideoEngine::FfmpegProcesses() const
{
    std::lock_guard guard(lock_);
    return ffmpegProcesses;
}

void VideoEngine::SetEncoder(const QString& program)
{
    std::lock_guard guard(lock_);
    encoder_ = program;
}

void VideoEngine::SetStopGrace(int ms)
{
    runner_.SetStopGrace(ms);
}

void VideoEngine::WorkerProc()
{
    while (const auto taken = queue_.WaitNext()) {
        const int taskId = taken->taskId;
        std::optional<VideoTask> task;
        std::optional<CompressParams> own;
        std::optional<qint64> ownMaxBytes;
        QString encoder;
        {
            std::lock_guard guard(lock_);
            if (const auto it = taskMap_.find(taskId); it != taskMap_.end()) task = it->second;
            for (const CompressParams& params : paramList)
                if (params.unique_id == taskId) own = params;
            if (const auto it = ownMaxBytes_.find(taskId); own && it != ownMaxBytes_.end())
                ownMaxBytes = it->second;
            encoder = encoder_;
        }
        DebugPrint("idleTaskList task_id: %d\n", taskId);
        sink_.TaskStarted(taskId);
        try {
            RunTask(taskId, taken->stop, task, own, encoder, ownMaxBytes);
        } catch (const std::exception& error) {
            Fail(taskId, QString::fromUtf8(error.what()));
        } catch (...) {
            Fail(taskId, QStringLiteral("unexpected error"));
        }
    }
}

void VideoEngine::RunTask(int taskId, std::stop_token stop, const std::optional<VideoTask>& task,
                          const std::optional<CompressParams>& own, const QString& encoder,
                          std::optional<qint64> ownMaxBytes)
{
    // Cancelled (or stopped) between being taken and now: nothing is started.
    if (stop.stop_requested()) return EndStopped(taskId);
    if (!task) return Fail(taskId, QStringLiteral("the task has no record"));

    // Settings are read now, so a change reaches the next task and never a running one.
    // A row's own record brings its own size limit with it.
    const VideoSettings values = [&] {
        VideoSettings read = reader_();
        if (ownMaxBytes) read.maxBytes = *ownMaxBytes;
        return read;
    }();
    // In place of the source, its dates always stay.
    const bool inPlace = values.place.place == place::kInPlace;
    const FileDates sourceDates =
        values.keepDates || inPlace ? ReadFileDates(task->filePath) : FileDates{};
    const CommandPlan plan =
        PlanCommand(*task, ResolveCompressSettings(own, values.settings), values.page);
    const QString program = encoder.isEmpty() ? FindTool(QStringLiteral("ffmpeg")) : encoder;
    if (program.isEmpty()) return Fail(taskId, QStringLiteral("ffmpeg not found"));

    if (const QString notFile = SpecialFileReason(task->filePath); !notFile.isEmpty())
        return Fail(taskId, QStringLiteral("cannot read the source: ") + notFile);

    const double sourceSeconds =
        task->formatDuration > 0 ? task->formatDuration : task->videoDuration;
    QStringList notes;
    // The bar only rises: a report below the last one made is left out.
    int shownPercent = -1;
    const auto showProgress = [&](double fraction) {
        const int percent = std::clamp(static_cast<int>(fraction * 100), 0, 100);
        if (percent <= shownPercent) return;
        shownPercent = percent;
        sink_.TaskProgress(taskId, percent);
    };
    const auto timedSpan = [&](double from, double to) {
        sink_.TaskTimedSpan(taskId, static_cast<int>(std::lround(from * 100)),
                            static_cast<int>(std::lround(to * 100)));
    };
    // A size limit sets the rate (two passes where the encoder takes them) and, when that rate
    // is too low for the picture, a smaller picture; what cannot fit fails before encoding.
    // The sound is measured first, on the bar's first kSoundBar: written alone it goes tens of
    // times faster than the picture's passes.
    constexpr double kSoundBar = 0.05;
    const bool fit = values.maxBytes > 0;
    CommandPlan encodePlan = plan;
    search::SizeFit sizeFit;
    if (fit) {
        if (values.look)
            notes << QStringLiteral(
                "the same look, smallest file does not combine with a size "
                "limit: the file is fitted under the size");
        if (!(sourceSeconds > 0))
            return Fail(taskId, QStringLiteral("cannot fit under a size: the source's duration "
                                               "is unknown"));
        const QSize picture = PlannedPicture(plan, *task);
        encodePlan.qualityMode = false;
        encodePlan.twoPass = true;
        // The budget takes the sound as the task's own options write it, often well under its
        // nominal rate; a sound that cannot be written alone is counted at that rate.
        search::SoundCost sound{task->hasAudio ? plan.audioBitRate : 0, std::nullopt};
        if (task->hasAudio || plan.keepTracks) {
            timedSpan(0, 0);  // the sound goes at its own pace, not the picture's
            const EncoderRuns runs = RenderEncoderRuns(
                encodePlan, program, task->filePath, QStringLiteral("sound"), QString(),
                EffectiveCodec(plan) == videocodec::kAv1 ? videocodec::Av1Encoder(program)
                                                         : QString());
            const search::SoundMeasure measured = search::MeasureSound(
                program, runs.runs.back().arguments, plan.extension, stop, sourceSeconds,
                [&](double fraction) { showProgress(kSoundBar * fraction); });
            if (measured.stopped) return EndStopped(taskId);
            if (measured.bytes)
                sound.measuredBytes = measured.bytes;
            else
                DebugPrint("video task %d: the sound was not measured (%s): counted at its rate\n",
                           taskId, WideToAnsi(measured.error).c_str());
        }
        sizeFit = search::FitVideoToSize(values.maxBytes, sourceSeconds, sound, plan.extension,
                                         picture, FrameRateOf(task->frameRateText));
        if (!sizeFit.budget.Fits())
            return Fail(taskId,
                        QStringLiteral("cannot fit under the size: ") + sizeFit.budget.reason);
        encodePlan.videoBitRate = sizeFit.budget.videoBitRate;
        if (sizeFit.picture != picture && sizeFit.picture.isValid()) {
            const QString size = QString::number(sizeFit.picture.width()) + u'*' +
                                 QString::number(sizeFit.picture.height());
            if (!encodePlan.sizeText.isEmpty())
                encodePlan.sizeText = size;
            else
                encodePlan.videoFilter = QStringLiteral("scale=%1:%2")
                                             .arg(sizeFit.picture.width())
                                             .arg(sizeFit.picture.height());
            notes << QStringLiteral(
                         "the picture is made %1x%2: at %3 kbit/s the full size "
                         "would smear")
                         .arg(sizeFit.picture.width())
                         .arg(sizeFit.picture.height())
                         .arg(sizeFit.budget.videoBitRate / 1000);
        }
    }

    std::set<QString> reserved;
    QStringList sources;
    {
        std::lock_guard guard(lock_);
        reserved = reservedOutputs_;
        for (const auto& entry : taskMap_) sources << entry.second.filePath;
    }
    // What killed earlier runs left goes before a task writes, but never a source of ours;
    // probe folders that no journal recorded go once they are old.
    OwnFiles::CleanLeftovers(sources);
    search::RemoveLeftoverProbeFolders();
    const auto isReserved = [&reserved](const QString& path) { return reserved.count(path) > 0; };
    const OutputTarget target = PlanOutputTarget(values.place, values.outputFolder, task->filePath,
                                                 task->addedRoot, plan.extension);
    if (!target.error.isEmpty()) return Fail(taskId, target.error);
    QString error;
    if (values.place.place == place::kTree && !MakeTargetFolder(target.folder, &error))
        return Fail(taskId, QStringLiteral("cannot create the output: ") + error);
    const OutputNameResolver resolver =
        OutputNameResolver::WithBase(target.folder, target.baseName, plan.extension);
    const OutputNameResolver::PartClaim claim = resolver.ClaimPart(isReserved, &error);
    if (claim.path.isEmpty())
        return Fail(taskId, QStringLiteral("cannot create the output: ") + error);
    // The lock tells other runs the temporary file is being written; it goes with the file.
    struct LockCloser {
        int fd;
        ~LockCloser() { ::close(fd); }
    } lockCloser{claim.lockFd};
    // Recorded as ours before ffmpeg writes into it, forgotten once it is renamed or removed.
    OwnFiles::Record partRecord(claim.partPath, claim.lockFd);
    {
        std::lock_guard guard(lock_);
        reservedOutputs_.insert(claim.path);
        outputPathMap[taskId] = claim.path;
    }
    // Whatever happens below, the final name is free for others again and no temporary file
    // is left, unless it became the output.
    const auto discard = [&] {
        QFile::remove(claim.partPath);
        Unreserve(claim.path);
    };

    // Two passes keep their statistics in a folder of their own, removed with the task.
    std::optional<OwnFiles::Folder> passFolder;
    // A size-limited encode keeps its best file there while it tries a higher rate.
    if (RunsTwoPasses(encodePlan) || fit) {
        passFolder.emplace(PassLogRoot(), QStringLiteral("passlog"));
        if (!passFolder->IsValid()) {
            discard();
            return Fail(taskId, QStringLiteral("cannot create a folder for the pass log"));
        }
    }
    const QString av1 =
        EffectiveCodec(plan) == videocodec::kAv1 ? videocodec::Av1Encoder(program) : QString();
    const QString passPath = passFolder ? passFolder->Path() : QString();

    // "Same look, smallest file": the CRF is searched on samples first. The bar is shared by
    // the parts' expected costs: the search's first (searchShare), the final encode the rest.
    const bool look = values.look && !fit;
    std::optional<search::VideoLookResult> found;
    double searchShare = 0;
    if (look && !UsesConstantQuality(plan)) {
        notes << QStringLiteral(
            "the same look, smallest file applies to constant-quality encodes "
            "to a new container only: encoded as usual");
    } else if (look) {
        search::VideoLookRequest request;
        request.plan = plan;
        request.ffmpeg = program;
        request.sourcePath = task->filePath;
        request.av1Encoder = av1;
        request.durationSeconds = sourceSeconds;
        request.targetSsim = search::StrengthSsim(plan.compressType);
        request.samples = search::PlanSamples(sourceSeconds);
        const double cost =
            search::SearchCost(request.samples, sourceSeconds, search::kUsualProbes);
        searchShare = cost / (1 + cost);
        found = search::SearchVideoLook(
            request, stop, [&](double fraction) { showProgress(searchShare * fraction); });
        const search::SearchResult& result = found->search;
        if (result.status == search::SearchStatus::Stopped || stop.stop_requested()) {
            discard();
            return EndStopped(taskId);
        }
        if (result.status == search::SearchStatus::Failed) {
            discard();
            return Fail(taskId, QStringLiteral("the look search failed: ") + result.error);
        }
        for (const search::Probe& probe : result.probes)
            DebugPrint("video task %d: probe CRF %s: SSIM %.4f, %lld bytes\n", taskId,
                       qPrintable(QString::number(found->CrfOf(probe.setting))),
                       probe.measured.value, static_cast<long long>(probe.measured.bytes));
        const QString figures =
            QStringLiteral("SSIM %1 at CRF %2").arg(result.value, 0, 'f', 3).arg(found->Crf());
        if (result.status == search::SearchStatus::Reached)
            notes << figures;
        else if (result.status == search::SearchStatus::Estimated)
            notes << QStringLiteral("CRF %1, where the probes' line reaches SSIM %2 (estimated)")
                         .arg(found->Crf())
                         .arg(request.targetSsim, 0, 'f', 3);
        else
            notes << figures + QStringLiteral(
                                   ", the nearest the search found to the "
                                   "strength's %1")
                                   .arg(request.targetSsim, 0, 'f', 3);
    }

    // One encode of the whole file: its runs in turn, each filling its share of its bar.
    const auto encodeOnce = [&](const EncoderRuns& encode, double barStart, double barShare) {
        const std::vector<FfmpegCommand>& runs = encode.runs;
        FfmpegOutcome outcome;
        const int count = static_cast<int>(runs.size());
        for (int pass = 0; pass < count; ++pass) {
            const FfmpegCommand& command = runs[pass];
            DebugPrint("template %d: %s\n", plan.templateNumber, WideToAnsi(command.text).c_str());
            outcome = runner_.Run(
                command.program, command.arguments,
                [&](qint64 processId) {
                    {
                        std::lock_guard guard(lock_);
                        ffmpegProcesses.push_back(processId);
                    }
                    sink_.EncoderStarted(taskId, processId, command.program, command.arguments);
                },
                [&](const FfmpegEvent& event) {
                    if (event.kind != FfmpegEvent::Kind::Progress) return;
                    const double done = (pass * 100.0 + event.percent) / (count * 100.0);
                    showProgress(barStart + barShare * done);
                },
                stop);
            if (outcome.kind != FfmpegOutcome::Kind::Done) break;
        }
        return outcome;
    };
    const auto renderRuns = [&] {
        if (found)
            return search::RenderRunsAtQuality(plan, program, task->filePath, claim.partPath,
                                               passPath, av1, found->Crf());
        return RenderEncoderRuns(encodePlan, program, task->filePath, claim.partPath, passPath,
                                 av1);
    };

    EncoderRuns encode = renderRuns();
    notes = encode.notes + notes;
    for (const QString& note : notes)
        DebugPrint("video task %d: %s\n", taskId, WideToAnsi(note).c_str());
    if (!notes.isEmpty()) sink_.TaskNotes(taskId, notes);

    // A size-limited encode keeps the end of the bar for the tries that may follow the first.
    constexpr double kFirstTryBar = 0.85;
    constexpr double kRetryShareOfRest = 0.6;
    double barStart = found ? searchShare : fit ? kSoundBar : 0;
    double barEnd = fit ? kFirstTryBar : 1.0;
    // Most fitted files take one try: its time left counts to its own end of the bar.
    if (fit) timedSpan(barStart, barEnd);
    FfmpegOutcome outcome = encodeOnce(encode, barStart, barEnd - barStart);
    // Over the size, or far under it: another try at a rate scaled by what the picture took,
    // at most kMaxSizeRetries. The best file that fits is kept aside while a higher rate is
    // tried and comes back when that try does no better; a file over the size is never the
    // output.
    search::SizeTries sizeTries(values.maxBytes, sizeFit.budget.fixedBytes,
                                encodePlan.videoBitRate);
    const QString keptPath =
        passFolder ? passFolder->FilePath(QStringLiteral("kept.") + plan.extension) : QString();
    bool keptHoldsBest = false;
    FfmpegOutcome bestOutcome;  // the run that wrote the best file
    while (fit && outcome.kind == FfmpegOutcome::Kind::Done) {
        const qint64 writtenBytes = QFileInfo(claim.partPath).size();
        if (sizeTries.Written(writtenBytes)) {
            keptHoldsBest = false;
            bestOutcome = outcome;
        } else if (sizeTries.HasBest() && !CopyInto(keptPath, claim.partPath)) {
            discard();
            return Fail(taskId, QStringLiteral("cannot bring back the file that fitted"), 0);
        }
        const int lastRate = sizeTries.Rate();
        const std::optional<int> next = sizeTries.Next();
        if (!next) break;
        if (sizeTries.HasBest() && !keptHoldsBest) {
            if (!CopyInto(claim.partPath, keptPath)) break;  // the file that fits stays
            keptHoldsBest = true;
        }
        DebugPrint("video task %d: %lld bytes for %lld at %d bit/s, again at %d bit/s\n", taskId,
                   static_cast<long long>(writtenBytes), static_cast<long long>(values.maxBytes),
                   lastRate, *next);
        encodePlan.videoBitRate = *next;
        encode = renderRuns();
        barStart = barEnd;
        barEnd = barStart + (1 - barStart) * kRetryShareOfRest;
        timedSpan(barStart, barEnd);
        outcome = encodeOnce(encode, barStart, barEnd - barStart);
    }
    // A later try that failed (not one that was stopped) does not undo the file that fitted
    // before it: that file comes back and is the output.
    if (fit && outcome.kind == FfmpegOutcome::Kind::Failed && keptHoldsBest &&
        !stop.stop_requested() && CopyInto(keptPath, claim.partPath)) {
        DebugPrint("video task %d: the try at %d bit/s failed (%s): the file that fitted stays\n",
                   taskId, encodePlan.videoBitRate, WideToAnsi(outcome.reason).c_str());
        outcome = bestOutcome;
    }
    if (fit && outcome.kind == FfmpegOutcome::Kind::Done) {
        if (!sizeTries.HasBest()) {
            discard();
            return Fail(taskId,
                        QStringLiteral("the file came out at %1 bytes after %2 tries, over the "
                                       "size limit of %3 bytes")
                            .arg(sizeTries.LastBytes())
                            .arg(sizeTries.Tries())
                            .arg(values.maxBytes),
                        0);
        }
        encodePlan.videoBitRate = sizeTries.BestRate();
        // Whatever the tries did, no file over the size is published.
        if (const qint64 bytes = QFileInfo(claim.partPath).size(); bytes > values.maxBytes) {
            discard();
            return Fail(taskId,
                        QStringLiteral("the file came out at %1 bytes, over the size limit of "
                                       "%2 bytes")
                            .arg(bytes)
                            .arg(values.maxBytes),
                        0);
        }
    }
    if (!keptPath.isEmpty()) QFile::remove(keptPath);

    if (outcome.kind != FfmpegOutcome::Kind::Done) {
        // What a stopped or failed encoder left behind is no result.
        discard();
        if (outcome.kind == FfmpegOutcome::Kind::Failed)
            return Fail(taskId, outcome.reason, outcome.exitCode);
        return EndStopped(taskId);
    }

    const QFileInfo written(claim.partPath);
    if (!written.exists() || written.size() == 0) {
        discard();
        return Fail(taskId, QStringLiteral("ffmpeg reported success but wrote no output"), 0);
    }
    // Done only when the file opens again and holds what was encoded.
    const QString problem =
        OutputProblem(ReadBackVideo(claim.partPath), outcome.encodedMs, sourceSeconds);
    if (!problem.isEmpty()) {
        discard();
        return Fail(taskId, problem, 0);
    }
    if (stop.stop_requested()) {
        discard();
        return EndStopped(taskId);
    }
    showProgress(1.0);
    VideoDoneRecord record;
    QString output;
    if (inPlace) {
        // Only a smaller output takes the source's place; the source stays otherwise.
        const qint64 sourceSize = QFileInfo(task->filePath).size();
        if (written.size() >= (sourceSize > 0 ? sourceSize : task->fileSize)) {
            discard();
            record.taskId = taskId;
            record.sourcePath = task->filePath;
            record.sourceSize = task->fileSize;
            record.sourceKept = true;
            record.durationMs = outcome.durationMs;
            return sink_.TaskDone(record);
        }
        if (QString why; !SetFileDates(claim.partPath, sourceDates, &why)) {
            discard();
            return Fail(taskId,
                        QStringLiteral("the dates of the original could not be kept: ") + why, 0);
        }
        const ReplaceOutcome replaced = ReplaceSource(task->filePath, claim.partPath, target);
        if (replaced.outputPath.isEmpty()) {
            discard();
            return Fail(taskId, replaced.error, 0);
        }
        output = replaced.outputPath;
        record.replacedSource = true;
        record.freedBytes = replaced.sourceBytes - QFileInfo(output).size();
    } else {
        output = resolver.Publish(claim, isReserved, &error);
        if (output.isEmpty()) {
            discard();
            return Fail(taskId, QStringLiteral("cannot name the output: ") + error, 0);
        }
        if (QString why; values.keepDates && !SetFileDates(output, sourceDates, &why))
            sink_.TaskNotes(taskId, {QStringLiteral("the file dates were not kept: ") + why});
    }
    partRecord.Forget();
    Unreserve(claim.path);
    {
        std::lock_guard guard(lock_);
        outputPathMap[taskId] = output;
    }

    record.taskId = taskId;
    record.sourcePath = task->filePath;
    record.outputPath = output;
    record.sourceSize =
        record.replacedSource ? record.freedBytes + QFileInfo(output).size() : task->fileSize;
    record.outputSize = QFileInfo(output).size();
    // Quality mode promises a file no larger than the source: the rate ceiling holds over
    // time, but a short clip can end inside the encoder's buffer allowance. (In place the
    // output was smaller, and the source's name is now the output's own.)
    const bool quality = UsesConstantQuality(encodePlan);
    if ((values.keepSmaller || quality) && !record.replacedSource) {
        const qint64 sourceSize = QFileInfo(task->filePath).size();
        if (record.outputSize >= (sourceSize > 0 ? sourceSize : task->fileSize)) {
            // The source is the smaller file: nothing is kept beside it.
            QFile::remove(output);
            record.outputPath.clear();
            record.outputSize = 0;
            record.sourceKept = true;
        }
    }
    record.durationMs = outcome.durationMs;
    if (found) {
        record.searchedCrf = found->Crf();
        record.ssim = found->search.value;
    }
    if (fit) {
        record.fittedBitRate = encodePlan.videoBitRate;
        record.sizeTries = sizeTries.Tries();
    }
    sink_.TaskDone(record);
}

void VideoEngine::Fail(int taskId, const QString& reason, int exitCode)
{
    DebugPrint("video task %d failed: %s\n", taskId, WideToAnsi(reason).c_str());
    VideoFailRecord record;
    record.taskId = taskId;
    record.reason = reason;
    record.exitCode = exitCode;
    sink_.TaskFailed(record);
}

void VideoEngine::EndStopped(int taskId)
{
    // A task the engine's Stop ended gets no report; a cancelled one says so.
    if (!queue_.Stopped() && queue_.IsCancelled(taskId)) sink_.TaskCancelled(taskId);
}

void VideoEngine::Unreserve(const QString& outputPath)
{
    std::lock_guard guard(lock_);
    reservedOutputs_.erase(outputPath);
}
