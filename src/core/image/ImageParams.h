// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include "core/app/OutputPlace.h"

// The parameters of one image compression run: what the image worker sampled when the task
// started. A run reads its own copy and nobody changes it while the run lasts.
struct ImageParams {
    QString sourcePath;         // full path of the source file (the row's filePath)
    QString outputDir;          // output folder resolved when the task started
    int compressType = 0;       // strength: 0 general, 1 deep, 2 limit ("image-compress-type")
    int imageType = 0;          // 0 keeps the source format, 2 WebP, 3 AVIF, any other JPEG
    int task_id = 0;            // the row's task id
    QString tempDir;            // the per-user temporary folder
    int ratioIndex = 0;         // scale choice 1..5 keeps 90..50 % of the width; others keep it
    int defineParam = 0;        // non-zero: the custom width and height apply
    int width = 0;              // custom maximum width in pixels
    int height = 0;             // custom maximum height in pixels
    int gifDefineParam = 0;     // non-zero: GIF frame dropping applies
    int gifDropFrameIndex = 0;  // frame dropping choice 0..4
    QString identifyPath;       // the image identifier program; empty when there is none
    bool keepSmaller = false;   // an encoding not smaller than the source is not saved
    // JPEG, WebP and AVIF outputs of one frame: the quality is searched (ImageLook.h), for the
    // strength's look, or for the largest file under maxBytes (> 0, which takes precedence).
    bool look = false;
    qint64 maxBytes = 0;
    bool keepDates = false;  // the output takes the source's file times
    // The output keeps the source's photo information (see PhotoInfo.h); its location only
    // with keepLocation as well.
    bool keepPhotoInfo = false;
    bool keepLocation = false;
    // Where the output goes (core/app/OutputPlace.h), and the folder the user added that holds
    // the source (the tree below it is kept in the output folder); empty for a file added alone.
    PlaceChoice place;
    QString addedRoot;
};

// The result of a successful run, handed to the UI thread.
struct ImageDoneRecord {
    int task_id = 0;
    QString outputPath;     // the written file
    qint64 sourceSize = 0;  // bytes of the source when the run read it
    qint64 outputSize = 0;  // bytes written
    // keepSmaller and the encoding was not smaller than the source: nothing was written,
    // outputPath is empty and outputSize 0.
    bool sourceKept = false;
    // A searched quality (look or maxBytes): the quality written, 0 when none was searched;
    // the picture's scale in percent, and the luma SSIM of the written picture (look only).
    int searchedQuality = 0;
    int scalePercent = 100;
    double ssim = 0;
    // In place of the source: the output took the source's name and the original went to the
    // trash; freedBytes is sourceSize - outputSize, the space the disk got back.
    bool replacedSource = false;
    qint64 freedBytes = 0;
};
