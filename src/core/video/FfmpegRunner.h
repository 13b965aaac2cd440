#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <functional>
#include <mutex>

#include "core/video/FfmpegOutputParser.h"

// How one encoder run ended.
struct FfmpegOutcome {
    enum class Kind {
        Done,     // "muxing overhead:" seen, the encoder exited with status 0, no write error
        Failed,   // anything else: not startable, an error status, a crash, no success marker
        Stopped,  // ended by Stop
    };
    Kind kind = Kind::Failed;
    QString reason;  // for Failed: why, with ffmpeg's last message when there is one
    bool started = false;
    bool doneMarkerSeen = false;
    bool normalExit = false;
    int exitCode = -1;
    qint64 processId = 0;
    qint64 durationMs = 0;  // the source duration ffmpeg printed, 0 when none
};

// Runs one ffmpeg child and reads its console output while it runs. The child gets an argument
// vector (no shell), /dev/null as its standard input (so it never reads a terminal's keys or
// changes its settings), and its standard output and error merged into one pipe. It inherits no
// descriptor beyond the standard three.
//
// Threads: Run blocks the calling thread, which owns the child from start to reaping. Stop may
// be called from any other thread.
class FfmpegRunner {
public:
    using StartHandler = std::function<void(qint64 processId)>;
    using EventHandler = std::function<void(const FfmpegEvent&)>;

    // An encoder that prints nothing for this long is taken as hung: it is killed and the run
    // fails. ffmpeg prints its progress line twice a second while it works.
    static constexpr int kDefaultSilenceLimitMs = 300000;

    FfmpegRunner() = default;
    FfmpegRunner(const FfmpegRunner&) = delete;
    FfmpegRunner& operator=(const FfmpegRunner&) = delete;

    void SetSilenceLimit(int ms) { silenceLimitMs_ = ms; }
    void SetProgressInterval(qint64 ms) { progressIntervalMs_ = ms; }

    // Starts the program, reports its process id through started (before any output is read),
    // feeds its output to the parser and hands each event to onEvent as it is found, and returns
    // once the child has ended and been reaped. Both handlers run on the calling thread.
    FfmpegOutcome Run(const QString& program, const QStringList& arguments,
                      const StartHandler& started, const EventHandler& onEvent);

    // Ends the run: a child not yet started is never started; a running child is asked to end
    // (SIGTERM) and killed (SIGKILL) when it has not ended within graceMs. Returns once the
    // child has ended or the kill was sent; Run then returns Stopped. Later runs of this runner
    // are stopped at once.
    void Stop(int graceMs);
    bool StopRequested() const;

private:
    void Signal(int signal);  // with mutex_ held

    int silenceLimitMs_ = kDefaultSilenceLimitMs;
    qint64 progressIntervalMs_ = 1000;

    mutable std::mutex mutex_;
    std::condition_variable childEnded_;
    bool stopRequested_ = false;
    bool childRunning_ = false;
    int pidfd_ = -1;  // refers to the running child even after its id is reused
    qint64 processId_ = 0;
};
