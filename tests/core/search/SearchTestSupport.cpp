// SPDX-License-Identifier: GPL-3.0-or-later
#include "SearchTestSupport.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include "core/app/Paths.h"
#include "core/intake/MediaProbe.h"
#include "core/intake/MediaScan.h"
#include "core/platform/ChildProcess.h"
#include "core/search/Ssim.h"
#include "core/search/VideoLook.h"

namespace searchtest {

std::string ProbeList(const search::SearchResult& result, int stepsPerUnit)
{
    std::string text = result.error.toStdString();
    for (const search::Probe& probe : result.probes)
        text += " " +
                QString::number(double(probe.setting) / std::max(stepsPerUnit, 1)).toStdString() +
                "=" + std::to_string(probe.measured.value);
    return text;
}

bool RunQuietly(const QString& program, const QStringList& arguments)
{
    return platform::RunCapture(program, arguments, 300000, 1 << 22).Succeeded();
}

bool MakeClip(const QString& path, Clip clip, double seconds, const QString& size, bool withSound)
{
    const QString length = QString::number(seconds);
    QString video;
    switch (clip) {
        case Clip::Grain:
            video = QStringLiteral("testsrc2=size=%1:rate=25:duration=%2,noise=alls=18:allf=t")
                        .arg(size, length);
            break;
        case Clip::Screen:
            video = QStringLiteral("testsrc=size=%1:rate=25:duration=%2").arg(size, length);
            break;
        case Clip::Zoom:
            video = QStringLiteral("mandelbrot=size=%1:rate=25,trim=duration=%2").arg(size, length);
            break;
        case Clip::Text: {
            QFile lines(path + ".txt");
            if (!lines.open(QIODevice::WriteOnly)) return false;
            for (int i = 1; i <= 200; ++i)
                lines.write(
                    QStringLiteral("    const int value%1 = Compute(table[%1], offset + %2);"
                                   " // line %1 of the list\n")
                        .arg(i)
                        .arg(i * 7 % 13)
                        .toUtf8());
            video = QStringLiteral(
                        "color=c=0xf4f4f4:size=%1:rate=30:duration=%2,drawtext=fontfile=/usr/"
                        "share/fonts/truetype/dejavu/DejaVuSansMono.ttf:textfile=%3:expansion="
                        "none:fontsize=10:fontcolor=0x202020:x=8:y=8-t*60:line_spacing=2")
                        .arg(size, length, lines.fileName());
            break;
        }
    }
    QStringList arguments{"-v", "error", "-y", "-f", "lavfi", "-i", video};
    if (withSound)
        arguments << "-f"
                  << "lavfi"
                  << "-i"
                  << "sine=frequency=440:duration=" + length << "-c:a"
                  << "aac"
                  << "-shortest";
    arguments << "-c:v"
              << "libx264"
              << "-preset"
              << "ultrafast"
              << "-crf"
              << "6"
              << "-pix_fmt"
              << "yuv420p" << path;
    const bool made = RunQuietly(FindTool(QStringLiteral("ffmpeg")), arguments);
    QFile::remove(path + ".txt");
    return made;
}

CommandPlan LookPlan(const QString& path, int codec)
{
    const QFileInfo file(path);
    VideoTask task = MakeVideoTask(file.absolutePath() + "/", file.fileName());
    ProbeVideo(task.filePath, task);
    CompressSettings values;
    values.videoType = 1;  // MP4
    values.codec = codec;
    MainPageSnapshot page;
    page.qualityMode = true;
    return PlanCommand(task, values, page);
}

double FileSsim(const QString& encoded, const QString& source)
{
    const auto run = platform::RunCapture(FindTool(QStringLiteral("ffmpeg")),
                                          search::SsimArguments(encoded, source), 300000, 1 << 22);
    const auto figures = search::ParseSsimReport(run.output);
    return run.Succeeded() && figures ? figures->luma : -1;
}

}  // namespace searchtest
