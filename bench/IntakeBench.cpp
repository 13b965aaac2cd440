// SPDX-License-Identifier: GPL-3.0-or-later
// Prints how long adding a folder of small videos takes through the main window, per file, and
// the share of that time spent in ffprobe itself (ffprobe run alone on the same files, in the
// same invocation, as the baseline).
#include <unistd.h>
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

#include "core/app/Paths.h"
#include "gui/app/MainWnd.h"
#include "gui/platform/Shell.h"
#include "gui/skinlib/SkinBuilder.h"
#include "gui/skinlib/SkinList.h"

namespace {

class FolderShell : public Shell {
public:
    explicit FolderShell(QString folder) : folder_(std::move(folder)) {}
    QString ChooseFolder(QWidget*, const QString&) override { return folder_; }

private:
    QString folder_;
};

bool MakeClip(const QString& path, int index)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg",
                 {"-v", "error", "-y", "-f", "lavfi", "-i",
                  QStringLiteral("testsrc=size=96x64:rate=25:duration=%1").arg(1 + index % 3), "-f",
                  "lavfi", "-i", "sine=duration=1", "-shortest", "-c:v", "mpeg4", path});
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 50;

    const QString folder = home.path() + "/videos";
    QDir().mkpath(folder);
    std::printf("making %d clips...\n", count);
    QStringList files;
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("%1/clip%2.mp4").arg(folder).arg(i, 3, 10, QChar('0'));
        if (!MakeClip(path, i)) {
            std::fprintf(stderr, "cannot make %s\n", qPrintable(path));
            return 1;
        }
        files << path;
    }

    skin::SetSkinFolder(ExecutableFolder() + "skin");
    skin::LoadResources();
    FolderShell shell(folder);
    Shell::SetInstance(&shell);
    auto* window = new CMainWnd;
    window->Create();
    window->show();

    // Diagnostics of the probe go to stdout; keep the figures readable.
    std::fflush(stdout);
    FILE* saved = std::fopen("/dev/null", "w");
    const int stdoutCopy = dup(fileno(stdout));
    dup2(fileno(saved), fileno(stdout));
    QElapsedTimer timer;
    timer.start();
    window->FindControl<QAbstractButton>("add-video-dir")->click();
    const qint64 intakeMs = timer.elapsed();
    std::fflush(stdout);
    dup2(stdoutCopy, fileno(stdout));

    const int rows = window->FindControl<SkinList>("videoList")->Count();
    timer.restart();
    const QString ffprobe = FindTool("ffprobe");
    for (const QString& path : files) {
        QProcess probe;
        probe.start(ffprobe,
                    {"-v", "quiet", "-show_streams", "-show_entries",
                     "format=duration,size,bit_rate,filename", "-print_format", "json", path});
        probe.waitForFinished(3000);
    }
    const qint64 probeMs = timer.elapsed();

    std::printf("files:                  %d (rows made: %d)\n", count, rows);
    std::printf("add folder, total:      %lld ms\n", static_cast<long long>(intakeMs));
    std::printf("add folder, per file:   %.1f ms\n", double(intakeMs) / count);
    std::printf("ffprobe alone, total:   %lld ms\n", static_cast<long long>(probeMs));
    std::printf("share spent in ffprobe: %.0f %%\n", intakeMs ? 100.0 * probeMs / intakeMs : 0.0);
    delete window;
    Shell::SetInstance(nullptr);
    return rows == count ? 0 : 1;
}
