// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/video/FfmpegOutputParser.h"

#include <algorithm>
#include <limits>

namespace {

constexpr QByteArrayView kDuration("Duration:");
constexpr QByteArrayView kTime("time=");
constexpr QByteArrayView kFailed("Conversion failed");
constexpr QByteArrayView kDone("muxing overhead:");
// The system's words for a write that found no room, as ffmpeg prints them (in the C locale).
constexpr QByteArrayView kNoRoom[] = {"No space left on device", "File too large",
                                      "Disk quota exceeded"};

// A line longer than this without a line end is read as it stands, so a child that never ends
// its lines cannot make the kept tail grow without bound.
constexpr qsizetype kMaxLine = 64 * 1024;

// The value after a key: from its first non-blank up to the next blank, comma or line end.
QByteArrayView ValueAfter(QByteArrayView line, qsizetype from)
{
    while (from < line.size() && line[from] == ' ') ++from;
    qsizetype end = from;
    while (end < line.size() && line[end] != ' ' && line[end] != ',' && line[end] != '\t') ++end;
    return line.sliced(from, end - from);
}

// atoi on a piece: optional sign, then leading digits; saturates instead of overflowing.
qint64 LeadingNumber(QByteArrayView piece)
{
    qsizetype i = 0;
    while (i < piece.size() && (piece[i] == ' ' || piece[i] == '\t')) ++i;
    bool negative = false;
    if (i < piece.size() && (piece[i] == '-' || piece[i] == '+')) negative = piece[i++] == '-';
    constexpr qint64 kLimit = std::numeric_limits<qint64>::max() / 3600000 / 10;
    qint64 value = 0;
    for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i)
        value = std::min(kLimit, value * 10 + (piece[i] - '0'));
    return negative ? -value : value;
}

}  // namespace

FfmpegOutputParser::FfmpegOutputParser(qint64 progressIntervalMs)
    : progressIntervalMs_(progressIntervalMs)
{
}

qint64 FfmpegOutputParser::ParseClock(QByteArrayView text)
{
    // Split at ":" as strtok does (no empty pieces); the third piece splits at ".".
    std::vector<QByteArrayView> pieces;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ':') {
            if (i > start) pieces.push_back(text.sliced(start, i - start));
            start = i + 1;
        }
    }
    auto piece = [&](size_t n) { return n < pieces.size() ? pieces[n] : QByteArrayView(); };
    qint64 ms = LeadingNumber(piece(0)) * 3600000 + LeadingNumber(piece(1)) * 60000;
    const QByteArrayView seconds = piece(2);
    const qsizetype dot = seconds.indexOf('.');
    ms += LeadingNumber(dot < 0 ? seconds : seconds.first(dot)) * 1000;
    if (dot >= 0) ms += LeadingNumber(seconds.sliced(dot + 1));
    return ms;
}

int FfmpegOutputParser::Percent(qint64 timeMs, qint64 durationMs)
{
    if (durationMs <= 0 || timeMs <= 0) return 0;
    const float share = static_cast<float>(timeMs) / static_cast<float>(durationMs) * 100.0f;
    if (!(share < 100.0f)) return 100;
    return static_cast<int>(share);
}

std::vector<FfmpegEvent> FfmpegOutputParser::Feed(QByteArrayView chunk, qint64 nowMs)
{
    std::vector<FfmpegEvent> events;
    bool progressReported = false;
    tail_.append(chunk.data(), chunk.size());

    qsizetype start = 0;
    for (qsizetype i = 0; i < tail_.size(); ++i) {
        const char c = tail_[i];
        const bool lineEnd = c == '\r' || c == '\n' || c == '\0';
        if (lineEnd || i - start >= kMaxLine) {
            ParseLine(QByteArrayView(tail_).sliced(start, i - start), nowMs, progressReported,
                      events);
            start = lineEnd ? i + 1 : i;
        }
    }
    tail_.remove(0, start);
    return events;
}

std::vector<FfmpegEvent> FfmpegOutputParser::Finish(qint64 nowMs)
{
    std::vector<FfmpegEvent> events;
    bool progressReported = false;
    if (!tail_.isEmpty()) ParseLine(tail_, nowMs, progressReported, events);
    tail_.clear();
    return events;
}

void FfmpegOutputParser::ParseLine(QByteArrayView line, qint64 nowMs, bool& progressReported,
                                   std::vector<FfmpegEvent>& events)
{
    if (!durationKnown_) {
        if (const qsizetype at = line.indexOf(kDuration); at >= 0) {
            durationMs_ = ParseClock(ValueAfter(line, at + kDuration.size()));
            durationKnown_ = true;
            events.push_back({FfmpegEvent::Kind::Duration, durationMs_, 0});
        }
    }

    if (const qsizetype at = line.indexOf(kTime); at >= 0) {
        const QByteArrayView value = ValueAfter(line, at + kTime.size());
        if (value.size() >= 2 && value.contains(':')) lastTimeMs_ = ParseClock(value);
    }
    if (const qsizetype at = line.indexOf(kTime); at >= 0 && !progressReported) {
        const QByteArrayView value = ValueAfter(line, at + kTime.size());
        // "time=N/A" (nothing encoded yet) carries no position.
        const bool clock = value.size() >= 2 && value.contains(':');
        const bool due = !anyProgress_ || nowMs - lastProgressMs_ >= progressIntervalMs_;
        if (clock && due) {
            const qint64 ms = ParseClock(value);
            progressReported = true;
            anyProgress_ = true;
            lastProgressMs_ = nowMs;
            events.push_back({FfmpegEvent::Kind::Progress, ms, Percent(ms, durationMs_)});
        }
    }

    if (writeError_.isEmpty()) {
        for (const QByteArrayView words : kNoRoom)
            if (line.contains(words)) writeError_ = line.trimmed().toByteArray();
    }
    if (line.contains(kFailed)) {
        failedSeen_ = true;
        events.push_back({FfmpegEvent::Kind::Failed, 0, 0});
    }
    if (line.contains(kDone)) {
        doneSeen_ = true;
        events.push_back({FfmpegEvent::Kind::Done, 0, 0});
    }
}
