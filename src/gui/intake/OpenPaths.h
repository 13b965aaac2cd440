#pragma once

#include <QStringList>

class ImageIntake;
class VideoIntake;

// The kind of media a list of paths brought first.
enum class MediaKind { None, Video, Image };

// Adds files and folders named outside the window (the command line, a second start): a video
// to the video list, an image to the image list, anything else left out; a folder gives its
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
