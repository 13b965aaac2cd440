// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include "core/intake/VideoTask.h"

// What the intake accepts and how it names things, apart from any window.

// "视频文件(...)" with the 24 extensions, as the file dialog offers them.
QString VideoDialogFilter();

// The extension of a folder entry as the scan reads it: the text after the last "."; empty when
// the name has no "." or the extension is 20 characters or longer.
QString EntryExtension(const QString& name);

// True for one of the 24 video extensions in any case ("mp4", "MP4", "Mp4").
bool IsVideoExtension(const QString& extension);

// The names in folder, files and subfolders alike (no recursion), in name order; those whose
// extension is a video extension. Empty when the folder cannot be read.
QStringList ScanFolderForVideos(const QString& folder);

// "支持图片格式(...)" with the ten image extensions, as the file dialog offers them.
QString ImageDialogFilter();
// True for bmp, jpg, jpeg, jpe, png, gif, webp, heic, heif, avif, tif and tiff in any case.
bool IsImageExtension(const QString& extension);
// As ScanFolderForVideos, for images.
QStringList ScanFolderForImages(const QString& folder);

// What a file the user named (an argument, a drop, "open with") is, told by its content and
// MIME type as shared-mime-info knows them, not by its name: a video (anything ffmpeg is handed:
// a video/ type, Matroska, ASF, RealMedia, MXF, Ogg, an HLS playlist), an image in a format the
// image engine reads, or neither. Content nothing recognises (or an empty file) falls back on
// the extension, which the engines then judge.
struct SourceType {
    enum class Kind { None, Video, Image };
    Kind kind = Kind::None;
    QString imageExtension;  // an image: its format's usual extension ("jpg", "png", "tiff", ...)
    QString reason;          // None: why the file is not taken
};
SourceType DetectSourceType(const QString& path);

// A record for the file name in folder dir: fileName, fileDir (as given) and filePath, and
// addedRoot, the folder the user added that holds it (empty for a file added by itself).
VideoTask MakeVideoTask(const QString& dir, const QString& name, const QString& addedRoot = {});

// "%02d:%02d:%02d" of the whole seconds of a duration; a negative duration shows 00:00:00.
QString FormatDuration(double seconds);
