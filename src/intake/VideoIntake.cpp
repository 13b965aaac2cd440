#include "intake/VideoIntake.h"

#include <QFileInfo>
#include <vector>

#include "app/MainWnd.h"
#include "intake/MediaProbe.h"
#include "intake/MediaScan.h"
#include "platform/Shell.h"
#include "ui/PromptBoxDialog.h"

namespace {

constexpr char kDamagedText[] = "文件可能已经损坏!";
constexpr char kFolderTitle[] = "选择视频存放目录";

}  // namespace

void VideoIntake::AddFromFileDialog()
{
    const QStringList paths =
        Shell::Instance().ChooseFiles(&window_, QString(), VideoDialogFilter());
    for (const QString& path : paths) {
        const QFileInfo file(path);
        QString dir = file.absolutePath();
        if (!dir.endsWith('/')) dir += '/';
        VideoTask task = MakeVideoTask(dir, file.fileName());
        if (!ProbeVideo(task.filePath, task)) {
            PromptBoxDialog::Show(&window_, kDamagedText);
            continue;
        }
        window_.AddVideoRow(task);
    }
}

void VideoIntake::AddFromFolder()
{
    const QString folder = Shell::Instance().ChooseFolder(&window_, kFolderTitle);
    if (folder.isEmpty()) return;
    std::vector<VideoTask> videoScanList;
    for (const QString& name : ScanFolderForVideos(folder)) {
        VideoTask task = MakeVideoTask(folder, name);
        if (!ProbeVideo(task.filePath, task)) {
            PromptBoxDialog::Show(&window_, kDamagedText);
            continue;
        }
        videoScanList.push_back(std::move(task));
    }
    for (const VideoTask& task : videoScanList) window_.AddVideoRow(task);
}
