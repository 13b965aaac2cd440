#pragma once

#include <QString>

#include "core/intake/VideoTask.h"
#include "gui/skinlib/SkinBuilder.h"

class QWidget;

// Builds the row of a list from its template and fills it for one record: named "item-%d" of
// the task id, the id as the tag of the row, its check box and its buttons.
QWidget* BuildVideoRow(int taskId, const VideoTask& task, const skin::ControlFactory& factory);
QWidget* BuildImageRow(int taskId, const ImageTask& task, const skin::ControlFactory& factory);

// "item-%d" of the task id: how a row is found in its list.
QString RowName(int taskId);

// The result of a finished row: "s1Label" the output's size, "y1Label" the saving in percent,
// green when the file did not grow, red when it did ("--" when the source was empty).
void ShowSaving(QWidget* row, qint64 sourceSize, qint64 outputSize);
// The result of a row whose output was not kept because the source is smaller: the source's
// size and "原文件已更小" in place of the saving.
void ShowSourceKept(QWidget* row, qint64 sourceSize);

// Sets the text of the row's label or button called name, when the row has one.
void SetRowText(QWidget* row, const char* name, const QString& text);
void SetRowVisible(QWidget* row, const char* name, bool visible);
