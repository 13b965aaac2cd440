// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

struct ImageDoneRecord;
struct VideoDoneRecord;

// The lines a finished row's status tooltip gives besides its sizes: what a search reached and
// whether the output replaced its source.

// "SSIM 0.953 · CRF 27" for a look search; "视频码率 1200 kbps · 压缩 2 次" for a size fit;
// empty when no search ran.
QString VideoSearchText(const VideoDoneRecord& record);
// "SSIM 0.953 · 质量 82 · 缩放 80%"; empty when no quality was searched.
QString ImageSearchText(const ImageDoneRecord& record);
// "已替换原文件,腾出 1.20M(原文件已移到回收站)".
QString ReplacedText(qint64 freedBytes);

// One of the engine's notes on a task (they are written in English for the log and the command
// line) in the window's words; a note it does not know stays as it is.
QString ReadableNote(const QString& note);

// The tooltip of a finished row's status column: the search's line, the replacement's line,
// then the notes (the engine's, or what the row was told when queued), one per line; a note
// that repeats the search's line is left out.
QString FinishedTip(const QString& searchText, bool replacedSource, qint64 freedBytes,
                    const QStringList& notes);
