#pragma once

#include <QStringList>

class CMainWnd;

// Adds videos to the main window's list: chosen in the file dialog, or every video of a chosen
// folder. Each file is probed first; a file that does not probe well is reported as damaged
// (one prompt per file) and left out.
class VideoIntake {
public:
    explicit VideoIntake(CMainWnd& window) : window_(window) {}

    // Files in the order the dialog gives them; each row appears as soon as its file is probed.
    void AddFromFileDialog();
    // The videos of one folder (not its subfolders), in name order; the folder's rows appear
    // together after all of its prompts.
    void AddFromFolder();

    // The same for files and folders named by the program (dropped on the window, say).
    void AddFiles(const QStringList& paths);
    void AddFolder(const QString& folder);

private:
    CMainWnd& window_;
};
