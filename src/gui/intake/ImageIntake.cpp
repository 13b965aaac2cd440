// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/intake/ImageIntake.h"

#include <QFileInfo>
#include <cstdio>
#include <vector>

#include "core/app/TextUtil.h"

#include "core/app/Language.h"
#include "core/intake/FileCheck.h"
#include "core/intake/MediaScan.h"

namespace {

constexpr char kFolderTitle[] = QT_TRANSLATE_NOOP("LumoCompress", "选择图片存放目录");

// addedRoot: the folder added that holds the file, empty for a file added by itself.
ImageTask MakeImageTask(const QString& path, const QString& name, const QString& addedRoot = {})
{
    ImageTask task;
    task.fileName = name;
    task.filePath = path;
    task.addedRoot = addedRoot;
    task.fileSize = QFileInfo(path).size();  // 0 when the entry cannot be read
    return task;
}

}  // namespace

ImageIntake::ImageIntake(QWidget* owner, AddRow addRow)
    : MediaIntake(owner, std::move(addRow), &ImageDialogFilter, kFolderTitle)
{
}

void ImageIntake::Add(const ImageTask& task)
{
    DebugPrint("image row: %s\n", WideToAnsi(task.filePath).c_str());
    std::fflush(stdout);
    addRow_(task);
}

void ImageIntake::AddFiles(const QStringList& paths)
{
    for (const QString& path : paths) Add(MakeImageTask(path, QFileInfo(path).fileName()));
}

void ImageIntake::AddFolder(const QString& folder)
{
    if (folder.isEmpty()) return;
    std::vector<ImageTask> imageScanList;
    for (const QString& name : ScanFolderForImages(folder))
        imageScanList.push_back(MakeImageTask(MakeVideoTask(folder, name).filePath, name, folder));
    for (const ImageTask& task : imageScanList) Add(task);
    ReportNotTaken(EntriesNotTaken(folder, false));
}
