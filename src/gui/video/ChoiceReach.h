// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include "core/intake/VideoTask.h"
#include "core/video/CompressParams.h"

// Which of a video's choices reach its encoder command line, decided by the same plan the
// engine builds (PlanCommand): a kept container re-encodes with the source's own codecs and
// audio values, MP4 in compatible mode is written with MPEG-4, FLV and MOV with H.264, and
// quality mode takes the place of two passes. What does not apply comes with the reason, for
// the parameter dialog to grey it and for the row to say it.
struct ChoiceReach {
    bool codec = true;  // the codec choice is used
    bool audio = true;  // the channels, sample rate and audio bit rate are used
    // "Same look, smallest file" is searched for: a constant-quality encode (quality mode) to a
    // new container, written with H.264, H.265 or AV1, without a size limit.
    bool look = true;
    QString codecReason;
    QString audioReason;
    QString lookReason;
    // The row's own note: each choice made that is not used (an H.264 that is used anyway is not
    // named), one sentence each.
    QStringList notes;
};

// The searches chosen for every output: "look" and the size limit in bytes (0 for none), the
// row's own limit when it has one.
struct SearchChoice {
    bool look = false;
    qint64 maxBytes = 0;
};

ChoiceReach ReachOf(const VideoTask& task, const CompressSettings& values,
                    const MainPageSnapshot& page, const SearchChoice& search = {});

// What the main page's choices reach for a row that follows them, without a source of its own:
// decided as for an MP4 source (a kept container stays kept).
ChoiceReach PageReach(const CompressSettings& values, const MainPageSnapshot& page,
                      const SearchChoice& search);
