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

// True for one of the 24 video extensions spelt all in lower or all in upper case ("mp4",
// "MP4"); any other spelling ("Mp4") is not a video.
bool IsVideoExtension(const QString& extension);

// The names in folder, files and subfolders alike (no recursion), in name order; those whose
// extension is a video extension. Empty when the folder cannot be read.
QStringList ScanFolderForVideos(const QString& folder);

// "支持图片格式(...)" with the ten image extensions, as the file dialog offers them.
QString ImageDialogFilter();
// True for bmp, jpg, png, gif, webp, heic, heif, avif, tif and tiff spelt all in lower or all in
// upper case ("jpeg" is not accepted).
bool IsImageExtension(const QString& extension);
// As ScanFolderForVideos, for images.
QStringList ScanFolderForImages(const QString& folder);

// A record for the file name in folder dir: fileName, fileDir (as given) and filePath.
VideoTask MakeVideoTask(const QString& dir, const QString& name);

// "%02d:%02d:%02d" of the whole seconds of a duration; a negative duration shows 00:00:00.
QString FormatDuration(double seconds);
