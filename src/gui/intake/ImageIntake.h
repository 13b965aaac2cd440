#pragma once

#include <QStringList>
#include <functional>

#include "core/intake/VideoTask.h"

class QWidget;

// Adds images to the image list: chosen in the file dialog, or every BMP, JPEG, PNG and GIF of a
// chosen folder. Images are not checked here; a file that is not a readable image fails when it
// is compressed.
class ImageIntake {
public:
    // Adds one row for a record and returns its task id.
    using AddRow = std::function<int(const ImageTask&)>;

    // owner: the parent of the file dialogs.
    ImageIntake(QWidget* owner, AddRow addRow);

    void AddFromFileDialog();
    void AddFromFolder();

    // The same for files and folders named by the program (dropped on the window, say).
    void AddFiles(const QStringList& paths);
    void AddFolder(const QString& folder);

private:
    void Add(const ImageTask& task);

    QWidget* owner_;
    AddRow addRow_;
};
