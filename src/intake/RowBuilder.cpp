#include "intake/RowBuilder.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QLabel>
#include <stdexcept>

#include "app/TextUtil.h"
#include "intake/DurationProbe.h"
#include "intake/MediaScan.h"
#include "skinlib/Controls.h"

namespace {

void SetText(QWidget* row, const char* name, const QString& text)
{
    if (auto* label = row->findChild<QLabel*>(name)) label->setText(text);
}

QWidget* BuildRow(const char* layout, int taskId, const VideoTask& task,
                  const skin::ControlFactory& factory, const char* check,
                  std::initializer_list<const char*> buttons)
{
    QString error;
    QWidget* row = skin::Build(layout, factory, nullptr, &error);
    if (!row) throw std::runtime_error(error.toStdString());
    row->setObjectName(RowName(taskId));
    skin::SetTag(row, taskId);
    if (auto* box = row->findChild<QAbstractButton*>(check)) {
        box->setChecked(true);
        skin::SetTag(box, taskId);
    }
    for (const char* name : buttons) skin::SetTag(row->findChild<QWidget*>(name), taskId);
    SetText(row, "fileNameLabel", task.fileName);
    if (auto* name = row->findChild<QLabel*>("fileNameLabel")) name->setToolTip(task.filePath);
    SetText(row, "fileSizeLabel", FormatSize(task.fileSize));
    return row;
}

}  // namespace

QString RowName(int taskId) { return QStringLiteral("item-%1").arg(taskId); }

QWidget* BuildVideoRow(int taskId, const VideoTask& task, const skin::ControlFactory& factory)
{
    QWidget* row = BuildRow("VideoListContainerElement.xml", taskId, task, factory,
                            "videocheckBox", {"compressBtn", "videoMenuBtn"});
    SetText(row, "ratioLabel", QStringLiteral("%1 x %2").arg(task.width).arg(task.height));
    SetText(row, "framerateLabel", task.frameRateText);
    SetText(row, "durationLabel",
            FormatDuration(ProbeDurationSeconds(task.filePath.toStdString())));
    return row;
}

QWidget* BuildImageRow(int taskId, const ImageTask& task, const skin::ControlFactory& factory)
{
    ImageTask sized = task;
    if (sized.fileSize == 0) sized.fileSize = QFileInfo(task.filePath).size();
    return BuildRow("ImageListContainerElement.xml", taskId, sized, factory, "imagecheckBox",
                    {"imageCompressBtn", "imageMenuBtn"});
}
