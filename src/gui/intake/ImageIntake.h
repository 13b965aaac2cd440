// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/intake/VideoTask.h"
#include "gui/intake/MediaIntake.h"

// Adds images to the image list: chosen in the file dialog, or every BMP, JPEG, PNG and GIF of a
// chosen folder. Images are not checked here; a file that is not a readable image fails when it
// is compressed.
class ImageIntake : public MediaIntake {
public:
    // owner: the parent of the file dialogs.
    ImageIntake(QWidget* owner, AddRow addRow);

    void AddFiles(const QStringList& paths) override;
    void AddFolder(const QString& folder) override;

private:
    void Add(const ImageTask& task);
};
