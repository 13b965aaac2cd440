// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/image/ImageParams.h"

// What the image engine reports about its tasks. Every call comes from the engine's worker
// thread, with values the receiver may keep; a receiver that owns widgets hands them over to
// its UI thread (a posted message) and changes nothing there itself.
//
// Each task the worker takes gets TaskStarted, then exactly one of TaskDone, TaskFailed and
// TaskCancelled (none for a run that ImageEngine::Stop gave up). After it, the worker starts
// nothing until the receiver's side calls ImageEngine::Release with the task id. The sink must
// outlive the engine's Stop().
class ImageEngineSink {
public:
    virtual ~ImageEngineSink() = default;

    // The task left the waiting list and is being compressed: show its row as compressing.
    virtual void TaskStarted(int taskId) = 0;
    // The task's output is written; the record holds its path and both sizes.
    virtual void TaskDone(int taskId, ImageDoneRecord record) = 0;
    // The task failed, for the reason given (one line, for the user); nothing was written under
    // an output name.
    virtual void TaskFailed(int taskId, const QString& reason) = 0;
    // ImageEngine::Cancel stopped the task; nothing it wrote is left.
    virtual void TaskCancelled(int taskId) = 0;
};
