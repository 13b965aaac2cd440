// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/app/BatchNotifier.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include "core/app/Language.h"

BatchNotifier::BatchNotifier(Hooks hooks) : hooks_(std::move(hooks)) {}

void BatchNotifier::TaskDone(qint64 sourceSize, qint64 outputSize, qint64 freedBytes)
{
    ++done_;
    savedBytes_ += sourceSize - outputSize;
    freedBytes_ += std::max<qint64>(freedBytes, 0);
    EndOfTask();
}

void BatchNotifier::TaskFailed()
{
    ++failed_;
    EndOfTask();
}

void BatchNotifier::TaskCancelled()
{
    if (hooks_.enginesIdle && !hooks_.enginesIdle()) return;
    done_ = failed_ = 0;
    savedBytes_ = freedBytes_ = 0;
}

void BatchNotifier::EndOfTask()
{
    if (hooks_.enginesIdle && !hooks_.enginesIdle()) return;
    const QString text = Text(done_, failed_, savedBytes_, freedBytes_);
    done_ = failed_ = 0;
    savedBytes_ = freedBytes_ = 0;
    // The user watching the window sees the rows; the summary is for someone elsewhere.
    if (hooks_.windowActive && hooks_.windowActive()) return;
    if (hooks_.show) hooks_.show(text);
}

QString BatchNotifier::Text(int done, int failed, qint64 savedBytes, qint64 freedBytes)
{
    QString text = Texts::tr("压缩完成：成功 %1 个，失败 %2 个，节省 %3")
                       .arg(done)
                       .arg(failed)
                       .arg(FormatBytes(std::max<qint64>(savedBytes, 0)));
    if (freedBytes > 0) text += Texts::tr("，替换原文件腾出 %1").arg(FormatBytes(freedBytes));
    return text;
}

QString BatchNotifier::FormatBytes(qint64 bytes)
{
    if (bytes < 1024) return QStringLiteral("%1 B").arg(bytes);
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1024.0;
    int unit = 0;
    // 1023.96 KB would print as 1024.0 KB: the next unit takes over from there.
    while (value >= 1023.95 && unit + 1 < static_cast<int>(std::size(kUnits))) {
        value /= 1024.0;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(kUnits[unit]));
}
