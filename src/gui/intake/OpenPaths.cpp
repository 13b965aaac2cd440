// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/intake/OpenPaths.h"

#include <QFileInfo>
#include <QUrl>

#include <vector>

#include "core/intake/FileCheck.h"
#include "core/intake/MediaScan.h"
#include "gui/intake/ImageIntake.h"
#include "gui/intake/VideoIntake.h"

OpenedPath ClassifyOpenedPath(const QString& path)
{
    const QFileInfo entry(path);
    OpenedPath opened;
    opened.path = entry.absoluteFilePath();
    opened.refused.name = path;
    if (!entry.exists()) {
        // Named by bytes that are not UTF-8, or by a path too long to open: said so.
        if (NotTaken unusable = UnusablePath(path); !unusable.reason.isEmpty())
            opened.refused = std::move(unusable);
        else
            opened.refused.reason = QStringLiteral("no such file or folder");
        return opened;
    }
    if (entry.isDir()) {
        opened.kind = OpenedPath::Kind::Folder;
        return opened;
    }
    // A pipe or a device is never opened to look at what it holds.
    if (const QString special = NotRegularFileReason(opened.path); !special.isEmpty()) {
        opened.refused.reason = special;
        return opened;
    }
    const SourceType type = DetectSourceType(opened.path);
    if (type.kind == SourceType::Kind::Video)
        opened.kind = OpenedPath::Kind::Video;
    else if (type.kind == SourceType::Kind::Image)
        opened.kind = OpenedPath::Kind::Image;
    else
        opened.refused.reason = type.reason;
    return opened;
}

MediaKind AddOpenedPaths(const QStringList& paths, VideoIntake& videos, ImageIntake& images)
{
    MediaKind first = MediaKind::None;
    const auto note = [&first](MediaKind kind) {
        if (first == MediaKind::None) first = kind;
    };
    QStringList videoRun;
    const auto flushVideos = [&] {
        videos.AddFiles(videoRun);
        videoRun.clear();
    };
    std::vector<NotTaken> notTaken;
    for (const QString& path : paths) {
        OpenedPath opened = ClassifyOpenedPath(path);
        switch (opened.kind) {
            case OpenedPath::Kind::NotTaken:
                notTaken.push_back(std::move(opened.refused));
                break;
            case OpenedPath::Kind::Folder:
                flushVideos();
                if (!ScanFolderForVideos(opened.path).isEmpty())
                    note(MediaKind::Video);
                else if (!ScanFolderForImages(opened.path).isEmpty())
                    note(MediaKind::Image);
                videos.AddFolder(opened.path);
                images.AddFolder(opened.path);
                break;
            case OpenedPath::Kind::Video:
                note(MediaKind::Video);
                videoRun << opened.path;
                break;
            case OpenedPath::Kind::Image:
                note(MediaKind::Image);
                images.AddFiles({opened.path});
                break;
        }
    }
    flushVideos();
    if (!notTaken.empty()) videos.ReportNotTaken(notTaken);
    return first;
}

QStringList PathsFromArguments(const QStringList& arguments)
{
    QStringList paths;
    for (const QString& argument : arguments) {
        if (argument.isEmpty() || argument.startsWith(u'-')) continue;
        const QString path =
            argument.startsWith(QLatin1String("file://")) ? QUrl(argument).toLocalFile() : argument;
        if (!path.isEmpty()) paths << QFileInfo(path).absoluteFilePath();
    }
    return paths;
}
