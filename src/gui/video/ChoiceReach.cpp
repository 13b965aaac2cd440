// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/video/ChoiceReach.h"

#include "core/app/Language.h"
#include "core/video/FfmpegCommand.h"
#include "core/video/VideoSettings.h"

ChoiceReach ReachOf(const VideoTask& task, const CompressSettings& values,
                    const MainPageSnapshot& page, const SearchChoice& search)
{
    ChoiceReach reach;
    // Which tracks are kept decides nothing here, and planning them would read the source on
    // the caller's (the UI) thread.
    MainPageSnapshot planned = page;
    planned.keepTracks = false;
    const CommandPlan plan = PlanCommand(task, values, planned);
    const bool codecChosen = values.codec != videocodec::kH264;
    QString mode;  // why quality mode and two passes do not apply, when they do not
    if (plan.keepContainer) {
        reach.codec = reach.audio = false;
        reach.codecReason = Texts::tr("保留原格式时,视频编码沿用原文件的编码");
        reach.audioReason = Texts::tr("保留原格式时,声道、采样率和比特率沿用原文件");
        mode = Texts::tr("保留原格式时");
    } else if (!TakesEncoderChoices(plan)) {
        reach.codec = false;
        reach.codecReason = Texts::tr("兼容模式下 MP4 以 MPEG-4 编码");
        mode = Texts::tr("兼容模式下");
    } else if (EffectiveCodec(plan) != values.codec) {
        reach.codec = false;
        reach.codecReason = Texts::tr("%1 格式只用 H.264 编码,H.265 和 AV1 只用于 MP4 和 MKV")
                                .arg(plan.extension.toUpper());
    }
    if (codecChosen && !reach.codec) reach.notes << reach.codecReason;
    if (!mode.isEmpty()) {
        if (page.qualityMode) reach.notes << Texts::tr("%1不用质量模式").arg(mode);
        if (page.twoPass) reach.notes << Texts::tr("%1不做两遍编码").arg(mode);
    } else if (page.twoPass && page.qualityMode) {
        reach.notes << Texts::tr("质量模式下不做两遍编码,只用质量模式");
    }

    // The same order of reasons as the engine's: a size limit first, then the plan.
    if (search.maxBytes > 0) {
        reach.look = false;
        reach.lookReason = Texts::tr("设了大小上限时按大小压缩,不做“同样观感,最小文件”的搜索");
    } else if (!UsesConstantQuality(plan)) {
        reach.look = false;
        if (!mode.isEmpty())
            reach.lookReason = Texts::tr("%1不做“同样观感,最小文件”的搜索").arg(mode);
        else
            reach.lookReason = Texts::tr("勾选“画质优先”后才做“同样观感,最小文件”的搜索");
    }
    if (search.look && !reach.look) reach.notes << reach.lookReason;
    return reach;
}

ChoiceReach PageReach(const CompressSettings& values, const MainPageSnapshot& page,
                      const SearchChoice& search)
{
    VideoTask source;
    source.fileName = QStringLiteral("source.mp4");
    source.filePath = QStringLiteral("/nonexistent/source.mp4");
    return ReachOf(source, values, page, search);
}
