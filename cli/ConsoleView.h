// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QString>

#include <map>
#include <optional>
#include <vector>

#include "BatchItem.h"

// What a run shows. Results go to standard output: a line per compressed file and the closing
// table, or with --json one JSON object per finished file (failed ones too). Progress and the
// failures go to standard error: on a terminal a line per running file, redrawn in place;
// elsewhere plain lines. Quiet leaves out the progress, the results' lines and the table (not
// the JSON records, which were asked for). Every call comes from the main thread.
class ConsoleView {
public:
    enum class Mode { Terminal, Plain, Json };

    // out: where results go (standard output's descriptor); err: progress and failures.
    ConsoleView(int out, int err, Mode mode, bool quiet = false);

    Mode mode() const { return mode_; }

    // The error (errno) of the first write to the results' output that failed, 0 while none did.
    int OutputError() const { return outError_; }

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
    // place: where the outputs went (core/app/OutputPlace.h); the table closes with the space
    // the files that replaced their sources gave back, when there were any.
    void Summary(const std::vector<BatchItem>& items, const QString& outputFolder, int place = 0);

    // Encode speed (media seconds per wall second) and seconds left, from the progress over
    // the wall time since the file started; none before the first progress above 0 % or when
    // the duration is unknown.
    struct Rate {
        double speed = 0;
        qint64 secondsLeft = 0;
    };
    static std::optional<Rate> EstimateRate(const BatchItem& item, qint64 nowMs);

    // A dry run: the file and the output it would be written to.
    void WouldWrite(const BatchItem& item, const QString& outputPath);
    // A dry run in place says so on each line.
    void SetInPlace(bool inPlace) { inPlace_ = inPlace; }

    // The file's JSON record: source, output (null unless done), source_size, output_size,
    // saving (percent, null unless done), result ("done", "kept" or "failed"), error when
    // failed, code when it failed or was kept, kind.
    static QJsonObject ToJson(const BatchItem& item);

    // The stable word for why a file has no output: the intake's code, else one from the cause
    // the engine's text names; empty for a compressed file.
    static QString FailureCode(const BatchItem& item);

    // The line of a running file, at most width columns.
    static QString ProgressLine(const BatchItem& item, qint64 nowMs, int width);
    // The line of a finished file.
    static QString ResultLine(const BatchItem& item);

private:
    void Write(const QString& text);       // to the results' output
    void WriteError(const QString& text);  // to the progress and failures' output
    // False (errno set) when the output refused it.
    static bool WriteTo(int fd, const QString& text);
    int Columns() const;
    void ClearBlock();
    void DrawBlock(qint64 nowMs);

    int out_;
    int err_;
    Mode mode_;
    bool quiet_;
    bool inPlace_ = false;
    int outError_ = 0;
    int drawnLines_ = 0;
    std::vector<const BatchItem*> running_;
    std::map<const BatchItem*, int> plainShown_;  // the last percentage printed as a plain line
};
