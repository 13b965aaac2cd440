#include "gui/intake/MediaIntake.h"

#include "core/intake/VideoTask.h"
#include "gui/platform/Shell.h"

#include <utility>

template <typename Task>
MediaIntake<Task>::MediaIntake(QWidget* owner, AddRow addRow, DialogFilter filter,
                               const char* folderTitle)
    : owner_(owner), addRow_(std::move(addRow)), filter_(filter), folderTitle_(folderTitle)
{
}

template <typename Task>
void MediaIntake<Task>::AddFromFileDialog()
{
    AddFiles(Shell::Instance().ChooseFiles(owner_, QString(), filter_()));
}

template <typename Task>
void MediaIntake<Task>::AddFromFolder()
{
    AddFolder(Shell::Instance().ChooseFolder(owner_, folderTitle_));
}

template class MediaIntake<ImageTask>;
template class MediaIntake<VideoTask>;
