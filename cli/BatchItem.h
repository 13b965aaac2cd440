// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// One file of a run, from intake to its result. The run keeps them in intake order.
struct BatchItem {
    enum class Kind { Video, Image };
    enum class State {
        Waiting,     // queued in its engine
        Running,     // its engine has started it
        Done,        // compressed; outputPath and outputSize hold the result
        Kept,        // compressed, but not smaller than the source: no output was kept
        Failed,      // error says why
        Stopped,     // the run was interrupted while it ran
        NotStarted,  // the run was interrupted before it started
    };

    int taskId = -1;  // -1: refused at intake, never given to an engine
    Kind kind = Kind::Video;
    QString shownPath;   // as the user named it (the folder given plus the name found in it)
    QString sourcePath;  // absolute
    qint64 sourceSize = 0;
    double durationSeconds = 0;  // videos: the probed duration, 0 when unknown

    State state = State::Waiting;
    int percent = 0;
    qint64 startedMs = 0;   // on the run's clock
    qint64 progressMs = 0;  // when percent was last reported
    QString outputPath;
    qint64 outputSize = 0;
    QString error;
    QStringList notes;  // videos: choices the engine could not apply to this file
    QString code;       // set at intake for a file refused there ("missing", "unsupported", ...)

    // What the engines' searches found; 0 where none ran. --look: the luma SSIM reached, with the
    // CRF (videos) or the quality (images) it took; --max-size: a video's fitted bit rate and
    // its encodes, an image's quality and its scale in percent.
    double ssim = 0;
    double crf = 0;  // fractional for x264 and x265 (quarter steps)
    int quality = 0;
    int scalePercent = 100;
    int fittedBitRate = 0;
    int sizeTries = 0;

    // The folder named on the command line that holds the file; empty for a file named itself.
    QString addedRoot;
    // In place: the output took the source's name, the original went to the trash, and the disk
    // got freedBytes back.
    bool replacedSource = false;
    qint64 freedBytes = 0;

    bool Finished() const { return state != State::Waiting && state != State::Running; }
    bool Succeeded() const { return state == State::Done || state == State::Kept; }
};
