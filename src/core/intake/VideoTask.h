// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "core/intake/VideoInfo.h"

// The record of one row of the video or image list, keyed by its task id. Intake fills it; the
// engines read it and never change it, so a row compressed again starts from the same source.
struct VideoTask : VideoInfo {
    QString fileName;      // the name with its extension
    QString reservedText;  // unused
    QString filePath;      // full path of the source file
    QString fileDir;       // the folder: with a trailing "/" from the file dialog, as chosen from a
                           // folder scan
    // The folder the user added that holds the file (the output tree below it is kept when
    // outputs go to the output folder with the tree); empty for a file added by itself.
    QString addedRoot;
};

// Image rows use the same record; only the file fields are filled.
using ImageTask = VideoTask;
