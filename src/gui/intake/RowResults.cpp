// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/intake/RowResults.h"

#include <QRegularExpression>

#include <algorithm>
#include <vector>

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

QString ReadableNote(const QString& note)
{
    struct Known {
        const char* pattern;  // the whole note, its values captured in order
        const char* text;     // the window's sentence, with %1, %2, ... for the values
    };
    static const Known kKnown[] = {
        {"SSIM ([0-9.]+) at CRF ([0-9.]+)", "SSIM %1 · CRF %2"},
        {"SSIM ([0-9.]+) at CRF ([0-9.]+), the nearest the search found to the strength's "
         "([0-9.]+)",
         QT_TRANSLATE_NOOP("LumoCompress", "SSIM %1 · CRF %2,最接近压缩强度的 %3")},
        {"the same look, smallest file does not combine with a size limit: .*",
         QT_TRANSLATE_NOOP("LumoCompress",
                           "设了大小上限时按大小压缩,不做“同样观感,最小文件”的搜索")},
        {"the same look, smallest file applies to constant-quality encodes .*",
         QT_TRANSLATE_NOOP("LumoCompress",
                           "“同样观感,最小文件”只用于画质优先并转换格式的视频,已按常规压缩")},
        {"the picture is made ([0-9]+)x([0-9]+): at ([0-9]+) kbit/s the full size would smear",
         QT_TRANSLATE_NOOP("LumoCompress", "画面缩小为 %1x%2:%3 kbps 下原尺寸会模糊")},
        {"the file dates were not kept: (.*)",
         QT_TRANSLATE_NOOP("LumoCompress", "未能保留文件日期:%1")},
        {"two-pass does not apply to quality mode: .*",
         QT_TRANSLATE_NOOP("LumoCompress", "质量模式下不做两遍编码,只用质量模式")},
        {"two-pass does not apply to AV1: .*",
         QT_TRANSLATE_NOOP("LumoCompress", "AV1 不做两遍编码,按同样的码率编码一遍")},
        {"two-pass does not apply to the (.+) encoder: one pass",
         QT_TRANSLATE_NOOP("LumoCompress", "%1 编码器不做两遍编码,只编码一遍")},
        {"(H\\.265|AV1) applies to MP4 and MKV files written to a new container; this file is "
         "written with (.+)",
         QT_TRANSLATE_NOOP("LumoCompress", "%1 只用于转换为 MP4 或 MKV 的视频,此文件以 %2 编码")},
        {"quality mode applies to files written to a new container with H.264, H.265 or AV1; "
         "this file is written with (.+) at the strength's bit rate",
         QT_TRANSLATE_NOOP("LumoCompress",
                           "画质优先只用于以 H.264、H.265 或 AV1 转换格式的视频,此文件以 %1 "
                           "按压缩强度的码率编码")},
    };
    static const std::vector<QRegularExpression> patterns = [] {
        std::vector<QRegularExpression> compiled;
        for (const Known& known : kKnown)
            compiled.emplace_back(
                QRegularExpression::anchoredPattern(QString::fromUtf8(known.pattern)));
        return compiled;
    }();
    for (size_t i = 0; i < patterns.size(); ++i) {
        const QRegularExpressionMatch match = patterns[i].match(note.trimmed());
        if (!match.hasMatch()) continue;
        QString text = language::Tr(kKnown[i].text);
        for (int value = 1; value <= match.lastCapturedIndex(); ++value)
            text = text.arg(match.captured(value));
        return text;
    }
    return note;
}

QString FinishedTip(const QString& searchText, bool replacedSource, qint64 freedBytes,
                    const QStringList& notes)
{
    QStringList lines;
    if (!searchText.isEmpty()) lines << searchText;
    if (replacedSource) lines << ReplacedText(freedBytes);
    for (const QString& note : notes)
        if (note != searchText) lines << note;
    return lines.join(u'\n');
}
