// SPDX-License-Identifier: GPL-3.0-or-later
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

// The damaged files of one choice: the usual sentence, then each file by name.
QString DamagedText(const QStringList& names)
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
    std::vector<NotTaken> notTaken;
    for (const QString& path : paths) {
        const QFileInfo file(path);
        QString dir = file.absolutePath();
        if (!dir.endsWith('/')) dir += '/';
        if (const QString reason = SpecialFileReason(path); !reason.isEmpty()) {
            notTaken.push_back({file.fileName(), reason});
            continue;
        }
        tasks.push_back(MakeVideoTask(dir, file.fileName()));
    }
    Queue(std::move(tasks), std::move(notTaken));
}

void VideoIntake::AddFolder(const QString& folder)
{
    if (folder.isEmpty()) return;
    std::vector<VideoTask> tasks;
    for (const QString& name : ScanFolderForVideos(folder))
        tasks.push_back(MakeVideoTask(folder, name, folder));
    Queue(std::move(tasks), EntriesNotTaken(folder, true));
}

int VideoIntake::Pending() const
{
    return probes_->Pending();
}

void VideoIntake::Stop()
{
    probes_->Stop();
    refused_.clear();
}

void VideoIntake::Queue(std::vector<VideoTask> tasks, std::vector<NotTaken> notTaken)
{
    const int batch = probes_->Add(std::move(tasks));
    if (batch != 0) {
        refused_[batch].notTaken = std::move(notTaken);
    } else if (!notTaken.empty()) {
        // Nothing to probe: the notice comes at once.
        PromptBoxDialog::ShowModeless(owner_, NotTakenText(notTaken));
    }
}

void VideoIntake::OnProbed(int batch, const VideoTask& task, bool usable)
{
    DebugPrint("video %s: %s\n", usable ? "row" : "refused", WideToAnsi(task.filePath).c_str());
    std::fflush(stdout);
    if (usable)
        addRow_(task);
    else
        refused_[batch].damaged << task.fileName;
}

void VideoIntake::OnBatchDone(int batch)
{
    Refused refused = std::move(refused_[batch]);
    refused_.erase(batch);
    refused.damaged.removeDuplicates();  // the same file chosen twice is named once
    QStringList parts;
    if (!refused.damaged.isEmpty()) parts << DamagedText(refused.damaged);
    if (!refused.notTaken.empty()) parts << NotTakenText(refused.notTaken);
    if (!parts.isEmpty()) PromptBoxDialog::ShowModeless(owner_, parts.join(QStringLiteral("\n\n")));
}
