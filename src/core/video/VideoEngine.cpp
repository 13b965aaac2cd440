#include "core/video/VideoEngine.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <exception>

#include "core/app/Paths.h"
#include "core/app/TextUtil.h"
#include "core/video/FfmpegCommand.h"
#include "core/video/OutputNameResolver.h"

float VideoDoneRecord::SavingPercent() const
{
    if (sourceSize == 0) return 0.0f;
    return static_cast<float>(sourceSize - outputSize) / static_cast<float>(sourceSize) * 100.0f;
}

VideoEngine::~VideoEngine()
{
    Stop();
}

bool VideoEngine::Start(VideoEngineSink& sink)
{
    std::lock_guard guard(videoQueueLock);
    if (sink_) return false;
    sink_ = &sink;
    worker_ = std::jthread([this](std::stop_token stop) { WorkerProc(stop); });
    return true;
}

void VideoEngine::Stop()
{
    if (!worker_.joinable()) return;
    // Wakes a waiting worker; a worker inside a run sees its encoder end.
    int graceMs = 0;
    {
        std::lock_guard guard(videoQueueLock);
        graceMs = stopGraceMs_;
    }
    worker_.request_stop();
    runner_.Stop(graceMs);
    worker_.join();
}

bool VideoEngine::Enqueue(int taskId)
{
    {
        std::lock_guard guard(videoQueueLock);
        if (std::find(idleTaskList.begin(), idleTaskList.end(), taskId) != idleTaskList.end())
            return false;
        idleTaskList.push_back(taskId);
    }
    videoQueueCond.notify_one();
    return true;
}

void VideoEngine::EnqueueAll(const std::vector<int>& taskIds)
{
    bool added = false;
    {
        std::lock_guard guard(videoQueueLock);
        for (int id : taskIds) {
            if (std::find(idleTaskList.begin(), idleTaskList.end(), id) == idleTaskList.end()) {
                idleTaskList.push_back(id);
                added = true;
            }
        }
    }
    if (added) videoQueueCond.notify_one();
}

std::optional<int> VideoEngine::TakeNext()
{
    std::lock_guard guard(videoQueueLock);
    if (idleTaskList.empty()) return std::nullopt;
    const int id = idleTaskList.front();
    idleTaskList.pop_front();
    busyTaskList.push_back(id);
    return id;
}

void VideoEngine::SetPaused(bool paused)
{
    {
        std::lock_guard guard(videoQueueLock);
        paused_ = paused;
    }
    videoQueueCond.notify_one();
}

void VideoEngine::Release(int taskId)
{
    {
        std::lock_guard guard(videoQueueLock);
        const auto it = std::find(busyTaskList.begin(), busyTaskList.end(), taskId);
        if (it != busyTaskList.end()) busyTaskList.erase(it);
        DebugPrint("busyTaskList task_id: %d\n", taskId);
        DebugPrint("队列数据,size: %d,%d\n", static_cast<int>(busyTaskList.size()),
                   static_cast<int>(idleTaskList.size()));
    }
    videoQueueCond.notify_one();
}

std::vector<int> VideoEngine::IdleTasks() const
{
    std::lock_guard guard(videoQueueLock);
    return {idleTaskList.begin(), idleTaskList.end()};
}

std::vector<int> VideoEngine::BusyTasks() const
{
    std::lock_guard guard(videoQueueLock);
    return {busyTaskList.begin(), busyTaskList.end()};
}

bool VideoEngine::HasBusyTasks() const
{
    std::lock_guard guard(videoQueueLock);
    return !busyTaskList.empty();
}

bool VideoEngine::IsQueued(int taskId) const
{
    std::lock_guard guard(videoQueueLock);
    return std::find(idleTaskList.begin(), idleTaskList.end(), taskId) != idleTaskList.end() ||
           std::find(busyTaskList.begin(), busyTaskList.end(), taskId) != busyTaskList.end();
}

void VideoEngine::AddTask(int taskId, const VideoTask& task)
{
    std::lock_guard guard(videoQueueLock);
    videoTaskMap[taskId] = task;
}

std::optional<VideoTask> VideoEngine::FindTask(int taskId) const
{
    std::lock_guard guard(videoQueueLock);
    const auto it = videoTaskMap.find(taskId);
    if (it == videoTaskMap.end()) return std::nullopt;
    return it->second;
}

void VideoEngine::RemoveTask(int taskId)
{
    std::lock_guard guard(videoQueueLock);
    videoTaskMap.erase(taskId);
}

std::vector<int> VideoEngine::TaskIds() const
{
    std::lock_guard guard(videoQueueLock);
    std::vector<int> ids;
    for (const auto& entry : videoTaskMap) ids.push_back(entry.first);
    return ids;
}

void VideoEngine::SetMainPage(const MainPageSnapshot& page)
{
    std::lock_guard guard(videoQueueLock);
    mainPage_ = page;
}

MainPageSnapshot VideoEngine::MainPage() const
{
    std::lock_guard guard(videoQueueLock);
    return mainPage_;
}

void VideoEngine::SetParams(const CompressParams& params)
{
    std::lock_guard guard(videoQueueLock);
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
    std::lock_guard guard(videoQueueLock);
    std::erase_if(paramList, [taskId](const CompressParams& p) { return p.unique_id == taskId; });
}

std::optional<CompressParams> VideoEngine::FindParams(int taskId) const
{
    std::lock_guard guard(videoQueueLock);
    for (const CompressParams& params : paramList)
        if (params.unique_id == taskId) return params;
    return std::nullopt;
}

std::vector<CompressParams> VideoEngine::ParamList() const
{
    std::lock_guard guard(videoQueueLock);
    return paramList;
}

std::optional<QString> VideoEngine::OutputPath(int taskId) const
{
    std::lock_guard guard(videoQueueLock);
    const auto it = outputPathMap.find(taskId);
    if (it == outputPathMap.end()) return std::nullopt;
    return it->second;
}

std::vector<qint64> VideoEngine::FfmpegProcesses() const
{
    std::lock_guard guard(videoQueueLock);
    return ffmpegProcesses;
}

void VideoEngine::SetEncoder(const QString& program)
{
    std::lock_guard guard(videoQueueLock);
    encoder_ = program;
}

void VideoEngine::SetStopGrace(int ms)
{
    std::lock_guard guard(videoQueueLock);
    stopGraceMs_ = std::max(0, ms);
}

void VideoEngine::WorkerProc(std::stop_token stop)
{
    for (;;) {
        int taskId = 0;
        std::optional<VideoTask> task;
        std::optional<CompressParams> own;
        MainPageSnapshot page;
        QString encoder;
        {
            std::unique_lock lock(videoQueueLock);
            const bool ready = videoQueueCond.wait(lock, stop, [this] {
                return !paused_ && busyTaskList.empty() && !idleTaskList.empty();
            });
            // The wait answers true when a task is ready even if a stop came with it.
            if (!ready || stop.stop_requested()) return;
            taskId = idleTaskList.front();
            idleTaskList.pop_front();
            busyTaskList.push_back(taskId);
            if (const auto it = videoTaskMap.find(taskId); it != videoTaskMap.end())
                task = it->second;
            for (const CompressParams& params : paramList)
                if (params.unique_id == taskId) own = params;
            page = mainPage_;
            encoder = encoder_;
        }
        DebugPrint("idleTaskList task_id: %d\n", taskId);
        sink_->TaskStarted(taskId);
        try {
            RunTask(taskId, task, own, page, encoder);
        } catch (const std::exception& error) {
            Fail(taskId, QString::fromUtf8(error.what()));
        } catch (...) {
            Fail(taskId, QStringLiteral("unexpected error"));
        }
    }
}

void VideoEngine::RunTask(int taskId, const std::optional<VideoTask>& task,
                          const std::optional<CompressParams>& own, const MainPageSnapshot& page,
                          const QString& encoder)
{
    if (!task) return Fail(taskId, QStringLiteral("the task has no record"));

    // Settings are read now, so a change reaches the next task and never a running one.
    const CommandPlan plan = PlanCommand(*task, ResolveCompressSettings(own), page);
    const QString program = encoder.isEmpty() ? FindTool(QStringLiteral("ffmpeg")) : encoder;
    if (program.isEmpty()) return Fail(taskId, QStringLiteral("ffmpeg not found"));

    std::set<QString> reserved;
    {
        std::lock_guard guard(videoQueueLock);
        reserved = reservedOutputs_;
    }
    const OutputNameResolver resolver(GetOutputFolder(), task->fileName, plan.extension);
    QString error;
    const QString output = resolver.Claim(
        [&reserved](const QString& path) { return reserved.count(path) > 0; }, &error);
    if (output.isEmpty()) return Fail(taskId, QStringLiteral("cannot create the output: ") + error);
    {
        std::lock_guard guard(videoQueueLock);
        reservedOutputs_.insert(output);
        outputPathMap[taskId] = output;
    }

    const FfmpegCommand command = RenderCommand(plan, program, task->filePath, output);
    DebugPrint("template %d: %s\n", plan.templateNumber, WideToAnsi(command.text).c_str());

    const FfmpegOutcome outcome = runner_.Run(
        command.program, command.arguments,
        [&](qint64 processId) {
            {
                std::lock_guard guard(videoQueueLock);
                ffmpegProcesses.push_back(processId);
            }
            sink_->EncoderStarted(taskId, processId, command.program, command.arguments);
        },
        [&](const FfmpegEvent& event) {
            if (event.kind == FfmpegEvent::Kind::Progress)
                sink_->TaskProgress(taskId, event.percent);
        });

    if (outcome.kind != FfmpegOutcome::Kind::Done) {
        // What a stopped or failed encoder left behind is no result.
        QFile::remove(output);
        Unreserve(output);
        if (outcome.kind == FfmpegOutcome::Kind::Failed)
            Fail(taskId, outcome.reason, outcome.exitCode);
        return;
    }

    const QFileInfo info(output);
    Unreserve(output);
    if (!info.exists() || info.size() == 0) {
        QFile::remove(output);
        return Fail(taskId, QStringLiteral("ffmpeg reported success but wrote no output"), 0);
    }
    VideoDoneRecord record;
    record.taskId = taskId;
    record.sourcePath = task->filePath;
    record.outputPath = output;
    record.sourceSize = task->fileSize;
    record.outputSize = info.size();
    record.durationMs = outcome.durationMs;
    sink_->TaskDone(record);
}

void VideoEngine::Fail(int taskId, const QString& reason, int exitCode)
{
    DebugPrint("video task %d failed: %s\n", taskId, WideToAnsi(reason).c_str());
    VideoFailRecord record;
    record.taskId = taskId;
    record.reason = reason;
    record.exitCode = exitCode;
    sink_->TaskFailed(record);
}

void VideoEngine::Unreserve(const QString& outputPath)
{
    std::lock_guard guard(videoQueueLock);
    reservedOutputs_.erase(outputPath);
}
