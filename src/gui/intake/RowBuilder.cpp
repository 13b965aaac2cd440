// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/intake/RowBuilder.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QLabel>
#include <QStyle>
#include <iterator>
#include <stdexcept>

#include "core/app/Language.h"
#include "core/app/TextUtil.h"
#include "core/intake/DurationProbe.h"
#include "core/intake/MediaScan.h"
#include "gui/skinlib/Controls.h"

namespace {

constexpr char kStateProperty[] = "rowState";

constexpr const char* kStateNames[] = {"idle", "waiting", "running", "finished", "failed", "kept"};

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
    SetRowText(row, "fileNameLabel", task.fileName);
    if (auto* name = row->findChild<QLabel*>("fileNameLabel")) name->setToolTip(task.filePath);
    SetRowText(row, "fileSizeLabel", FormatSize(task.fileSize));
    SetRowState(row, RowState::Idle);
    return row;
}

}  // namespace

QString RowName(int taskId)
{
    return QStringLiteral("item-%1").arg(taskId);
}

void SetRowText(QWidget* row, const char* name, const QString& text)
{
    if (!row) return;
    if (auto* label = row->findChild<QLabel*>(name))
        label->setText(text);
    else if (auto* button = row->findChild<QAbstractButton*>(name))
        button->setText(text);
}

void SetRowVisible(QWidget* row, const char* name, bool visible)
{
    if (QWidget* control = row ? row->findChild<QWidget*>(name) : nullptr)
        control->setVisible(visible);
}

void SetRowState(QWidget* row, RowState state)
{
    if (!row) return;
    const char* name = kStateNames[static_cast<int>(state)];
    if (row->property(kStateProperty).toString() == QLatin1String(name)) return;
    row->setProperty(kStateProperty, QString::fromLatin1(name));
    // The style sheet may draw the states apart: it is applied again for the new value.
    row->style()->unpolish(row);
    row->style()->polish(row);
}

RowState GetRowState(const QWidget* row)
{
    const QString name = row ? row->property(kStateProperty).toString() : QString();
    for (int i = 0; i < static_cast<int>(std::size(kStateNames)); ++i) {
        if (name == QLatin1String(kStateNames[i])) return static_cast<RowState>(i);
    }
    return RowState::Idle;
}

bool IsRowQueued(const QWidget* row)
{
    const RowState state = GetRowState(row);
    return state == RowState::Waiting || state == RowState::Running;
}

void ShowStatusParts(QWidget* row, const StatusParts& parts)
{
    if (!row) return;
    SetRowVisible(row, "progress-slider", parts.bar);
    SetRowVisible(row, "progress-label", parts.label);
    SetRowVisible(row, "time-left-label", parts.timeLeft);
    SetRowVisible(row, "progress-container", parts.bar || parts.label || parts.timeLeft);
    SetRowVisible(row, "errorLabel", parts.error);
    SetRowVisible(row, "result-box", parts.results);
}

void ClearResults(QWidget* row)
{
    for (const char* name : {"s1Label", "y1Label", "time-left-label"}) SetRowText(row, name, {});
    if (auto* saving = row ? row->findChild<QLabel*>("y1Label") : nullptr) saving->setToolTip({});
}

void ShowSaving(QWidget* row, qint64 sourceSize, qint64 outputSize)
{
    SetRowText(row, "s1Label", FormatSize(outputSize));
    auto* saving = row ? row->findChild<QLabel*>("y1Label") : nullptr;
    if (!saving) return;
    if (sourceSize <= 0) {
        saving->setText(QStringLiteral("--"));
        return;
    }
    const float percent = SavingPercent(sourceSize, outputSize);
    // 0xFF10C00B when the file did not grow, 0xFFFF0000 when it did.
    saving->setStyleSheet(percent >= 0 ? QStringLiteral("color: #10C00B;")
                                       : QStringLiteral("color: #FF0000;"));
    saving->setText(FormatSaving(percent));
}

void ShowSourceKept(QWidget* row, qint64 sourceSize)
{
    SetRowText(row, "s1Label", FormatSize(sourceSize));
    if (auto* saving = row ? row->findChild<QLabel*>("y1Label") : nullptr) {
        saving->setStyleSheet(QStringLiteral("color: #10C00B;"));
        saving->setText(Texts::tr("已保留原文件"));
        saving->setToolTip(Texts::tr("压缩后的文件不比原文件小,已保留原文件,没有写出新文件"));
    }
}

QWidget* BuildVideoRow(int taskId, const VideoTask& task, const skin::ControlFactory& factory)
{
    QWidget* row = BuildRow("VideoListContainerElement.xml", taskId, task, factory, "videocheckBox",
                            {"compressBtn", "videoMenuBtn"});
    SetRowText(row, "ratioLabel", QStringLiteral("%1 x %2").arg(task.width).arg(task.height));
    SetRowText(row, "framerateLabel", task.frameRateText);
    SetRowText(row, "durationLabel",
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
