// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "core/intake/VideoTask.h"
#include "gui/intake/MediaIntake.h"

class ProbeQueue;

// Adds videos to the video list: chosen in the file dialog, or every video of a chosen folder.
// Each file is probed in the background (several at once) while the window stays live; its row
// appears as soon as it and every file before it are probed, so rows keep the files' order. The
// files of one choice that do not probe well are named together in one notice after the last of
// them, and left out; the same notice names the special files and unreadable names of that
// choice, which are never probed.
//
// AddFromFolder (from MediaIntake) adds the videos of one folder (not its subfolders), in name
// order.
class VideoIntake : public MediaIntake {
public:
    // Told how many files are still being read, whenever that changes (0 when none).
    using ShowPending = std::function<void(int)>;

    // owner: the parent of the file dialogs and of the damaged-file notices.
    VideoIntake(QWidget* owner, AddRow addRow, ShowPending showPending = nullptr);
    ~VideoIntake() override;

    void AddFiles(const QStringList& paths) override;
    void AddFolder(const QString& folder) override;

    // Files queued and not yet added or refused.
    int Pending() const;
    // Ends the probes that run and forgets the files still waiting; nothing is added afterwards.
    void Stop();

private:
    void Queue(std::vector<VideoTask> tasks, std::vector<NotTaken> notTaken);
    void OnProbed(int batch, const VideoTask& task, bool usable);
    void OnBatchDone(int batch);

    ShowPending showPending_;
    std::unique_ptr<ProbeQueue> probes_;
    // What each batch still being probed leaves out: its damaged files, in the files' order,
    // and the entries that were not probed at all.
    struct Refused {
        QStringList damaged;
        std::vector<NotTaken> notTaken;
    };
    std::map<int, Refused> refused_;
};
