#include "core/image/ImageEngine.h"

#include "core/app/Paths.h"
#include "core/app/Settings.h"
#include "core/app/TextUtil.h"
#include "core/image/ImagePipeline.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <exception>

namespace {

// The integer value of a field's text as C atoi reads it (leading blanks, a sign, leading
// digits; 0 when there are none), but without atoi's undefined overflow: out-of-range values
// are clamped.
int LeadingInt(const QString& text)
{
    const std::string bytes = WideToAnsi(text);
    errno = 0;
    const long value = std::strtol(bytes.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

bool Contains(const std::list<int>& list, int taskId)
{
    return std::find(list.begin(), list.end(), taskId) != list.end();
}

}  // namespace

ImageEngine::ImageEngine(ImageEngineSink& sink) : sink_(sink) {}

ImageEngine::~ImageEngine()
{
    Stop();
}

void ImageEngine::Start()
{
    std::lock_guard life(lifeLock);
    if (stopped_ || worker_.joinable()) return;
    worker_ = std::jthread([this](std::stop_token stop) { ImageWorkerProc(stop); });
}

void ImageEngine::Stop()
{
    std::lock_guard life(lifeLock);
    stopped_ = true;
    if (!worker_.joinable()) return;
    // The stop token wakes the worker's wait; a run in progress is finished first.
    worker_.request_stop();
    worker_.join();
}

bool ImageEngine::Enqueue(int taskId)
{
    bool added = false;
    {
        std::lock_guard guard(imageQueueLock);
        if (!Contains(idleTaskImageList, taskId)) {
            idleTaskImageList.push_back(taskId);
            added = true;
        }
    }
    if (added) imageQueueCond.notify_one();
    return added;
}

void ImageEngine::EnqueueAll(const std::vector<int>& taskIds)
{
    bool added = false;
    {
        std::lock_guard guard(imageQueueLock);
        for (int taskId : taskIds) {
            if (Contains(idleTaskImageList, taskId)) continue;
            idleTaskImageList.push_back(taskId);
            added = true;
        }
    }
    if (added) imageQueueCond.notify_one();
}

bool ImageEngine::Release(int taskId)
{
    bool hadRun = false;
    bool removed = false;
    std::size_t busy = 0;
    std::size_t idle = 0;
    {
        std::lock_guard guard(imageQueueLock);
        hadRun = imageParamsMap.erase(taskId) > 0;
        const auto it = std::find(busyTaskImageList.begin(), busyTaskImageList.end(), taskId);
        if (it != busyTaskImageList.end()) {
            busyTaskImageList.erase(it);
            removed = true;
        }
        busy = busyTaskImageList.size();
        idle = idleTaskImageList.size();
    }
    if (removed) DebugPrint("busyTaskImageList task_id: %d\n", taskId);
    DebugPrint("ImageCompress,size: %zu,%zu\n", busy, idle);
    imageQueueCond.notify_one();
    return hadRun;
}

std::optional<ImageParams> ImageEngine::FindParams(int taskId) const
{
    std::lock_guard guard(imageQueueLock);
    const auto it = imageParamsMap.find(taskId);
    if (it == imageParamsMap.end()) return std::nullopt;
    return it->second;
}

void ImageEngine::AddTask(int taskId, const ImageTask& task)
{
    std::lock_guard guard(imageQueueLock);
    imageTaskMap[taskId] = task;
}

std::optional<ImageTask> ImageEngine::FindTask(int taskId) const
{
    std::lock_guard guard(imageQueueLock);
    const auto it = imageTaskMap.find(taskId);
    if (it == imageTaskMap.end()) return std::nullopt;
    return it->second;
}

void ImageEngine::RemoveTask(int taskId)
{
    std::lock_guard guard(imageQueueLock);
    imageTaskMap.erase(taskId);
}

std::vector<int> ImageEngine::IdleTasks() const
{
    std::lock_guard guard(imageQueueLock);
    return {idleTaskImageList.begin(), idleTaskImageList.end()};
}

std::vector<int> ImageEngine::BusyTasks() const
{
    std::lock_guard guard(imageQueueLock);
    return {busyTaskImageList.begin(), busyTaskImageList.end()};
}

bool ImageEngine::IsQueuedOrRunning(int taskId) const
{
    std::lock_guard guard(imageQueueLock);
    return Contains(idleTaskImageList, taskId) || Contains(busyTaskImageList, taskId);
}

void ImageEngine::SetPageFields(const ImagePageFields& fields)
{
    std::lock_guard guard(pageFieldsLock);
    pageFields = fields;
}

ImageParams ImageEngine::SampleParams(int taskId, const QString& sourcePath) const
{
    ImagePageFields fields;
    {
        std::lock_guard guard(pageFieldsLock);
        fields = pageFields;
    }
    ImageParams params;
    params.sourcePath = sourcePath;
    params.task_id = taskId;
    params.compressType = ReadSetting(settings::kImageCompressType);
    params.imageType = ReadSetting(settings::kImageType);
    params.ratioIndex = ReadSetting(settings::kImageRatioIndex);
    params.gifDefineParam = ReadSetting(settings::kGifDefineParam);
    params.gifDropFrameIndex = ReadSetting(settings::kGifDropFrameIndex);
    params.defineParam = fields.defineParam ? 1 : 0;
    params.width = LeadingInt(fields.widthText);
    params.height = LeadingInt(fields.heightText);
    params.outputDir = GetOutputFolder();
    params.tempDir = EnsureUserFolder(QString::fromUtf8(kTempFolder));
    params.identifyPath = FindTool(QStringLiteral("identify"));
    return params;
}

void ImageEngine::ImageWorkerProc(std::stop_token stop)
{
    for (;;) {
        int taskId = 0;
        std::optional<ImageTask> task;
        {
            std::unique_lock lock(imageQueueLock);
            // Re-checked after every wake: a spurious or early wake only goes back to sleep.
            const bool ready = imageQueueCond.wait(lock, stop, [this] {
                return busyTaskImageList.empty() && !idleTaskImageList.empty();
            });
            if (!ready || stop.stop_requested()) return;
            taskId = idleTaskImageList.front();
            idleTaskImageList.pop_front();
            busyTaskImageList.push_back(taskId);
            if (const auto it = imageTaskMap.find(taskId); it != imageTaskMap.end())
                task = it->second;
        }
        DebugPrint("idleTaskImageList task_id: %d\n", taskId);
        sink_.TaskStarted(taskId);

        ImageRunResult result;
        try {
            const ImageParams params = SampleParams(taskId, task ? task->filePath : QString());
            {
                std::lock_guard guard(imageQueueLock);
                imageParamsMap.emplace(taskId, params);
            }
            if (task)
                result = ImagePipeline::Run(params);
            else
                result.failure = "no row record for the task";
        } catch (const std::exception& error) {
            DebugPrint("%s\n", error.what());
            result.failure = error.what();
        }

        if (result.done) {
            sink_.TaskDone(taskId, std::move(*result.done));
        } else {
            // A task whose row record is gone still needs its run entry, so that Release
            // accepts the failure and the queue goes on.
            {
                std::lock_guard guard(imageQueueLock);
                imageParamsMap.try_emplace(taskId);
            }
            sink_.TaskFailed(taskId, QString::fromStdString(result.failure));
        }
    }
}
