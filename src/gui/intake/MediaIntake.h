// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>
#include <functional>
#include <vector>

#include "core/intake/FileCheck.h"
#include "core/intake/VideoTask.h"

class QWidget;
struct NotTaken;

// What the image and the video intake have in common: the window they ask from, the callback
// that adds one row per record (an image row and a video row both take a VideoTask record), and
// the two choosers, which pass what was chosen on to AddFiles and AddFolder.
class MediaIntake {
public:
    // Adds one row for a record and returns its task id.
    using AddRow = std::function<int(const VideoTask&)>;
    // The file dialog's filter, read each time the dialog opens.
    using DialogFilter = QString (*)();

    virtual ~MediaIntake() = default;
    MediaIntake(const MediaIntake&) = delete;
    MediaIntake& operator=(const MediaIntake&) = delete;

    void AddFromFileDialog();
    void AddFromFolder();

    // The same for files and folders named by the program (dropped on the window, say).
    virtual void AddFiles(const QStringList& paths) = 0;
    virtual void AddFolder(const QString& folder) = 0;

    // Shows the notice of files that were not taken, one line each (nothing for none).
    void ReportNotTaken(const std::vector<NotTaken>& entries);

protected:
    // owner: the parent of the file dialogs; folderTitle: the folder chooser's title, a text marked
    // for translation (shown through language::Tr).
    MediaIntake(QWidget* owner, AddRow addRow, DialogFilter filter, const char* folderTitle);

    // The part of a notice that names the files not taken (special files, names that are not
    // UTF-8), in the window's language: a heading, then "name: reason" for each.
    static QString NotTakenText(const std::vector<NotTaken>& entries);

    QWidget* owner_;
    AddRow addRow_;

private:
    DialogFilter filter_;
    const char* folderTitle_;
};
