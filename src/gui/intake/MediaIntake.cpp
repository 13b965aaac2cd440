#include "gui/intake/MediaIntake.h"

#include "core/app/Language.h"
#include "core/intake/FileCheck.h"
#include "gui/platform/Shell.h"
#include "gui/ui/PromptBoxDialog.h"

#include <utility>

MediaIntake::MediaIntake(QWidget* owner, AddRow addRow, DialogFilter filter,
                         const char* folderTitle)
    : owner_(owner), addRow_(std::move(addRow)), filter_(filter), folderTitle_(folderTitle)
{
}

void MediaIntake::AddFromFileDialog()
{
    AddFiles(Shell::Instance().ChooseFiles(owner_, QString(), filter_()));
}

void MediaIntake::AddFromFolder()
{
    AddFolder(Shell::Instance().ChooseFolder(owner_, language::Tr(folderTitle_)));
}

void MediaIntake::ReportNotTaken(const std::vector<NotTaken>& entries)
{
    if (!entries.empty()) PromptBoxDialog::ShowModeless(owner_, NotTakenNotice(entries));
}
