// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/intake/RowResults.h"

#include <algorithm>

#include "core/app/Language.h"
#include "core/app/TextUtil.h"
#include "core/image/ImageParams.h"
#include "core/video/VideoEngineSink.h"

namespace {

const QString kSeparator = QStringLiteral(" · ");

QString SsimText(double ssim)
{
    return QStringLiteral("SSIM %1").arg(ssim, 0, 'f', 3);
}

}  // namespace

QString VideoSearchText(const VideoDoneRecord& record)
{
    QStringList parts;
    if (record.ssim > 0) parts << SsimText(record.ssim);
    if (record.searchedCrf > 0) parts << QStringLiteral("CRF %1").arg(record.searchedCrf);
    if (record.fittedBitRate > 0)
        parts << Texts::tr("视频码率 %1 kbps").arg((record.fittedBitRate + 500) / 1000);
    if (record.sizeTries > 1) parts << Texts::tr("压缩 %1 次").arg(record.sizeTries);
    return parts.join(kSeparator);
}

QString ImageSearchText(const ImageDoneRecord& record)
{
    if (record.searchedQuality <= 0) return {};
    QStringList parts;
    if (record.ssim > 0) parts << SsimText(record.ssim);
    parts << Texts::tr("质量 %1").arg(record.searchedQuality);
    if (record.scalePercent > 0 && record.scalePercent < 100)
        parts << Texts::tr("缩放 %1%").arg(record.scalePercent);
    return parts.join(kSeparator);
}

QString ReplacedText(qint64 freedBytes)
{
    return Texts::tr("已替换原文件,腾出 %1(原文件已移到回收站)")
        .arg(FormatSize(std::max<qint64>(freedBytes, 0)));
}

QString FinishedTip(const QString& searchText, bool replacedSource, qint64 freedBytes,
                    const QStringList& notes)
{
    QStringList lines;
    if (!searchText.isEmpty()) lines << searchText;
    if (replacedSource) lines << ReplacedText(freedBytes);
    lines << notes;
    return lines.join(u'\n');
}
