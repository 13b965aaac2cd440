// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/ImageEngine.h"

#include "core/app/Paths.h"
#include "core/app/TextUtil.h"
#include "core/image/ImagePipeline.h"
#include "core/intake/FileCheck.h"

#include <QFile>

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

}  // namespace

ImageEngine::ImageEngine(ImageEngineSink& sink, ImageSettingsReader reader, int workers)
    : sink_(sink), reader_(std::move(reader)), workerCount_(std::max(1, workers))
{
    queue_.SetMaxRunning(workerCount_);
}

ImageEngine::~ImageEngine()
{
    Stop();
}

bool ImageEngine::Start()
{
    std::lock_guard life(lifeLock_);
    if (started_) return false;
    started_ = true;
    for (int i = 0; i < workerCount_; ++i) workers_.emplace_back([this] { WorkerProc(); });
    return true;
}

void ImageEngine::Stop()
{
    std::lock_guard life(lifeLock_);
    started_ = true;  // a stopped engine stays stopped
    // Wakes the waiting workers and asks runs in progress to stop, which they do within a
    // fraction of a second.
    queue_.Stop();
    for (std::jthread& worker : workers_)
        if (worker.joinable()) worker.join();
}

bool ImageEngine::Release(int taskId)
{
    {
        std::lock_guard guard(lock_);
        imageParamsMap.erase(taskId);
    }
    const bool released = queue_.Release(taskId);
    if (released) DebugPrint("busyTaskImageList task_id: %d\n", taskId);
    DebugPrint("ImageCompress,size: %zu,%zu\n", queue_.BusyTasks().size(),
               queue_.IdleTasks().size());
    return released;
}

std::optional<ImageParams> ImageEngine::FindParams(int taskId) const
{
    std::lock_guard guard(lock_);
    const auto it = imageParamsMap.find(taskId);
    if (it == imageParamsMap.end()) return std::nullopt;
    return it->second;
}

void ImageEngine::AddTask(int taskId, const ImageTask& task)
{
    std::lock_guard guard(lock_);
    taskMap_[taskId] = task;
}

std::optional<ImageTask> ImageEngine::FindTask(int taskId) const
{
    std::lock_guard guard(lock_);
    const auto it = taskMap_.find(taskId);
    if (it == taskMap_.end()) return std::nullopt;
    return it->second;
}

void ImageEngine::RemoveTask(int taskId)
{
    std::lock_guard guard(lock_);
    taskMap_.erase(taskId);
}

ImageParams ImageEngine::SampleParams(int taskId, const QString& sourcePath,
                                      const QString& addedRoot) const
{
    ImageSettings values = reader_();
    if (values.place.place == place::kInPlace) {
        // The output takes the original's place: everything the photo tells (its location
        // included) and its dates stay, whatever the other choices say.
        values.keepDates = true;
        values.keepPhotoInfo = true;
        values.keepLocation = true;
    }
    ImageParams params;
    params.sourcePath = sourcePath;
    params.task_id = taskId;
    params.compressType = values.compressType;
    params.imageType = values.imageType;
    params.ratioIndex = values.ratioIndex;
    params.gifDefineParam = values.gifDefineParam;
    params.gifDropFrameIndex = values.gifDropFrameIndex;
    params.defineParam = values.page.defineParam ? 1 : 0;
    params.width = LeadingInt(values.page.widthText);
    params.height = LeadingInt(values.page.heightText);
    params.outputDir = values.outputFolder;
    params.tempDir = EnsureUserFolder(QString::fromUtf8(kTempFolder));
    params.identifyPath = FindTool(QStringLiteral("identify"));
    params.keepSmaller = values.keepSmaller;
    params.look = values.look;
    params.maxBytes = values.maxBytes;
    params.keepDates = values.keepDates;
    params.keepPhotoInfo = values.keepPhotoInfo;
    params.keepLocation = values.keepLocation;
    params.place = values.place;
    params.addedRoot = addedRoot;
    return params;
}

void ImageEngine::WorkerProc()
{
    while (const auto taken = queue_.WaitNext()) {
        const int taskId = taken->taskId;
        std::optional<ImageTask> task;
        {
            std::lock_guard guard(lock_);
            if (const auto it = taskMap_.find(taskId); it != taskMap_.end()) task = it->second;
        }
        DebugPrint("idleTaskImageList task_id: %d\n", taskId);
        sink_.TaskStarted(taskId);

        ImageRunResult result;
        try {
            const ImageParams params = SampleParams(taskId, task ? task->filePath : QString(),
                                                    task ? task->addedRoot : QString());
            {
                std::lock_guard guard(lock_);
                imageParamsMap.emplace(taskId, params);
            }
            if (!task) {
                result.failure = "no row record for the task";
            } else if (const QString notFile = SpecialFileReason(task->filePath);
                       !notFile.isEmpty()) {
                // Looked at before anything opens it: a named pipe would hold the worker.
                result.failure = ("cannot read " + task->filePath + ": " + notFile).toStdString();
            } else if (!queue_.IsCancelled(taskId)) {
                result = ImagePipeline::Run(params, taken->stop);
            }
        } catch (const std::exception& error) {
            DebugPrint("%s\n", error.what());
            result.failure = error.what();
        }

        // A task that reports anything but done still needs its run entry, so that Release
        // accepts the report and the queue goes on.
        const auto keepRunEntry = [&] {
            std::lock_guard guard(lock_);
            imageParamsMap.try_emplace(taskId);
        };
        // An output that already took its source's place stays the result: removing it now
        // would leave the original only in the trash.
        const bool replaced = result.done && result.done->replacedSource;
        if (queue_.IsCancelled(taskId) && !replaced) {
            // Cancelled while it ran: what it wrote is no result.
            if (result.done) QFile::remove(result.done->outputPath);
            keepRunEntry();
            sink_.TaskCancelled(taskId);
        } else if (result.done) {
            sink_.TaskDone(taskId, std::move(*result.done));
        } else if (result.stopped) {
            // Stop ended the run half-way: as with the video engine, its task gets no report.
            DebugPrint("image task %d stopped\n", taskId);
        } else {
            keepRunEntry();
            sink_.TaskFailed(taskId, QString::fromStdString(result.failure));
        }
    }
}
