// SPDX-License-Identifier: GPL-3.0-or-later
// Compresses a batch of short clips through the video engine, then runs the same command lines
// directly with ffmpeg, one after another, and prints the ratio of the two wall times (what the
// engine adds: settings, naming, reading the output, the hand-over to the UI thread and back)
// and the delay from each encoder's exit to its done report reaching the UI thread.
//
// Usage: video_bench [clips, default 10] [seconds per clip, default 3] [rounds, default 3]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#include "core/app/AppConfig.h"
#include "core/app/Paths.h"
#include "core/app/Settings.h"
#include "core/intake/MediaProbe.h"
#include "core/platform/ChildProcess.h"
#include "core/video/VideoEngine.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Command {
    QString program;
    QStringList arguments;
};

// Records each encoder's command line and the moment it exits (watched through a pidfd, which
// turns readable when the child ends, before anyone reaps it), and hands each result to the
// main thread as the main window does.
class BenchSink : public QObject, public VideoEngineSink {
public:
    explicit BenchSink(int expected) : expected_(expected) {}
    void Attach(VideoEngine& engine) { engine_ = &engine; }
    ~BenchSink() override
    {
        for (std::thread& watcher : watchers_) watcher.join();
    }

    void TaskStarted(int) override {}
    void TaskProgress(int, int) override {}
    void EncoderStarted(int taskId, qint64 processId, const QString& program,
                        const QStringList& arguments) override
    {
        const int fd =
            static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(processId), 0));
        std::lock_guard guard(mutex_);
        commands_[taskId] = {program, arguments};
        if (fd < 0) return;
        watchers_.emplace_back([this, taskId, fd] {
            pollfd entry{fd, POLLIN, 0};
            while (::poll(&entry, 1, -1) < 0 && errno == EINTR) {
            }
            const Clock::time_point ended = Clock::now();
            ::close(fd);
            std::lock_guard guard(mutex_);
            exited_[taskId] = ended;
        });
    }
    void TaskDone(const VideoDoneRecord& record) override { Post(record.taskId, true); }
    void TaskCancelled(int taskId) override { Post(taskId, false); }
    void TaskFailed(const VideoFailRecord& record) override
    {
        std::fprintf(stderr, "task %d failed: %s\n", record.taskId, qPrintable(record.reason));
        Post(record.taskId, false);
    }

    std::map<int, Command> Commands() const
    {
        std::lock_guard guard(mutex_);
        return commands_;
    }
    // Exit-to-UI delays in ms of the tasks whose exit was seen.
    std::vector<double> Delays() const
    {
        std::lock_guard guard(mutex_);
        std::vector<double> delays;
        for (const auto& [id, handled] : handled_)
            if (const auto it = exited_.find(id); it != exited_.end())
                delays.push_back(Ms(handled - it->second));
        return delays;
    }
    int Failures() const { return failures_; }
    Clock::time_point LastHandled() const { return lastHandled_; }

private:
    void Post(int taskId, bool done)
    {
        QMetaObject::invokeMethod(
            this,
            [this, taskId, done] {
                const Clock::time_point now = Clock::now();
                {
                    std::lock_guard guard(mutex_);
                    handled_[taskId] = now;
                }
                if (!done) ++failures_;
                engine_->Release(taskId);
                lastHandled_ = now;
                if (++finished_ % expected_ == 0) QCoreApplication::quit();
            },
            Qt::QueuedConnection);
    }

    VideoEngine* engine_ = nullptr;
    const int expected_;
    int finished_ = 0;
    int failures_ = 0;
    Clock::time_point lastHandled_;
    mutable std::mutex mutex_;
    std::map<int, Command> commands_;
    std::map<int, Clock::time_point> exited_;
    std::map<int, Clock::time_point> handled_;
    std::vector<std::thread> watchers_;
};

bool Run(const QString& program, const QStringList& arguments)
{
    const auto result = platform::RunCapture(program, arguments, 600000, 64 << 20);
    if (!result.Succeeded()) std::fprintf(stderr, "%s\n", result.output.right(500).constData());
    return result.Succeeded();
}

}  // namespace

int main(int argc, char** argv)
{
    const int clips = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;

    // A private home: the engine reads its settings and output folder from there.
    QTemporaryDir work(QDir::tempPath() + "/video-bench-XXXXXX");
    const QString home = work.path() + "/home";
    QDir().mkpath(home + "/.config");
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + "/.config").toUtf8());
    QCoreApplication app(argc, argv);

    const QString ffmpeg = FindTool("ffmpeg");
    if (ffmpeg.isEmpty()) {
        std::fprintf(stderr, "video_bench: ffmpeg not found\n");
        return 2;
    }
    const QString sources = work.path() + "/sources";
    const QString engineOut = work.path() + "/engine-out";
    const QString directOut = work.path() + "/direct-out";
    for (const QString& folder : {sources, engineOut, directOut}) QDir().mkpath(folder);
    WriteSetting(settings::kOutputDir, engineOut);

    std::printf("making %d clips of %d s (320x240, h264 + aac)\n", clips, seconds);
    // The engine's and the prober's diagnostics would bury the figures: they go to /dev/null
    // until the figures are printed.
    std::fflush(stdout);
    const int savedStdout = ::dup(STDOUT_FILENO);
    if (FILE* null = std::fopen("/dev/null", "w")) {
        ::dup2(::fileno(null), STDOUT_FILENO);
        std::fclose(null);
    }
    const QString first = sources + "/clip01.mp4";
    if (!Run(ffmpeg, {"-v",
                      "error",
                      "-y",
                      "-f",
                      "lavfi",
                      "-i",
                      QString("testsrc2=size=320x240:rate=25:duration=%1").arg(seconds),
                      "-f",
                      "lavfi",
                      "-i",
                      QString("sine=duration=%1").arg(seconds),
                      "-c:v",
                      "libx264",
                      "-preset",
                      "veryfast",
                      "-b:v",
                      "800k",
                      "-c:a",
                      "aac",
                      first}))
        return 1;
    // The engine reads its settings as the window's reader does: the store's keys and folder.
    BenchSink sink(clips);
    VideoEngine engine(sink, [] {
        VideoSettings values;
        values.settings = ReadCompressSettings(AppConfig::Path());
        values.outputFolder = GetOutputFolder();
        return values;
    });
    sink.Attach(engine);
    std::vector<int> ids;
    for (int i = 1; i <= clips; ++i) {
        const QString name = QString("clip%1.mp4").arg(i, 2, 10, QChar('0'));
        if (i > 1) QFile::copy(first, sources + "/" + name);
        VideoTask task;
        if (!ProbeVideo(sources + "/" + name, task)) {
            std::fprintf(stderr, "video_bench: cannot probe %s\n", qPrintable(name));
            return 1;
        }
        task.fileName = name;
        task.filePath = sources + "/" + name;
        task.fileDir = sources;
        engine.AddTask(i, task);
        ids.push_back(i);
    }
    Run(ffmpeg, {"-version"});  // the encoder's files in the page cache for both runs

    // Alternating rounds, the best of each side: the machine's other load varies.
    engine.Start();
    double engineMs = 0;
    double directMs = 0;
    for (int round = 0; round < rounds; ++round) {
        const Clock::time_point engineStart = Clock::now();
        engine.EnqueueAll(ids);
        app.exec();
        const double roundEngine = Ms(sink.LastHandled() - engineStart);
        if (sink.Failures() > 0) {
            std::fprintf(stderr, "video_bench: %d tasks failed\n", sink.Failures());
            return 1;
        }

        // The command lines of this round, writing into a folder of their own.
        QDir(directOut).removeRecursively();
        QDir().mkpath(directOut);
        const Clock::time_point directStart = Clock::now();
        for (const auto& [id, command] : sink.Commands()) {
            QStringList arguments = command.arguments;
            arguments.last() = directOut + "/" + QFileInfo(arguments.last()).fileName();
            if (!Run(command.program, arguments)) return 1;
        }
        const double roundDirect = Ms(Clock::now() - directStart);
        engineMs = round == 0 ? roundEngine : std::min(engineMs, roundEngine);
        directMs = round == 0 ? roundDirect : std::min(directMs, roundDirect);
    }
    engine.Stop();

    std::fflush(stdout);
    ::dup2(savedStdout, STDOUT_FILENO);
    ::close(savedStdout);

    std::vector<double> delays = sink.Delays();
    std::sort(delays.begin(), delays.end());
    const double mean =
        delays.empty() ? 0 : std::accumulate(delays.begin(), delays.end(), 0.0) / delays.size();

    std::printf("engine: %d clips in %.0f ms (from enqueue to the last release; best of %d)\n",
                clips, engineMs, rounds);
    std::printf("direct: %d clips in %.0f ms (same command lines, one after another; best of %d)\n",
                clips, directMs, rounds);
    std::printf("ratio engine/direct: %.3f (target <= 1.05)\n", engineMs / directMs);
    if (!delays.empty())
        std::printf(
            "encoder exit to done handled on the UI thread: min %.1f, median %.1f, "
            "mean %.1f, max %.1f ms over %zu tasks (target < 100 ms)\n",
            delays.front(), delays[delays.size() / 2], mean, delays.back(), delays.size());
    return 0;
}
