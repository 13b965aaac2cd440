// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/intake/MediaIntake.h"

#include "core/app/Language.h"
#include "core/intake/FileCheck.h"
#include "gui/platform/Shell.h"
#include "gui/ui/PromptBoxDialog.h"

#include <QRegularExpression>

#include <utility>

namespace {

// The reasons the file check gives (its own English sentences), with the texts the window shows
// for them; a reason not listed (the system's words for an entry it cannot look at) is shown as
// it is.
struct Reason {
    const char* given;
    const char* shown;
};
constexpr Reason kReasons[] = {
    {"a named pipe (FIFO), not a regular file",
     QT_TRANSLATE_NOOP("LumoCompress", "这是命名管道(FIFO),不是普通文件")},
    {"a device, not a regular file", QT_TRANSLATE_NOOP("LumoCompress", "这是设备,不是普通文件")},
    {"a socket, not a regular file", QT_TRANSLATE_NOOP("LumoCompress", "这是套接字,不是普通文件")},
    {"a folder, not a regular file", QT_TRANSLATE_NOOP("LumoCompress", "这是文件夹,不是普通文件")},
    {"not a regular file", QT_TRANSLATE_NOOP("LumoCompress", "不是普通文件")},
    {"a link to a folder, not a file",
     QT_TRANSLATE_NOOP("LumoCompress", "这是指向文件夹的链接,不是文件")},
    {"its name is not valid UTF-8; rename the file to compress it",
     QT_TRANSLATE_NOOP("LumoCompress", "文件名不是有效的 UTF-8 编码,请重命名后再压缩")},
};

QString ShownReason(const QString& given)
{
    for (const Reason& reason : kReasons)
        if (given == QLatin1String(reason.given)) return language::Tr(reason.shown);
    // "the path is too long (N bytes; the system takes at most M)", with its two numbers.
    static const QRegularExpression tooLong(QStringLiteral(
        "^the path is too long \\((\\d+) bytes; the system takes at most (\\d+)\\)$"));
    if (const QRegularExpressionMatch match = tooLong.match(given); match.hasMatch())
        return language::Tr(
                   QT_TRANSLATE_NOOP("LumoCompress", "路径太长(%1 字节,系统最多接受 %2 字节)"))
            .arg(match.captured(1), match.captured(2));
    return given;
}

}  // namespace

QString MediaIntake::NotTakenText(const std::vector<NotTaken>& entries)
{
    QString text = language::Tr(QT_TRANSLATE_NOOP("LumoCompress", "以下文件没有添加:"));
    for (const NotTaken& entry : entries)
        text += u'\n' + entry.name + QStringLiteral(": ") + ShownReason(entry.reason);
    return text;
}

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
    if (!entries.empty()) PromptBoxDialog::ShowModeless(owner_, NotTakenText(entries));
}
