#include "gui/intake/VideoIntake.h"

#include <QFileInfo>
#include <cstdio>
#include <vector>

#include "core/app/Language.h"
#include "core/app/TextUtil.h"
#include "core/app/UserTexts.h"
#include "core/intake/FileCheck.h"
#include "core/intake/MediaScan.h"
#include "core/intake/ProbeQueue.h"
#include "gui/ui/PromptBoxDialog.h"

namespace {

constexpr char kFolderTitle[] = QT_TRANSLATE_NOOP("LumoCompress", "选择视频存放目录");

// The notice for the damaged files of one choice: the usual sentence, then each file by name.
QString DamagedNotice(const QStringList& names)
{
    return language::Tr(texts::kDamagedFile) + u'\n' + names.join(u'\n');
}

}  // namespace

VideoIntake::VideoIntake(QWidget* owner, AddRow addRow, ShowPending showPending)
    : MediaIntake(owner, std::move(addRow), &VideoDialogFilter, kFolderTitle),
      showPending_(std::move(showPending))
{
    probes_ = std::make_unique<ProbeQueue>(ProbeQueue::Reports{
        [this](int batch, const VideoTask& task, bool usable) { OnProbed(batch, task, usable); },
        [this](int batch) { OnBatchDone(batch); },
        [this](int pending) {
            if (showPending_) showPending_(pending);
        },
    });
}

VideoIntake::~VideoIntake() = default;

void VideoIntake::AddFiles(const QStringList& paths)
{
    std::vector<VideoTask> tasks;
    for (const QString& path : paths) {
        const QFileInfo file(path);
        QString dir = file.absolutePath();
        if (!dir.endsWith('/')) dir += '/';
        if (const QString reason = SpecialFileReason(path); !reason.isEmpty()) {
            ReportNotTaken({{file.fileName(), reason}});
            continue;
        }
        tasks.push_back(MakeVideoTask(dir, file.fileName()));
    }
    Queue(std::move(tasks));
}

void VideoIntake::AddFolder(const QString& folder)
{
    if (folder.isEmpty()) return;
    std::vector<VideoTask> tasks;
    for (const QString& name : ScanFolderForVideos(folder))
        tasks.push_back(MakeVideoTask(folder, name));
    Queue(std::move(tasks));
    ReportNotTaken(EntriesNotTaken(folder, true));
}

int VideoIntake::Pending() const
{
    return probes_->Pending();
}

void VideoIntake::Stop()
{
    probes_->Stop();
    damaged_.clear();
}

void VideoIntake::Queue(std::vector<VideoTask> tasks)
{
    if (const int batch = probes_->Add(std::move(tasks)); batch != 0) damaged_[batch];
}

void VideoIntake::OnProbed(int batch, const VideoTask& task, bool usable)
{
    DebugPrint("video %s: %s\n", usable ? "row" : "refused", WideToAnsi(task.filePath).c_str());
    std::fflush(stdout);
    if (usable)
        addRow_(task);
    else
        damaged_[batch] << task.fileName;
}

void VideoIntake::OnBatchDone(int batch)
{
    QStringList names = damaged_[batch];
    names.removeDuplicates();  // the same file chosen twice is named once
    damaged_.erase(batch);
    if (!names.isEmpty()) PromptBoxDialog::ShowModeless(owner_, DamagedNotice(names));
}
