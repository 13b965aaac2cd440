// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/intake/MediaProbe.h"

#include "core/app/JsonText.h"
#include "core/app/Paths.h"
#include "core/app/TextUtil.h"
#include "core/platform/ChildProcess.h"

#include <QDeadlineTimer>
#include <QFileInfo>

#include <json/json.h>

#include <charconv>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace {

// How long a stopped prober gets after SIGTERM before SIGKILL, and the longest wait for its
// output between two looks at the stop request and the deadline.
constexpr int kProbeStopGraceMs = 200;
constexpr int kProbeReadSliceMs = 50;

// The number readers below behave like C's atoi/atoll/atof on the prober's texts (leading blanks,
// an optional sign, then as much of a number as there is; 0 when there is none) but always with
// "." as the decimal point: the desktop's locale, which Qt installs for the whole process, must
// not turn "12.9" into 12.

std::string_view SkipBlanks(std::string_view text)
{
    const size_t start = text.find_first_not_of(" \t\n\v\f\r");
    return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

// Drops a leading "+" (std::from_chars only knows "-"); "+-1" stays invalid.
std::string_view SkipPlus(std::string_view text)
{
    if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+')
        text.remove_prefix(1);
    return text;
}

qint64 LeadingInteger(std::string_view text)
{
    text = SkipPlus(SkipBlanks(text));
    qint64 value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range)
        return text.starts_with('-') ? std::numeric_limits<qint64>::min()
                                     : std::numeric_limits<qint64>::max();
    return error == std::errc() ? value : 0;
}

int LeadingInt(std::string_view text)
{
    const qint64 value = LeadingInteger(text);
    if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

double LeadingDecimal(std::string_view text)
{
    text = SkipPlus(SkipBlanks(text));
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() ? value : 0.0;
}

using json::Member;

std::optional<std::string> TextMember(const Json::Value& object, const char* key)
{
    const Json::Value* value = Member(object, key);
    if (!value || !value->isString()) return std::nullopt;
    return value->asString();
}

void ReadInt(const Json::Value& object, const char* key, int& field)
{
    if (const Json::Value* value = Member(object, key); value && value->isInt())
        field = value->asInt();
}

void ReadText(const Json::Value& object, const char* key, std::string& field)
{
    if (auto text = TextMember(object, key)) field = std::move(*text);
}

// "avg_frame_rate" is numerator/denominator. "0/0" means the prober could not tell: MediaInfo
// is asked instead, and its nominal rate is shown as it writes it. Otherwise the rate is the
// single-precision quotient with two decimals, as rows have always shown it (30000/1001 is
// "29.97"). A text without "/" sets nothing.
void SettleFrameRate(const std::string& rate, const QString& path, VideoInfo& info,
                     MediaInfoSource& mediaInfo)
{
    if (rate == "0/0") {
        const MediaInfoSource::FrameRateAnswers answers = mediaInfo.FrameRateOf(path);
        if (WideToAnsi(answers.mode) == "VFR") info.isVfr = 1;
        info.frameRateText = answers.nominal;
        return;
    }
    const size_t slash = rate.find('/');
    if (slash == std::string::npos) return;
    const std::string_view text(rate);
    const float numerator = static_cast<float>(LeadingInt(text.substr(0, slash)));
    const float denominator = static_cast<float>(LeadingInt(text.substr(slash + 1)));
    info.frameRateText = QString::number(numerator / denominator, 'f', 2);
}

void ReadVideoStream(const Json::Value& stream, const QString& path, VideoInfo& info,
                     MediaInfoSource& mediaInfo)
{
    ReadInt(stream, "width", info.width);
    ReadInt(stream, "height", info.height);
    ReadText(stream, "codec_name", info.videoCodec);
    if (auto duration = TextMember(stream, "duration"))
        info.videoDuration = static_cast<float>(LeadingDecimal(*duration));
    if (auto bitRate = TextMember(stream, "bit_rate")) info.videoBitRate = LeadingInt(*bitRate);
    SettleFrameRate(TextMember(stream, "avg_frame_rate").value_or(std::string()), path, info,
                    mediaInfo);
    // A stream without an average rate that MediaInfo cannot name either (Ogg Theora) still
    // has its base rate.
    if (info.frameRateText.isEmpty()) {
        const std::string base = TextMember(stream, "r_frame_rate").value_or(std::string());
        if (base != "0/0") SettleFrameRate(base, path, info, mediaInfo);
    }
}

void ReadAudioStream(const Json::Value& stream, VideoInfo& info)
{
    info.hasAudio = 1;
    ReadText(stream, "codec_name", info.audioCodec);
    ReadInt(stream, "channels", info.audioChannels);
    if (auto sampleRate = TextMember(stream, "sample_rate"))
        info.audioSampleRate = LeadingInt(*sampleRate);
    // Whole seconds: the text is read as an integer, so "12.9" gives 12.
    if (auto duration = TextMember(stream, "duration"))
        info.audioDuration = static_cast<float>(LeadingInt(*duration));
    if (auto bitRate = TextMember(stream, "bit_rate")) info.audioBitRate = LeadingInt(*bitRate);
}

void ReadFormat(const Json::Value& format, VideoInfo& info)
{
    if (auto duration = TextMember(format, "duration"))
        info.formatDuration = static_cast<float>(LeadingInt(*duration));
    if (auto size = TextMember(format, "size")) info.fileSize = LeadingInteger(*size);
    if (auto bitRate = TextMember(format, "bit_rate"))
        info.formatBitRate = LeadingInteger(*bitRate);
}

QStringList ProberArguments(const QString& absolutePath)
{
    return {QStringLiteral("-v"),
            QStringLiteral("quiet"),
            QStringLiteral("-show_streams"),
            QStringLiteral("-show_entries"),
            QStringLiteral("format=duration,size,bit_rate,filename"),
            QStringLiteral("-print_format"),
            QStringLiteral("json"),
            absolutePath};
}

}  // namespace

bool ParseProbeReport(const QByteArray& report, const QString& path, VideoInfo& info,
                      MediaInfoSource& mediaInfo)
{
    Json::Value root;
    std::string errors;
    if (!json::Parse(std::string_view(report.constData(), report.size()), root, &errors) ||
        !root.isObject()) {
        DebugPrint("ffprobe report error: %s\n", errors.c_str());
        return false;
    }

    if (const Json::Value* streams = Member(root, "streams"); streams && streams->isArray()) {
        for (const Json::Value& stream : *streams) {
            const std::string type = TextMember(stream, "codec_type").value_or(std::string());
            if (type == "video")
                ReadVideoStream(stream, path, info, mediaInfo);
            else if (type == "audio")
                ReadAudioStream(stream, info);
        }
    }
    if (const Json::Value* format = Member(root, "format")) ReadFormat(*format, info);
    return true;
}

bool ProbeVideo(const QString& path, VideoInfo& info, std::stop_token stop)
{
    info = VideoInfo{};
    const QString prober = FindTool(QStringLiteral("ffprobe"));
    DebugPrint("ffprobePath: %s\n", WideToAnsi(prober.left(prober.lastIndexOf(u'/') + 1)).c_str());
    if (prober.isEmpty() || path.isEmpty()) return false;

    // An absolute path cannot be mistaken by the prober for an option ("-name") or for a
    // protocol ("name:rest").
    const QString absolutePath = QFileInfo(path).absoluteFilePath();
    platform::ChildProcess child;
    // The prober holds no state worth a polite stop: SIGTERM, then SIGKILL soon after.
    child.SetStopSteps(QByteArray(), kProbeStopGraceMs);
    if (!child.Start(prober, ProberArguments(absolutePath))) {
        DebugPrint("ffprobe start error: %s\n", WideToAnsi(child.ErrorText()).c_str());
        return false;
    }
    const QDeadlineTimer deadline(kProbeTimeoutMs);
    QByteArray output;
    bool truncated = false;
    QByteArray chunk;
    // The output is taken as it comes, so a large report never blocks the prober.
    while (child.Read(chunk, kProbeReadSliceMs) != platform::ChildProcess::ReadStatus::Ended) {
        if (truncated || output.size() + chunk.size() > kProbeMaxReportBytes)
            truncated = true;
        else
            output += chunk;
        chunk.clear();
        if (stop.stop_requested()) {
            child.Stop();
            DebugPrint("ffprobe stopped: %s\n", WideToAnsi(absolutePath).c_str());
            return false;
        }
        if (deadline.hasExpired()) {
            child.Stop();
            DebugPrint("ffprobe timed out: %s\n", WideToAnsi(absolutePath).c_str());
            return false;
        }
    }
    if (truncated || output.isEmpty()) {
        DebugPrint("ffprobe report unusable, bytes: %lld\n", static_cast<long long>(output.size()));
        return false;
    }
    DebugPrint("szPipeOut:%s\n", output.constData());
    if (!ParseProbeReport(output, absolutePath, info, MediaInfoLibrary::Instance())) return false;
    return info.IsUsable();
}
