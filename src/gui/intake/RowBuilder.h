// SPDX-License-Identifier: GPL-3.0-or-later
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

// Where a row stands, kept on the row as its "rowState" property (read by the row menu and the
// style sheet): idle (never queued, or cancelled), waiting in its engine's queue, running,
// finished, failed, or kept: finished without an output because it was not smaller than the
// source, which stays the file to use.
enum class RowState { Idle, Waiting, Running, Finished, Failed, Kept };
void SetRowState(QWidget* row, RowState state);
RowState GetRowState(const QWidget* row);
// Waiting or running: the rows a cancel applies to.
bool IsRowQueued(const QWidget* row);

// The parts of a row's status column. Each look shows exactly the parts it names, so nothing of
// an earlier look (a bar over old results, a stale percentage) stays behind.
struct StatusParts {
    bool bar = false;       // "progress-slider"
    bool label = false;     // "progress-label": the percentage, or a state text
    bool timeLeft = false;  // "time-left-label" under the bar
    bool error = false;     // "errorLabel"
    bool results = false;   // "result-box": "s1Label" over "y1Label"
};
void ShowStatusParts(QWidget* row, const StatusParts& parts);
// Empties the results of an earlier run ("s1Label", "y1Label") and the time left.
void ClearResults(QWidget* row);

// The result of a finished row: "s1Label" the output's size, "y1Label" the saving in percent,
// green when the file did not grow, red when it did ("--" when the source was empty).
void ShowSaving(QWidget* row, qint64 sourceSize, qint64 outputSize);
// The result of a row whose output was not kept because the source is smaller: the source's
// size and "已保留原文件" in place of the saving.
void ShowSourceKept(QWidget* row, qint64 sourceSize);

// Sets the text of the row's label or button called name, when the row has one.
void SetRowText(QWidget* row, const char* name, const QString& text);
void SetRowVisible(QWidget* row, const char* name, bool visible);
