// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What a failed task tells the user. The engines report raw text: ffmpeg's last message,
// ImageMagick's exception, a system error ("cannot write ...: No space left on device").
// The rows' tooltips and the command line's results show a short sentence for the causes a
// user can act on; the raw text stays in the log.

enum class FailureCause {
    Unknown,
    DiskFull,        // no space left, quota, file size limit
    OutOfMemory,     // memory or an image resource limit
    NoPermission,    // permission denied, read-only file system
    MissingEncoder,  // ffmpeg lacks the encoder the command asks for
    Unsupported,     // a format or codec nothing here can read or write
    OneFrameOnly,    // an image of several frames or pages for an output of one
    Damaged,         // a truncated or corrupt source
    FileNotFound,    // the source or the output folder is gone
    ToolNotStarted,  // ffmpeg missing or not executable
    ToolHung,        // ffmpeg printed nothing for too long and was killed
    ToolCrashed,     // ffmpeg died on a signal
    OverSizeLimit,   // the size limit is too small for the file (the sound alone, say)
};

// The cause a raw failure text names, matched without regard to case; also recognises this
// process's own (possibly translated) system error texts.
FailureCause ClassifyFailure(const QString& raw);

// The sentence shown for a cause; empty for Unknown.
QString FailureSentence(FailureCause cause);

// The sentence for the cause raw names, or raw itself (trimmed) when it names none. A size
// limit's sentence is followed by raw's own line, which gives the sizes.
QString ReadableFailure(const QString& raw);
