#pragma once

#include <QStringList>
#include <functional>

#include "core/intake/VideoTask.h"

class QWidget;

// Adds videos to the video list: chosen in the file dialog, or every video of a chosen folder.
// Each file is probed first; a file that does not probe well is reported as damaged (one prompt
// per file) and left out.
class VideoIntake {
public:
    // Adds one row for a record and returns its task id.
    using AddRow = std::function<int(const VideoTask&)>;

    // owner: the parent of the file dialogs and of the damaged-file notices.
    VideoIntake(QWidget* owner, AddRow addRow);

    // Files in the order the dialog gives them; each row appears as soon as its file is probed.
    void AddFromFileDialog();
    // The videos of one folder (not its subfolders), in name order; the folder's rows appear
    // together after all of its prompts.
    void AddFromFolder();

    // The same for files and folders named by the program (dropped on the window, say).
    void AddFiles(const QStringList& paths);
    void AddFolder(const QString& folder);

private:
    QWidget* owner_;
    AddRow addRow_;
};
