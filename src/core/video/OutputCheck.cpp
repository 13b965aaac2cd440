// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/video/OutputCheck.h"

#include <QFile>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

#include <algorithm>
#include <memory>

namespace {

// A written file may be shorter than the position ffmpeg printed last by its final frame or
// audio packet, and the printed position is rounded to hundredths.
constexpr double kEncodedSlackShare = 0.9;
constexpr double kEncodedSlackSeconds = 0.5;
// Below this share of the source's duration the source counts as cut short.
constexpr double kSourceShare = 0.9;
constexpr double kShortestCheckedSource = 1.0;

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};

double StreamSeconds(const AVStream* stream)
{
    if (stream->duration == AV_NOPTS_VALUE || stream->time_base.den <= 0) return 0;
    return static_cast<double>(stream->duration) * stream->time_base.num / stream->time_base.den;
}

QString Seconds(double seconds)
{
    return QString::number(seconds, 'f', 1) + QStringLiteral(" s");
}

}  // namespace

ReadBack ReadBackVideo(const QString& path)
{
    ReadBack result;
    AVFormatContext* opened = nullptr;
    const QByteArray native = QFile::encodeName(path);
    if (const int error = avformat_open_input(&opened, native.constData(), nullptr, nullptr);
        error != 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(error, text, sizeof text);
        result.problem = QString::fromUtf8(text);
        return result;
    }
    const std::unique_ptr<AVFormatContext, InputCloser> input(opened);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        result.problem = QStringLiteral("its streams cannot be read");
        return result;
    }
    bool media = false;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        const AVMediaType type = stream->codecpar->codec_type;
        if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) continue;
        media = true;
        result.seconds = std::max(result.seconds, StreamSeconds(stream));
    }
    if (!media) {
        result.problem = QStringLiteral("it holds no audio or video stream");
        return result;
    }
    if (input->duration != AV_NOPTS_VALUE && input->duration > 0)
        result.seconds =
            std::max(result.seconds, static_cast<double>(input->duration) / AV_TIME_BASE);
    result.readable = true;
    return result;
}

QString OutputProblem(const ReadBack& output, qint64 encodedMs, double sourceSeconds)
{
    if (!output.readable)
        return QStringLiteral("the written file cannot be read back: ") + output.problem;
    const double encoded = static_cast<double>(encodedMs) / 1000.0;
    if (encoded > 0 && output.seconds < encoded * kEncodedSlackShare - kEncodedSlackSeconds)
        return QStringLiteral("the written file holds %1 of the %2 encoded; it is incomplete")
            .arg(Seconds(output.seconds), Seconds(encoded));
    if (sourceSeconds > kShortestCheckedSource && output.seconds < sourceSeconds * kSourceShare)
        return QStringLiteral(
                   "the source is truncated or damaged: the output holds only %1 of "
                   "its %2")
            .arg(Seconds(output.seconds), Seconds(sourceSeconds));
    return {};
}
