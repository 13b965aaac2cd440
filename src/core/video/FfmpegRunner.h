// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <stop_token>

#include "core/video/FfmpegOutputParser.h"

// How one encoder run ended.
struct FfmpegOutcome {
    enum class Kind {
        Done,     // "muxing overhead:" seen, the encoder exited with status 0, no write error
        Failed,   // anything else: not startable, an error status, a crash, no success marker
        Stopped,  // ended by the run's stop token
    };
    Kind kind = Kind::Failed;
    QString reason;  // for Failed: why, with ffmpeg's last message when there is one
    bool started = false;
    bool doneMarkerSeen = false;
    bool normalExit = false;
    int exitCode = -1;
    qint64 processId = 0;
    qint64 durationMs = 0;  // the source duration ffmpeg printed, 0 when none
    qint64 encodedMs = 0;   // the last position ffmpeg printed ("time="), 0 when none
};

// Runs one ffmpeg child through platform::ChildProcess and reads its console output while it
// runs. The child gets an argument vector (no shell), /dev/null as its standard input (so it
// never reads a terminal's keys or changes its settings), and its standard output and error
// merged into one pipe. It inherits no descriptor beyond the standard three.
//
// Threads: Run blocks the calling thread, which owns the child from start to reaping. The run
// is stopped through the stop token given to Run, which may be requested from any thread.
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
    // How long a stopped child may take to end after SIGTERM before it is killed (default
    // 3000 ms); read when a run starts its child.
    void SetStopGrace(int ms);

    // Starts the program, reports its process id through started (before any output is read),
    // feeds its output to the parser and hands each event to onEvent as it is found, and returns
    // once the child has ended and been reaped. Both handlers run on the calling thread.
    //
    // stop ends the run: requested before the child starts, the child is never started; while
    // it runs, it is sent SIGTERM and, when it has not ended within the stop grace, SIGKILL.
    // A run whose stop was requested returns Stopped.
    FfmpegOutcome Run(const QString& program, const QStringList& arguments,
                      const StartHandler& started, const EventHandler& onEvent,
                      std::stop_token stop = {});

private:
    int silenceLimitMs_ = kDefaultSilenceLimitMs;
    qint64 progressIntervalMs_ = 1000;
    std::atomic<int> stopGraceMs_{3000};
};
