#pragma once

#include <QJsonObject>
#include <QString>

#include <map>
#include <optional>
#include <vector>

#include "BatchItem.h"

// What a run shows on its output: on a terminal a line per running file, redrawn in place, with
// finished files scrolling above; elsewhere plain lines; with --json only one JSON object per
// finished file. Every call comes from the main thread.
class ConsoleView {
public:
    enum class Mode { Terminal, Plain, Json };

    ConsoleView(int fd, Mode mode);

    Mode mode() const { return mode_; }

    void Started(const BatchItem& item, qint64 nowMs);
    void Progress(const BatchItem& item, qint64 nowMs);
    // A file that has its result: done, failed (a damaged video at intake too) or stopped.
    void Finished(const BatchItem& item, qint64 nowMs);
    // Terminal: redraws the running files' lines, whose clocks move on.
    void Tick(qint64 nowMs);
    // A line about the run that is no file's result (a link not followed), on stderr in
    // every mode, so the JSON output stays one record per file.
    void Notice(const QString& text);
    // The closing table of every file, and where the outputs went (nothing in JSON mode).
    void Summary(const std::vector<BatchItem>& items, const QString& outputFolder);

    // Encode speed (media seconds per wall second) and seconds left, from the progress over
    // the wall time since the file started; none before the first progress above 0 % or when
    // the duration is unknown.
    struct Rate {
        double speed = 0;
        qint64 secondsLeft = 0;
    };
    static std::optional<Rate> EstimateRate(const BatchItem& item, qint64 nowMs);

    // The file's JSON record: source, output (null unless done), source_size, output_size,
    // saving (percent, null unless done), result ("done" or "failed"), error when failed, kind.
    static QJsonObject ToJson(const BatchItem& item);

    // The line of a running file, at most width columns.
    static QString ProgressLine(const BatchItem& item, qint64 nowMs, int width);
    // The line of a finished file.
    static QString ResultLine(const BatchItem& item);

private:
    void Write(const QString& text);
    static void WriteTo(int fd, const QString& text);
    int Columns() const;
    void ClearBlock();
    void DrawBlock(qint64 nowMs);

    int fd_;
    Mode mode_;
    int drawnLines_ = 0;
    std::vector<const BatchItem*> running_;
    std::map<const BatchItem*, int> plainShown_;  // the last percentage printed as a plain line
};
