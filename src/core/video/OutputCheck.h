// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

// The read-back check of a written video: ffmpeg's exit status and its closing words do not
// prove that the file is complete (a full disk can cut it, a damaged source gives a short one),
// so the file itself is opened again before the task counts as done.

// What opening a written file again found.
struct ReadBack {
    bool readable = false;  // the container opened and holds an audio or video stream
    double seconds = 0;     // its longest duration, 0 when it states none
    QString problem;        // for an unreadable file: why
};

// Opens the file with the FFmpeg libraries and reads its streams' facts.
ReadBack ReadBackVideo(const QString& path);

// Why the written file is no result, empty when it is one: it must be readable; when ffmpeg
// printed how much it encoded (encodedMs > 0), hold about that much; and when the source is
// known to last over a second (sourceSeconds), hold at least 90 % of it (a cut or damaged
// source gives a short output that is not what the user asked for).
QString OutputProblem(const ReadBack& output, qint64 encodedMs, double sourceSeconds);
