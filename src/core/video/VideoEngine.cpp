#include "core/video/VideoEngine.h"

#include "core/app/FileDates.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <exception>

#include "core/app/OutputName.h"
#include "core/app/OwnFiles.h"
#include "core/app/Paths.h"
#include "core/app/TextUtil.h"
#include "core/intake/FileCheck.h"
#include "core/video/FfmpegCommand.h"
#include "core/video/OutputCheck.h"
#include "core/video/OutputNameResolver.h"
#include "core/video/VideoSettings.h"

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

void VideoEngine::SetParams(const CompressParams& params)
{
    std::lock_guard guard(lock_);
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
        QString encoder;
        {
            std::lock_guard guard(lock_);
            if (const auto it = taskMap_.find(taskId); it != taskMap_.end()) task = it->second;
            for (const CompressParams& params : paramList)
                if (params.unique_id == taskId) own = params;
            encoder = encoder_;
        }
        DebugPrint("idleTaskList task_id: %d\n", taskId);
        sink_.TaskStarted(taskId);
        try {
            RunTask(taskId, taken->stop, task, own, encoder);
        } catch (const std::exception& error) {
            Fail(taskId, QString::fromUtf8(error.what()));
        } catch (...) {
            Fail(taskId, QStringLiteral("unexpected error"));
        }
    }
}

void VideoEngine::RunTask(int taskId, std::stop_token stop, const std::optional<VideoTask>& task,
                          const std::optional<CompressParams>& own, const QString& encoder)
{
    // Cancelled (or stopped) between being taken and now: nothing is started.
    if (stop.stop_requested()) return EndStopped(taskId);
    if (!task) return Fail(taskId, QStringLiteral("the task has no record"));

    // Settings are read now, so a change reaches the next task and never a running one.
    const VideoSettings values = reader_();
    const FileDates sourceDates = values.keepDates ? ReadFileDates(task->filePath) : FileDates{};
    const CommandPlan plan =
        PlanCommand(*task, ResolveCompressSettings(own, values.settings), values.page);
    const QString program = encoder.isEmpty() ? FindTool(QStringLiteral("ffmpeg")) : encoder;
    if (program.isEmpty()) return Fail(taskId, QStringLiteral("ffmpeg not found"));

    if (const QString notFile = SpecialFileReason(task->filePath); !notFile.isEmpty())
        return Fail(taskId, QStringLiteral("cannot read the source: ") + notFile);

    std::set<QString> reserved;
    QStringList sources;
    {
        std::lock_guard guard(lock_);
        reserved = reservedOutputs_;
        for (const auto& entry : taskMap_) sources << entry.second.filePath;
    }
    // What killed earlier runs left goes before a task writes, but never a source of ours.
    OwnFiles::CleanLeftovers(sources);
    const auto isReserved = [&reserved](const QString& path) { return reserved.count(path) > 0; };
    const OutputNameResolver resolver(values.outputFolder, task->fileName, plan.extension);
    QString error;
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
    // (The record is forgotten after the folder is removed: declared first, it goes last.)
    std::optional<OwnFiles::Record> passRecord;
    std::optional<QTemporaryDir> passFolder;
    if (RunsTwoPasses(plan)) {
        EnsureFolder(PassLogRoot());
        passFolder.emplace(PassLogRoot() + QStringLiteral("/passlog-XXXXXX"));
        if (!passFolder->isValid()) {
            discard();
            return Fail(taskId, QStringLiteral("cannot create a folder for the pass log"));
        }
        passRecord.emplace(passFolder->path());
    }
    const QString av1 =
        EffectiveCodec(plan) == videocodec::kAv1 ? videocodec::Av1Encoder(program) : QString();
    const EncoderRuns encode = RenderEncoderRuns(plan, program, task->filePath, claim.partPath,
                                                 passFolder ? passFolder->path() : QString(), av1);
    const std::vector<FfmpegCommand>& runs = encode.runs;
    for (const QString& note : encode.notes)
        DebugPrint("video task %d: %s\n", taskId, WideToAnsi(note).c_str());
    if (!encode.notes.isEmpty()) sink_.TaskNotes(taskId, encode.notes);

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
                // The passes share the bar: each fills its own share of it.
                if (event.kind == FfmpegEvent::Kind::Progress)
                    sink_.TaskProgress(taskId, (pass * 100 + event.percent) / count);
            },
            stop);
        if (outcome.kind != FfmpegOutcome::Kind::Done) break;
    }

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
    const double sourceSeconds =
        task->formatDuration > 0 ? task->formatDuration : task->videoDuration;
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
    const QString output = resolver.Publish(claim, isReserved, &error);
    if (output.isEmpty()) {
        discard();
        return Fail(taskId, QStringLiteral("cannot name the output: ") + error, 0);
    }
    if (QString why; values.keepDates && !SetFileDates(output, sourceDates, &why))
        sink_.TaskNotes(taskId, {QStringLiteral("the file dates were not kept: ") + why});
    partRecord.Forget();
    Unreserve(claim.path);
    {
        std::lock_guard guard(lock_);
        outputPathMap[taskId] = output;
    }

    VideoDoneRecord record;
    record.taskId = taskId;
    record.sourcePath = task->filePath;
    record.outputPath = output;
    record.sourceSize = task->fileSize;
    record.outputSize = QFileInfo(output).size();
    // Quality mode promises a file no larger than the source: the rate ceiling holds over
    // time, but a short clip can end inside the encoder's buffer allowance.
    const bool quality = UsesConstantQuality(plan);
    if (values.keepSmaller || quality) {
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
