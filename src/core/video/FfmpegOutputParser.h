// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <vector>

// What ffmpeg's console output tells about a running encode.
struct FfmpegEvent {
    enum class Kind {
        Duration,  // the source's "Duration:" was read; ms holds it
        Progress,  // a "time=" value was read; ms holds it, percent the share of the duration
        Failed,    // "Conversion failed" was read
        Done,      // "muxing overhead:" was read (the encoder finished writing its output)
    };
    Kind kind;
    qint64 ms = 0;
    int percent = 0;

    bool operator==(const FfmpegEvent&) const = default;
};

// Turns ffmpeg's console output, fed in chunks as they are read, into events. Pure: no I/O, no
// clock of its own (the caller passes the time), so it is tested on recorded output.
//
// Output is handled line by line (ffmpeg ends progress lines with "\r", others with "\n"); an
// unfinished line is kept for the next chunk, so a value or marker cut by a read boundary is
// still found whole. Each Feed reports at most one progress event, for the first complete
// "time=" of the chunk, and none sooner than progressIntervalMs after the last one reported.
// Percentages are 0 while no duration above 0 is known and never leave 0 to 100.
class FfmpegOutputParser {
public:
    explicit FfmpegOutputParser(qint64 progressIntervalMs = 1000);

    std::vector<FfmpegEvent> Feed(QByteArrayView chunk, qint64 nowMs);
    // The output has ended: reads a last line that has no line end.
    std::vector<FfmpegEvent> Finish(qint64 nowMs);

    bool DurationKnown() const { return durationKnown_; }
    qint64 DurationMs() const { return durationMs_; }
    bool DoneSeen() const { return doneSeen_; }
    // The last "time=" position read, reported or not (how much was encoded); 0 for none.
    qint64 LastTimeMs() const { return lastTimeMs_; }
    bool FailedSeen() const { return failedSeen_; }
    // The first line that says a write of the output failed for lack of room (no space left,
    // a file size limit, a quota), as ffmpeg or an encoder printed it; empty when none did.
    // What follows such a line (an encoder's closing statistics) explains nothing.
    const QByteArray& WriteError() const { return writeError_; }

    // A time as ffmpeg prints it, HH:MM:SS.cc, in milliseconds: hours × 3600000 + minutes ×
    // 60000 + seconds × 1000, plus the digits after the "." as they stand (as the program has
    // always read them: "30.50" gives 30050). Each part is read like atoi: a part that is not a
    // number counts 0 ("N/A" gives 0); a leading "-" gives a negative time.
    static qint64 ParseClock(QByteArrayView text);

    // timeMs of durationMs in percent, computed in single precision and truncated, kept within
    // 0 to 100; 0 when durationMs is not above 0.
    static int Percent(qint64 timeMs, qint64 durationMs);

private:
    void ParseLine(QByteArrayView line, qint64 nowMs, bool& progressReported,
                   std::vector<FfmpegEvent>& events);

    qint64 progressIntervalMs_;
    QByteArray tail_;  // the unfinished last line of what was read so far
    bool durationKnown_ = false;
    qint64 durationMs_ = 0;
    bool anyProgress_ = false;
    qint64 lastProgressMs_ = 0;
    qint64 lastTimeMs_ = 0;
    bool doneSeen_ = false;
    bool failedSeen_ = false;
    QByteArray writeError_;
};
