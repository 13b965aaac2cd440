// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <QtGlobal>
#include "core/app/OutputPlace.h"

#include <functional>

// The main page's image controls the worker reads, as the UI thread last saw them.
struct ImagePageFields {
    QString widthText;         // the "image-width" field as typed
    QString heightText;        // the "image-height" field as typed
    bool defineParam = false;  // the "image-define-param" check box

    bool operator==(const ImagePageFields&) const = default;
};

// What the image engine compresses a task with, read when the task starts (see ImageEngine).
struct ImageSettings {
    int compressType = 0;       // "image-compress-type"
    int imageType = 0;          // "image-type"
    int ratioIndex = 0;         // "image-ratio-index"
    int gifDefineParam = 0;     // "gif-define-param"
    int gifDropFrameIndex = 0;  // "gif-drop-frame-index"
    bool keepSmaller = false;   // "keep-smaller": an output not smaller than its source is dropped
    bool look = false;          // "look": the quality is searched for the strength's look
    qint64 maxBytes = 0;        // "max-size": the output fits under this; 0 for no limit
    bool keepDates = false;     // "keep-dates": the output takes the source's file times
    // "keep-photo-info": EXIF, XMP and PNG text kept; "keep-location": with the location.
    bool keepPhotoInfo = false;
    bool keepLocation = false;
    PlaceChoice place;  // "place" and "place-suffix"
    ImagePageFields page;
    QString outputFolder;  // an existing folder, no trailing "/" (see ResolveOutputFolder)

    bool operator==(const ImageSettings&) const = default;
};

// Hands the engine the values a task starts with; called on the engine's worker thread.
using ImageSettingsReader = std::function<ImageSettings()>;

// The nine keys above from section "global" of the ini file at iniPath, which is only read; a
// missing key or file, or a value the table does not allow (see Settings.h), gives the settings
// table's default. The page and the folder stay empty.
ImageSettings ReadImageSettings(const QString& iniPath);
