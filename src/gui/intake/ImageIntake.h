#pragma once

#include <QStringList>

class CMainWnd;

// Adds images to the main window's image list: chosen in the file dialog, or every BMP, JPEG,
// PNG and GIF of a chosen folder. Images are not checked here; a file that is not a readable
// image fails when it is compressed.
class ImageIntake {
public:
    explicit ImageIntake(CMainWnd& window) : window_(window) {}

    void AddFromFileDialog();
    void AddFromFolder();

    // The same for files and folders named by the program (dropped on the window, say).
    void AddFiles(const QStringList& paths);
    void AddFolder(const QString& folder);

private:
    CMainWnd& window_;
};
