// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchJob.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include "ConsoleView.h"
#include "core/app/Language.h"
#include "core/app/OutputName.h"
#include "core/app/OutputPlace.h"
#include "core/app/OwnFiles.h"
#include "core/app/UserTexts.h"
#include "core/image/ImagePipeline.h"
#include "core/image/OutputFile.h"
#include "core/intake/FileCheck.h"
#include "core/intake/MediaProbe.h"
#include "core/intake/MediaScan.h"
#include "core/video/FfmpegCommand.h"
#include "core/video/OutputNameResolver.h"

namespace {

constexpr int kTickMs = 250;

QString JoinPath(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

}  // namespace

// Both sinks hand each report to the main thread by value; a report still queued when the run
// is gone is dropped with it.
class JobPoster {
public:
    explicit JobPoster(BatchJob& job) : job_(job) {}

protected:
    template <typename F>
    void Post(F call)
    {
        BatchJob* job = &job_;
        QMetaObject::invokeMethod(
            job, [job, call] { call(*job); }, Qt::QueuedConnection);
    }

private:
    BatchJob& job_;
};

class BatchJob::VideoSink final : public VideoEngineSink, JobPoster {
public:
    explicit VideoSink(BatchJob& job) : JobPoster(job) {}
    void TaskStarted(int taskId) override
    {
        Post([taskId](BatchJob& job) { job.OnStarted(taskId); });
    }
    void TaskProgress(int taskId, int percent) override
    {
        Post([taskId, percent](BatchJob& job) { job.OnVideoProgress(taskId, percent); });
    }
    void TaskNotes(int taskId, const QStringList& notes) override
    {
        Post([taskId, notes](BatchJob& job) {
            // A task may report notes more than once (its choices, then its dates).
            if (BatchItem* item = job.Find(taskId)) item->notes += notes;
        });
    }
    void TaskDone(const VideoDoneRecord& record) override
    {
        Post([record](BatchJob& job) { job.OnVideoDone(record); });
    }
    void TaskFailed(const VideoFailRecord& record) override
    {
        Post([record](BatchJob& job) { job.OnVideoFailed(record); });
    }
    void TaskCancelled(int taskId) override
    {
        Post([taskId](BatchJob& job) { job.OnCancelled(taskId); });
    }
};

class BatchJob::ImageSink final : public ImageEngineSink, JobPoster {
public:
    explicit ImageSink(BatchJob& job) : JobPoster(job) {}
    void TaskStarted(int taskId) override
    {
        Post([taskId](BatchJob& job) { job.OnStarted(taskId); });
    }
    void TaskDone(int taskId, ImageDoneRecord record) override
    {
        Post([taskId, record](BatchJob& job) { job.OnImageDone(taskId, record); });
    }
    void TaskFailed(int taskId, const QString& reason) override
    {
        Post([taskId, reason](BatchJob& job) { job.OnImageFailed(taskId, reason); });
    }
    void TaskCancelled(int taskId) override
    {
        Post([taskId](BatchJob& job) { job.OnCancelled(taskId); });
    }
};

BatchJob::BatchJob(const CliOptions& options, const QString& outputFolder, ConsoleView& view)
    : options_(options),
      outputFolder_(outputFolder),
      view_(view),
      videoSink_(std::make_unique<VideoSink>(*this)),
      imageSink_(std::make_unique<ImageSink>(*this)),
      videoEngine_(std::make_unique<VideoEngine>(
          *videoSink_, [values = options.values] { return values.Video(); })),
      imageEngine_(std::make_unique<ImageEngine>(
          *imageSink_, [values = options.values] { return values.Image(); },
          options.imageWorkers > 0 ? options.imageWorkers : QThread::idealThreadCount()))
{
    clock_.start();
    tick_.setInterval(kTickMs);
    connect(&tick_, &QTimer::timeout, this, [this] { view_.Tick(Now()); });
}

BatchJob::~BatchJob()
{
    // Engines first: their workers may still call the sinks until they are joined.
    videoEngine_.reset();
    imageEngine_.reset();
}

bool BatchJob::Intake(const std::function<bool()>& stopRequested)
{
    bool stopped = false;
    for (const QString& path : options_.paths) {
        if (stopped || stopRequested()) return false;
        const QFileInfo info(path);
        // A name that is not valid UTF-8 (it reaches us with replacement characters in its
        // place) or a path too long to open: shown by its bytes, with the reason.
        if (const NotTaken unusable = UnusablePath(path); !unusable.reason.isEmpty()) {
            const bool video = IsVideoExtension(EntryExtension(info.fileName()));
            Refuse(video ? BatchItem::Kind::Video : BatchItem::Kind::Image, unusable.name,
                   QFileInfo(unusable.name).absoluteFilePath(), unusable.reason,
                   QStringLiteral("unusable-name"));
            continue;
        }
        if (!info.exists()) {
            Refuse(BatchItem::Kind::Image, path, info.absoluteFilePath(),
                   QStringLiteral("no such file or folder"), QStringLiteral("missing"));
            continue;
        }
        if (info.isDir()) {
            QSet<QString> visited;
            const QString folder = QDir::cleanPath(info.absoluteFilePath());
            IntakeFolder(folder, path, QFileInfo(folder).canonicalFilePath(), folder, visited,
                         stopRequested, stopped);
        } else if (const QString special = NotRegularFileReason(info.absoluteFilePath());
                   !special.isEmpty()) {
            // Never opened to look at its content: a reader would wait on a pipe for ever.
            const bool video = IsVideoExtension(EntryExtension(info.fileName()));
            Refuse(video ? BatchItem::Kind::Video : BatchItem::Kind::Image, path,
                   info.absoluteFilePath(), special, QStringLiteral("not-regular"));
        } else {
            // A named file is taken by what it holds, whatever its name says.
            const SourceType type = DetectSourceType(info.absoluteFilePath());
            if (type.kind == SourceType::Kind::Video) {
                // As from the file dialog: the folder with its "/".
                AddVideo(JoinPath(info.absolutePath(), QString()), info.fileName(), path);
            } else if (type.kind == SourceType::Kind::Image) {
                AddImage(info.absoluteFilePath(), info.fileName(), path);
            } else {
                Refuse(BatchItem::Kind::Image, path, info.absoluteFilePath(), type.reason,
                       QStringLiteral("unsupported"));
            }
        }
    }
    return !stopped && !stopRequested();
}

void BatchJob::IntakeFolder(const QString& folder, const QString& shown, const QString& root,
                            const QString& added, QSet<QString>& visited,
                            const std::function<bool()>& stopRequested, bool& stopped)
{
    // A link back up is not followed round in a loop. (A folder named twice on the command
    // line is taken twice, as the window takes a folder added twice.)
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (visited.contains(canonical)) return;
    visited.insert(canonical);

    for (const QString& name : ScanFolderForVideos(folder)) {
        if (stopRequested()) {
            stopped = true;
            return;
        }
        AddVideo(folder, name, JoinPath(shown, name), added);
    }
    for (const QString& name : ScanFolderForImages(folder))
        AddImage(MakeVideoTask(folder, name).filePath, name, JoinPath(shown, name), added);
    // Named pipes, devices, sockets and files the program cannot name are not left out
    // silently.
    for (const bool videos : {true, false}) {
        for (const NotTaken& entry : EntriesNotTaken(folder, videos))
            Refuse(videos ? BatchItem::Kind::Video : BatchItem::Kind::Image,
                   JoinPath(shown, entry.name), JoinPath(folder, entry.name), entry.reason);
    }
    if (!options_.recursive) return;

    // Hidden subfolders (caches, version control) are left out.
    const QStringList subfolders =
        QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : subfolders) {
        const QString path = JoinPath(folder, name);
        const QFileInfo entry(path);
        // A link is followed only to a folder inside the folder named, and only once: a link
        // to "/" or back up the tree would take in far more than was asked for.
        if (entry.isSymLink()) {
            const QString target = entry.canonicalFilePath();
            const bool inside = target == root || target.startsWith(JoinPath(root, QString()));
            if (!inside || visited.contains(target)) {
                view_.Notice(QStringLiteral("not followed: %1 -> %2 (%3)")
                                 .arg(JoinPath(shown, name), entry.symLinkTarget(),
                                      inside ? QStringLiteral("a folder already taken in")
                                             : QStringLiteral("a link out of %1").arg(root)));
                continue;
            }
        }
        IntakeFolder(path, JoinPath(shown, name), root, added, visited, stopRequested, stopped);
        if (stopped) return;
    }
}

void BatchJob::AddVideo(const QString& dir, const QString& name, const QString& shown,
                        const QString& addedRoot)
{
    VideoTask task = MakeVideoTask(dir, name, addedRoot);
    // A named pipe or a device is never opened: the prober would wait on it for ever.
    if (const QString reason = NotRegularFileReason(task.filePath); !reason.isEmpty())
        return Refuse(BatchItem::Kind::Video, shown, task.filePath, reason,
                      QStringLiteral("not-regular"));
    BatchItem item;
    item.kind = BatchItem::Kind::Video;
    item.shownPath = shown;
    item.sourcePath = task.filePath;
    item.addedRoot = addedRoot;
    if (!ProbeVideo(task.filePath, task)) {
        // Refused as the window refuses it: no task, the same words.
        item.sourceSize = QFileInfo(task.filePath).isFile() ? QFileInfo(task.filePath).size() : 0;
        item.state = BatchItem::State::Failed;
        item.error = language::Tr(texts::kDamagedFile);
        item.code = QStringLiteral("damaged");
        items_.push_back(item);
        view_.Finished(items_.back(), Now());
        return;
    }
    item.taskId = nextTaskId_++;
    item.sourceSize = task.fileSize;
    item.durationSeconds = task.formatDuration > 0 ? task.formatDuration : task.videoDuration;
    if (options_.dryRun) {
        // A dry run writes nothing, the output folder included.
        const VideoSettings values = options_.values.Video(false);
        const CommandPlan plan =
            PlanCommand(task, ResolveCompressSettings(std::nullopt, values.settings), values.page);
        QString error;
        item.outputPath = PlanOutput(task.filePath, addedRoot, plan.extension, &error);
        if (item.outputPath.isEmpty())
            return Refuse(BatchItem::Kind::Video, shown, task.filePath, error,
                          QStringLiteral("bad-place"));
    }
    videoEngine_->AddTask(item.taskId, task);
    byTaskId_[item.taskId] = items_.size();
    items_.push_back(item);
}

void BatchJob::AddImage(const QString& path, const QString& name, const QString& shown,
                        const QString& addedRoot)
{
    if (const QString reason = NotRegularFileReason(path); !reason.isEmpty())
        return Refuse(BatchItem::Kind::Image, shown, path, reason, QStringLiteral("not-regular"));
    // Images are not probed: the pipeline meets a bad one when it compresses it.
    ImageTask task;
    task.fileName = name;
    task.filePath = path;
    task.fileSize = QFileInfo(path).size();
    task.addedRoot = addedRoot;
    BatchItem item;
    item.kind = BatchItem::Kind::Image;
    item.taskId = nextTaskId_++;
    item.shownPath = shown;
    item.sourcePath = path;
    item.sourceSize = task.fileSize;
    item.addedRoot = addedRoot;
    if (options_.dryRun) {
        QString extension = ImagePipeline::OutputExtension(options_.values.imageType,
                                                           OutputFile::Split(path).extension);
        // As the pipeline names a file whose name is of another type: by its content.
        if (extension.isEmpty())
            extension = ImagePipeline::OutputExtension(options_.values.imageType,
                                                       DetectSourceType(path).imageExtension);
        if (extension.isEmpty())
            return Refuse(BatchItem::Kind::Image, shown, path,
                          QStringLiteral("no treatment for this kind of file"),
                          QStringLiteral("unsupported"));
        QString error;
        item.outputPath = PlanOutput(path, addedRoot, extension, &error);
        if (item.outputPath.isEmpty())
            return Refuse(BatchItem::Kind::Image, shown, path, error, QStringLiteral("bad-place"));
    }
    imageEngine_->AddTask(item.taskId, task);
    byTaskId_[item.taskId] = items_.size();
    items_.push_back(item);
}

QString BatchJob::PlanOutput(const QString& sourcePath, const QString& addedRoot,
                             const QString& extension, QString* error)
{
    const OutputTarget target =
        PlanOutputTarget(options_.values.place, outputFolder_, sourcePath, addedRoot, extension);
    if (!target.error.isEmpty()) {
        *error = target.error;
        return {};
    }
    const OutputNameResolver resolver =
        OutputNameResolver::WithBase(target.folder, target.baseName, target.extension);
    // In place the source goes to the trash before its output is named: its name is free then.
    const QString path = resolver.Resolve([&](const QString& candidate) {
        if (target.replacesSource && candidate == sourcePath) return false;
        return planned_.contains(candidate) || OutputNameResolver::EntryExists(candidate);
    });
    planned_.insert(path);
    return path;
}

int BatchJob::DryRun()
{
    view_.SetInPlace(options_.values.place.place == place::kInPlace);
    int status = 0;
    for (const BatchItem& item : items_) {
        if (item.taskId < 0) {
            status = 1;  // refused: already named on stderr (or in its JSON record)
            continue;
        }
        view_.WouldWrite(item, item.outputPath);
    }
    return status;
}

void BatchJob::Refuse(BatchItem::Kind kind, const QString& shown, const QString& path,
                      const QString& reason, const QString& code)
{
    BatchItem item;
    item.kind = kind;
    item.shownPath = shown;
    item.sourcePath = path;
    const QFileInfo file(path);
    item.sourceSize = file.isFile() ? file.size() : 0;
    item.state = BatchItem::State::Failed;
    item.error = QStringLiteral("not taken: ") + reason;
    item.code = code;
    items_.push_back(item);
    view_.Finished(items_.back(), Now());
}

void BatchJob::Start()
{
    // What killed earlier runs left goes before this run writes, but never a file it reads.
    QStringList sources;
    for (const BatchItem& item : items_) sources << item.sourcePath;
    OwnFiles::CleanLeftovers(sources);

    std::vector<int> videos;
    std::vector<int> images;
    for (const BatchItem& item : items_) {
        if (item.taskId < 0) continue;
        (item.kind == BatchItem::Kind::Video ? videos : images).push_back(item.taskId);
    }
    if (!videos.empty()) {
        videoEngine_->Start();
        videoEngine_->EnqueueAll(videos);
    }
    if (!images.empty()) {
        imageEngine_->Start();
        imageEngine_->EnqueueAll(images);
    }
    if (view_.mode() == ConsoleView::Mode::Terminal) tick_.start();
    // A run of refused files only has nothing to wait for.
    QMetaObject::invokeMethod(this, &BatchJob::FinishIfDone, Qt::QueuedConnection);
}

void BatchJob::Interrupt()
{
    if (stopping_ || finished_) return;
    stopping_ = true;
    // The video engine ends its encoder and removes what it wrote; the image engine gives up
    // its image within about a second, writing nothing. Then whatever they reported on the way
    // is taken in (a file given up stays running here and is marked stopped below).
    videoEngine_->Stop();
    imageEngine_->Stop();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    for (BatchItem& item : items_) {
        if (item.state == BatchItem::State::Running) {
            item.state = BatchItem::State::Stopped;
            view_.Finished(item, Now());
        } else if (item.state == BatchItem::State::Waiting) {
            item.state = BatchItem::State::NotStarted;
        }
    }
    Finish();
}

BatchItem* BatchJob::Find(int taskId)
{
    const auto it = byTaskId_.find(taskId);
    return it == byTaskId_.end() ? nullptr : &items_[it->second];
}

void BatchJob::OnStarted(int taskId)
{
    BatchItem* item = Find(taskId);
    if (!item || finished_) return;
    item->state = BatchItem::State::Running;
    item->startedMs = item->progressMs = Now();
    item->percent = 0;
    view_.Started(*item, Now());
}

void BatchJob::OnVideoProgress(int taskId, int percent)
{
    BatchItem* item = Find(taskId);
    if (!item || item->state != BatchItem::State::Running) return;
    item->percent = std::clamp(percent, 0, 100);
    item->progressMs = Now();
    view_.Progress(*item, Now());
}

void BatchJob::OnVideoDone(const VideoDoneRecord& record)
{
    if (BatchItem* item = Find(record.taskId); item && !item->Finished()) {
        item->ssim = record.ssim;
        item->crf = record.searchedCrf;
        item->fittedBitRate = record.fittedBitRate;
        item->sizeTries = record.sizeTries;
        item->replacedSource = record.replacedSource;
        item->freedBytes = record.freedBytes;
        record.sourceKept ? KeepSource(*item) : Conclude(*item, record.outputPath);
    }
    if (!stopping_) videoEngine_->Release(record.taskId);
    FinishIfDone();
}

void BatchJob::OnVideoFailed(const VideoFailRecord& record)
{
    if (BatchItem* item = Find(record.taskId); item && !item->Finished()) {
        // An encoder that fell to the same Ctrl-C as this program was stopped, not broken.
        if (stopping_) {
            item->state = BatchItem::State::Stopped;
            view_.Finished(*item, Now());
        } else {
            Fail(*item, record.reason);
        }
    }
    if (!stopping_) videoEngine_->Release(record.taskId);
    FinishIfDone();
}

void BatchJob::OnImageDone(int taskId, const ImageDoneRecord& record)
{
    if (BatchItem* item = Find(taskId); item && !item->Finished()) {
        item->ssim = record.ssim;
        item->quality = record.searchedQuality;
        item->scalePercent = record.scalePercent;
        item->replacedSource = record.replacedSource;
        item->freedBytes = record.freedBytes;
        record.sourceKept ? KeepSource(*item) : Conclude(*item, record.outputPath);
    }
    if (!stopping_) imageEngine_->Release(taskId);
    FinishIfDone();
}

void BatchJob::OnImageFailed(int taskId, const QString& reason)
{
    if (BatchItem* item = Find(taskId); item && !item->Finished()) Fail(*item, reason);
    if (!stopping_) imageEngine_->Release(taskId);
    FinishIfDone();
}

void BatchJob::OnCancelled(int taskId)
{
    // The run cancels nothing itself; a file taken out of its engine counts as stopped.
    BatchItem* item = Find(taskId);
    if (item && !item->Finished()) {
        item->state = BatchItem::State::Stopped;
        view_.Finished(*item, Now());
    }
    if (!stopping_ && item) {
        if (item->kind == BatchItem::Kind::Video)
            videoEngine_->Release(taskId);
        else
            imageEngine_->Release(taskId);
    }
    FinishIfDone();
}

void BatchJob::Conclude(BatchItem& item, const QString& outputPath)
{
    // As the window: a result whose file is not there is no success.
    const QFileInfo output(outputPath);
    if (!output.isFile())
        return Fail(item, QStringLiteral("the output file is missing: ") + outputPath);
    item.state = BatchItem::State::Done;
    item.percent = 100;
    item.outputPath = output.absoluteFilePath();
    item.outputSize = output.size();
    view_.Finished(item, Now());
}

void BatchJob::KeepSource(BatchItem& item)
{
    item.state = BatchItem::State::Kept;
    item.percent = 100;
    item.outputPath.clear();
    item.outputSize = 0;
    view_.Finished(item, Now());
}

void BatchJob::Fail(BatchItem& item, const QString& error)
{
    item.state = BatchItem::State::Failed;
    item.error = error;
    view_.Finished(item, Now());
}

void BatchJob::FinishIfDone()
{
    if (stopping_ || finished_) return;
    for (const BatchItem& item : items_)
        if (!item.Finished()) return;
    Finish();
}

void BatchJob::Finish()
{
    if (finished_) return;
    finished_ = true;
    tick_.stop();
    view_.Summary(items_, outputFolder_, options_.values.place.place);
    qsizetype failed = 0;
    for (const BatchItem& item : items_) failed += item.Succeeded() ? 0 : 1;
    QString message;
    if (stopping_) {
        message = QStringLiteral("stopped; %1 of %2 files were not compressed")
                      .arg(failed)
                      .arg(items_.size());
    } else if (failed > 0) {
        message = QStringLiteral("%1 of %2 files failed").arg(failed).arg(items_.size());
    }
    emit finished(failed == 0 ? 0 : 1, message);
}
