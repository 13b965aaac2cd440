// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/intake/DurationProbe.h"

#include "core/app/TextUtil.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <memory>

namespace {

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;

}  // namespace

double ProbeDurationSeconds(const std::string& path)
{
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) != 0) return 0.0;
    const InputPtr input(opened);
    avformat_find_stream_info(input.get(), nullptr);

    const AVStream* stream = nullptr;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVMediaType type = input->streams[i]->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO) {
            stream = input->streams[i];
            break;
        }
    }
    if (!stream) {
        DebugPrint("not found a video stream.\n");
        return -1.0;
    }

    // A stream without a duration holds AV_NOPTS_VALUE, the most negative 64-bit value.
    if (stream->duration != AV_NOPTS_VALUE && stream->time_base.den > 0) {
        const double duration =
            static_cast<double>(stream->duration) * stream->time_base.num / stream->time_base.den;
        if (duration >= 0) return duration;
    }
    if (input->duration == AV_NOPTS_VALUE || input->duration < 0) return 0.0;
    // The container keeps its duration in microseconds; the row shows whole seconds.
    return static_cast<double>(input->duration / AV_TIME_BASE);
}
