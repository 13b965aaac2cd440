// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include "core/intake/FileCheck.h"

class ImageIntake;
class VideoIntake;

// The kind of media a list of paths brought first.
enum class MediaKind { None, Video, Image };

// What one path named outside the file dialogs (an argument, a drop) is: a folder, a video or an
// image by its content and MIME type (core/intake/MediaScan.h), or something not taken, with the
// reason (no such file, not a regular file, a name that cannot be used, not a video or image).
struct OpenedPath {
    enum class Kind { Folder, Video, Image, NotTaken };
    Kind kind = Kind::NotTaken;
    QString path;      // absolute
    NotTaken refused;  // NotTaken: the name shown and the reason
};
OpenedPath ClassifyOpenedPath(const QString& path);

// Adds files and folders named outside the window (the command line, a second start): a video
// to the video list, an image to the image list, anything else named in the notice of files not
// taken; a folder gives its
// videos to the video list and its images to the image list, scanned as the folder buttons do.
// Video files that follow each other are read as one choice. A path that names a file only by
// bytes that are not UTF-8, or that is too long to open, is named in one notice of files not
// taken (see UnusablePath in core/intake/FileCheck.h). Returns the kind of the first path
// that brought anything (a folder counts as video when it holds videos), None when none did.
MediaKind AddOpenedPaths(const QStringList& paths, VideoIntake& videos, ImageIntake& images);

// The paths of a command line's arguments (without the program's name), made absolute against
// the current folder; "file://" addresses become paths; arguments starting with "-" (options)
// are skipped.
QStringList PathsFromArguments(const QStringList& arguments);
