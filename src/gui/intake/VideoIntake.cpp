#include "gui/intake/VideoIntake.h"

#include <QApplication>
#include <QFileInfo>
#include <vector>

#include "core/app/UserTexts.h"
#include "core/intake/FileCheck.h"
#include "core/intake/MediaProbe.h"
#include "core/intake/MediaScan.h"
#include "gui/platform/Shell.h"
#include "gui/ui/PromptBoxDialog.h"

namespace {

constexpr char kFolderTitle[] = "选择视频存放目录";

// Probing blocks the window for a moment per file: the cursor says so. A prompt shown meanwhile
// gets the normal cursor back while it waits for the user.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

void ShowDamaged(QWidget* owner)
{
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    PromptBoxDialog::Show(owner, texts::kDamagedFile);
    QApplication::restoreOverrideCursor();
}

}  // namespace

VideoIntake::VideoIntake(QWidget* owner, AddRow addRow) : owner_(owner), addRow_(std::move(addRow))
{
}

void VideoIntake::AddFromFileDialog()
{
    AddFiles(Shell::Instance().ChooseFiles(owner_, QString(), VideoDialogFilter()));
}

void VideoIntake::AddFiles(const QStringList& paths)
{
    if (paths.isEmpty()) return;
    const BusyCursor busy;
    for (const QString& path : paths) {
        const QFileInfo file(path);
        QString dir = file.absolutePath();
        if (!dir.endsWith('/')) dir += '/';
        VideoTask task = MakeVideoTask(dir, file.fileName());
        if (const QString reason = SpecialFileReason(path); !reason.isEmpty()) {
            PromptBoxDialog::ShowModeless(owner_, NotTakenNotice({{file.fileName(), reason}}));
            continue;
        }
        if (!ProbeVideo(task.filePath, task)) {
            ShowDamaged(owner_);
            continue;
        }
        addRow_(task);
    }
}

void VideoIntake::AddFromFolder()
{
    AddFolder(Shell::Instance().ChooseFolder(owner_, kFolderTitle));
}

void VideoIntake::AddFolder(const QString& folder)
{
    if (folder.isEmpty()) return;
    const BusyCursor busy;
    std::vector<VideoTask> videoScanList;
    for (const QString& name : ScanFolderForVideos(folder)) {
        VideoTask task = MakeVideoTask(folder, name);
        if (!ProbeVideo(task.filePath, task)) {
            ShowDamaged(owner_);
            continue;
        }
        videoScanList.push_back(std::move(task));
    }
    for (const VideoTask& task : videoScanList) addRow_(task);
    if (const std::vector<NotTaken> notTaken = EntriesNotTaken(folder, true); !notTaken.empty())
        PromptBoxDialog::ShowModeless(owner_, NotTakenNotice(notTaken));
}
