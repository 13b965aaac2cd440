#pragma once

#include <QString>

#include "intake/VideoTask.h"
#include "skinlib/SkinBuilder.h"

class QWidget;

// Builds the row of a list from its template and fills it for one record: named "item-%d" of
// the task id, the id as the tag of the row, its check box and its buttons.
QWidget* BuildVideoRow(int taskId, const VideoTask& task, const skin::ControlFactory& factory);
QWidget* BuildImageRow(int taskId, const ImageTask& task, const skin::ControlFactory& factory);

// "item-%d" of the task id: how a row is found in its list.
QString RowName(int taskId);
