#pragma once

#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "core/intake/VideoTask.h"

class ProbeQueue;
class QWidget;

// Adds videos to the video list: chosen in the file dialog, or every video of a chosen folder.
// Each file is probed in the background (several at once) while the window stays live; its row
// appears as soon as it and every file before it are probed, so rows keep the files' order. The
// files of one choice that do not probe well are named together in one notice after the last of
// them, and left out.
class VideoIntake {
public:
    // Adds one row for a record and returns its task id.
    using AddRow = std::function<int(const VideoTask&)>;
    // Told how many files are still being read, whenever that changes (0 when none).
    using ShowPending = std::function<void(int)>;

    // owner: the parent of the file dialogs and of the damaged-file notices.
    VideoIntake(QWidget* owner, AddRow addRow, ShowPending showPending = nullptr);
    ~VideoIntake();

    void AddFromFileDialog();
    // The videos of one folder (not its subfolders), in name order.
    void AddFromFolder();

    // The same for files and folders named by the program (dropped on the window, say).
    void AddFiles(const QStringList& paths);
    void AddFolder(const QString& folder);

    // Files queued and not yet added or refused.
    int Pending() const;
    // Ends the probes that run and forgets the files still waiting; nothing is added afterwards.
    void Stop();

private:
    void Queue(std::vector<VideoTask> tasks);
    void OnProbed(int batch, const VideoTask& task, bool usable);
    void OnBatchDone(int batch);

    QWidget* owner_;
    AddRow addRow_;
    ShowPending showPending_;
    std::unique_ptr<ProbeQueue> probes_;
    // The damaged files of each batch still being probed, in the files' order.
    std::map<int, QStringList> damaged_;
};
