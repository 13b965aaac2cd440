#include "gui/intake/OpenPaths.h"

#include <QFileInfo>
#include <QUrl>

#include <vector>

#include "core/intake/FileCheck.h"
#include "core/intake/MediaScan.h"
#include "gui/intake/ImageIntake.h"
#include "gui/intake/VideoIntake.h"

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
        const QFileInfo entry(path);
        // Named by bytes that are not UTF-8, or by a path too long to open: said, not dropped.
        if (!entry.exists()) {
            if (NotTaken unusable = UnusablePath(path); !unusable.reason.isEmpty())
                notTaken.push_back(std::move(unusable));
            continue;
        }
        if (entry.isDir()) {
            const QString folder = entry.absoluteFilePath();
            flushVideos();
            if (!ScanFolderForVideos(folder).isEmpty())
                note(MediaKind::Video);
            else if (!ScanFolderForImages(folder).isEmpty())
                note(MediaKind::Image);
            videos.AddFolder(folder);
            images.AddFolder(folder);
            continue;
        }
        if (!entry.isFile()) continue;
        const QString extension = EntryExtension(entry.fileName()).toLower();
        if (IsVideoExtension(extension)) {
            note(MediaKind::Video);
            videoRun << entry.absoluteFilePath();
        } else if (IsImageExtension(extension)) {
            note(MediaKind::Image);
            images.AddFiles({entry.absoluteFilePath()});
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
