// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/video/FfmpegCommand.h"

#include <QDir>
#include <QFileInfo>

#include "core/app/JsonText.h"
#include "core/app/Paths.h"
#include "core/intake/MediaProbe.h"
#include "core/platform/ChildProcess.h"
#include "core/video/EncoderPlan.h"
#include "core/video/VideoSettings.h"

#include <algorithm>
#include <array>
#include <climits>
#include <optional>
#include <vector>

namespace {

// The ten templates, character for character. 1 to 4 keep the container (two blanks before
// "-acodec"), 5 to 10 write a new one with aac audio.
constexpr std::array<const char*, 10> kTemplates = {
    "\"%s\" -y -i \"%s\" -vcodec \"%s\" -b:v %d  -acodec \"%s\" -ab %d -ar %d -ac %d \"%s\"",
    "\"%s\" -y -i \"%s\" -r \"%s\" -vcodec \"%s\" -b:v %d  -acodec \"%s\" -ab %d -ar %d -ac %d "
    "\"%s\"",
    "\"%s\" -y -i \"%s\" -s \"%s\" -vcodec \"%s\" -b:v %d  -acodec \"%s\" -ab %d -ar %d -ac %d "
    "\"%s\"",
    "\"%s\" -y -i \"%s\" -s \"%s\" -r \"%s\" -vcodec \"%s\" -b:v %d  -acodec \"%s\" -ab %d -ar %d "
    "-ac %d \"%s\"",
    "\"%s\" -y -i \"%s\" -vcodec mpeg4 -acodec aac -preset %s -b:v %d -ab %d -ar %d -ac %d \"%s\"",
    "\"%s\" -y -i \"%s\" -r \"%s\" -vcodec mpeg4 -acodec aac -preset %s -b:v %d -ab %d -ar %d -ac "
    "%d \"%s\"",
    "\"%s\" -y -i \"%s\" -vcodec h264 -acodec aac -preset %s -b:v %d -ab %d -ar %d -ac %d \"%s\"",
    "\"%s\" -y -i \"%s\" -r \"%s\" -vcodec h264 -acodec aac -preset %s -b:v %d -ab %d -ar %d -ac "
    "%d \"%s\"",
    "\"%s\" -y -i \"%s\" -s \"%s\" -r \"%s\" -vcodec mpeg4 -acodec aac -preset %s -b:v %d -ab %d "
    "-ar %d -ac %d \"%s\"",
    "\"%s\" -y -i \"%s\" -s \"%s\" -r \"%s\" -vcodec h264 -acodec aac -preset %s -b:v %d -ab %d "
    "-ar %d -ac %d \"%s\"",
};

// Source containers that are not written again: their files become MP4.
constexpr std::array<const char*, 6> kRewrappedExtensions = {"avi",  "rmvb", "rm",
                                                             "divx", "dat",  "ogv"};

// Audio encoders for probed codec names whose own ffmpeg encoder is experimental (and refused
// without "-strict") or missing.
struct EncoderName {
    const char* probed;
    const char* encoder;
};
constexpr std::array<EncoderName, 2> kAudioEncoders = {
    {{"vorbis", "libvorbis"}, {"opus", "libopus"}}};

// One blank-separated piece of a template: the blanks before it and its text.
struct Token {
    QString lead;
    QString text;
    bool dropped = false;
};

std::vector<Token> Tokenize(const QString& line)
{
    std::vector<Token> tokens;
    qsizetype pos = 0;
    while (pos < line.size()) {
        Token token;
        while (pos < line.size() && line[pos] == u' ') token.lead += line[pos++];
        if (pos >= line.size()) break;
        bool quoted = false;
        while (pos < line.size() && (quoted || line[pos] != u' ')) {
            if (line[pos] == u'"') quoted = !quoted;
            token.text += line[pos++];
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

bool IsQuoted(const QString& text)
{
    return text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"');
}

// ffmpeg reads an argument as a file only when it cannot be an option ("-...") or a protocol
// ("name:..."); an absolute path is neither.
QString SafePath(const QString& path)
{
    if (path.isEmpty()) return path;
    QString absolute = QFileInfo(path).absoluteFilePath();
    if (!absolute.startsWith(u'/')) absolute.prepend(QLatin1String("file:"));
    return absolute;
}

QString Number(int value)
{
    // QString::number never uses the process locale: the same bytes under any LC_ALL.
    return QString::number(value);
}

}  // namespace

const char* CommandTemplate(int templateNumber)
{
    if (templateNumber < 1 || templateNumber > static_cast<int>(kTemplates.size())) return "";
    return kTemplates[templateNumber - 1];
}

int ComputeVideoBitRate(int baseRate, int compressType, const MainPageSnapshot& page)
{
    const double b = baseRate;
    int rate = 1000000;
    switch (compressType) {
        case 0:
            rate = static_cast<int>(b - b * 0.5);
            break;
        case 1:
            rate = static_cast<int>(b - b * 0.7);
            break;
        case 2:
            rate = static_cast<int>(b - b * 0.9);
            break;
        default:
            break;
    }
    if (page.bitRateChecked) {
        const int v = page.bitRateSlider;
        if (v == 0) {
            rate = static_cast<int>(b - b * 0.01);
        } else if (v == 100) {
            rate = static_cast<int>(b - b * 0.99);
        } else {
            // Single precision throughout, the product included (an int product overflows for
            // rates above 21 Mbit/s).
            const float bf = static_cast<float>(baseRate);
            rate = static_cast<int>(bf - (static_cast<float>(v) * bf) / 100.0f);
        }
    }
    return rate;
}

bool IsFrameRateText(const QString& text)
{
    const qsizetype slash = text.indexOf(u'/');
    const QString first = slash < 0 ? text : text.left(slash);
    const QString second = slash < 0 ? QString() : text.mid(slash + 1);
    auto digitsOnly = [](const QString& part, bool allowDot) {
        if (part.isEmpty()) return false;
        bool dot = false;
        bool digit = false;
        for (QChar c : part) {
            if (c == u'.' && allowDot && !dot) {
                dot = true;
            } else if (c >= u'0' && c <= u'9') {
                digit = true;
            } else {
                return false;
            }
        }
        return digit && !part.endsWith(u'.') && !part.startsWith(u'.');
    };
    auto positive = [](const QString& part) {
        for (QChar c : part)
            if (c >= u'1' && c <= u'9') return true;
        return false;
    };
    if (slash < 0) return digitsOnly(first, true) && positive(first);
    return digitsOnly(first, false) && digitsOnly(second, false) && positive(first) &&
           positive(second);
}

namespace {

// The frames per second of an IsFrameRateText text; 0 for an empty one.
double FrameRateValue(const QString& text)
{
    const qsizetype slash = text.indexOf(u'/');
    if (slash < 0) return text.toDouble();
    const double denominator = text.mid(slash + 1).toDouble();
    return denominator > 0 ? text.left(slash).toDouble() / denominator : 0;
}

}  // namespace

CommandPlan PlanCommand(const VideoTask& task, const CompressSettings& values,
                        const MainPageSnapshot& page)
{
    CommandPlan plan;

    const qsizetype dot = task.fileName.lastIndexOf(u'.');
    plan.sourceExtension = dot < 0 ? QString() : task.fileName.mid(dot + 1).toLower();

    if (values.width != 0 && values.height != 0)
        plan.sizeText = Number(values.width) + u'*' + Number(values.height);

    // The stream's rate, else the container's.
    int baseRate = task.videoBitRate;
    if (baseRate == 0) baseRate = ContainerBaseRate(task.formatBitRate);
    plan.videoBitRate = ClampVideoBitRate(ComputeVideoBitRate(baseRate, values.compressType, page));
    plan.baseRate = baseRate;
    plan.compressType = values.compressType;
    plan.codec = values.codec;
    plan.qualityMode = page.qualityMode;
    plan.twoPass = page.twoPass;
    plan.preset = page.balancedChecked ? QStringLiteral("fast") : QStringLiteral("ultrafast");

    int container = values.videoType;
    if (container == 0) {
        plan.extension = plan.sourceExtension;
        // A source without an extension names no container to keep.
        bool rewrap = plan.extension.isEmpty();
        for (const char* ext : kRewrappedExtensions)
            if (plan.extension == QLatin1String(ext)) rewrap = true;
        if (rewrap) {
            plan.extension = QStringLiteral("mp4");
            container = 1;
        }
    } else if (container == 2) {
        plan.extension = QStringLiteral("flv");
    } else if (container == 3) {
        plan.extension = QStringLiteral("mov");
    } else if (container == 4) {
        plan.extension = QStringLiteral("mkv");
    } else {
        plan.extension = QStringLiteral("mp4");
    }
    plan.keepContainer = container == 0;

    // A frame-rate text that is not a rate (none probed, or an error text) is left out.
    plan.frameRate = IsFrameRateText(task.frameRateText) ? task.frameRateText : QString();
    const double fps = FrameRateValue(plan.frameRate);
    if (fps > 0 && task.width > 0 && task.height > 0 && baseRate > 0)
        plan.sourceBitsPerPixel = baseRate / (fps * task.width * task.height);

    const bool ts = plan.sourceExtension == QLatin1String("ts");
    const bool sized = !plan.sizeText.isEmpty();
    if (plan.keepContainer) {
        plan.templateNumber = sized ? (ts ? 3 : 4) : (ts ? 1 : 2);

        plan.videoCodec = task.videoCodec;
        if (plan.videoCodec == "mss2" || plan.videoCodec == "wmv3") plan.videoCodec = "msmpeg4";

        plan.audioCodec = task.audioCodec;
        plan.audioBitRate = task.audioBitRate;
        plan.sampleRate = task.audioSampleRate;
        plan.channels = task.audioChannels;
        if (task.hasAudio && plan.audioBitRate == 0) plan.audioBitRate = 64000;
        if (plan.audioCodec == "wmav2") {
            if (plan.audioBitRate <= 24000) plan.audioBitRate = 24000;
        } else if (plan.audioCodec == "wmapro") {
            plan.audioCodec = "wmav2";
            plan.channels = 2;
        }
        for (const EncoderName& name : kAudioEncoders)
            if (plan.audioCodec == name.probed) plan.audioCodec = name.encoder;
        plan.withAudio = task.hasAudio != 0;
    } else {
        const bool compatible = page.compatibleChecked && plan.extension == QLatin1String("mp4");
        if (sized)
            plan.templateNumber = compatible ? 9 : 10;
        else if (compatible)
            plan.templateNumber = ts ? 5 : 6;
        else
            plan.templateNumber = ts ? 7 : 8;
        plan.audioBitRate = values.bitrate;
        plan.sampleRate = values.sampleRate;
        plan.channels = values.channel;
    }
    FitPictureToEncoder(task, plan);
    if (page.keepTracks) {
        plan.keepTracks = true;
        plan.tracks = ProbeTracks(task.filePath);
    }
    return plan;
}

SourceTracks ParseTrackReport(const QByteArray& json)
{
    SourceTracks tracks;
    Json::Value root;
    if (!json::Parse(std::string_view(json.constData(), json.size()), root) || !root.isObject())
        return tracks;
    tracks.listed = true;
    if (const Json::Value* streams = json::Member(root, "streams"); streams && streams->isArray()) {
        for (const Json::Value& stream : *streams) {
            SourceTrack track;
            track.index = QString::fromStdString(json::Text(stream, "index")).toInt();
            track.kind = json::Text(stream, "codec_type");
            track.codec = json::Text(stream, "codec_name");
            if (const Json::Value* disposition = json::Member(stream, "disposition"))
                track.attachedPicture = json::Text(*disposition, "attached_pic") == "1";
            tracks.streams.push_back(std::move(track));
        }
    }
    if (const Json::Value* chapters = json::Member(root, "chapters");
        chapters && chapters->isArray())
        tracks.chapters = static_cast<int>(chapters->size());
    return tracks;
}

SourceTracks ProbeTracks(const QString& path)
{
    const QString prober = FindTool(QStringLiteral("ffprobe"));
    if (prober.isEmpty() || path.isEmpty()) return {};
    const platform::CaptureResult result = platform::RunCapture(
        prober,
        {QStringLiteral("-v"), QStringLiteral("quiet"), QStringLiteral("-show_streams"),
         QStringLiteral("-show_chapters"), QStringLiteral("-print_format"), QStringLiteral("json"),
         SafePath(path)},
        kProbeTimeoutMs, kProbeMaxReportBytes);
    if (!result.Succeeded()) return {};
    return ParseTrackReport(result.output);
}

namespace {

bool IsOneOf(const QString& value, std::initializer_list<const char*> words)
{
    return std::any_of(words.begin(), words.end(),
                       [&value](const char* word) { return value == QLatin1String(word); });
}

bool IsTextSubtitle(const std::string& codec)
{
    return IsOneOf(QString::fromStdString(codec),
                   {"subrip", "srt", "ass", "ssa", "webvtt", "mov_text", "text"});
}

// The codec a subtitle is written with in the container of extension, empty when the container
// cannot hold it.
QString SubtitleCodec(const QString& extension, const std::string& codec)
{
    if (IsOneOf(extension, {"mp4", "mov", "m4v", "3gp"}))
        return IsTextSubtitle(codec) ? QStringLiteral("mov_text") : QString();
    if (extension == QLatin1String("webm"))
        return IsTextSubtitle(codec) ? QStringLiteral("webvtt") : QString();
    if (extension == QLatin1String("mkv"))
        return codec == "mov_text" ? QStringLiteral("srt") : QStringLiteral("copy");
    return {};
}

QString Upper(const QString& extension)
{
    return extension.isEmpty() ? QStringLiteral("this") : extension.toUpper();
}

}  // namespace

TrackOptions PlanTrackOptions(const CommandPlan& plan)
{
    TrackOptions options;
    if (!plan.keepTracks) return options;
    const QString& ext = plan.extension;
    const QString container = Upper(ext) + QStringLiteral(" files");
    options.output << QStringLiteral("-map_metadata") << QStringLiteral("0");
    const bool holdsChapters = IsOneOf(ext, {"mp4", "mov", "m4v", "mkv", "webm"});
    if (!plan.tracks.listed) {
        // Without the list, what any container takes: the video, every audio track, the
        // metadata and chapters.
        options.firstPass << QStringLiteral("-map") << QStringLiteral("0:v:0");
        options.output = options.firstPass +
                         QStringList{QStringLiteral("-map"), QStringLiteral("0:a?")} +
                         options.output;
        if (holdsChapters) options.output << QStringLiteral("-map_chapters") << QStringLiteral("0");
        options.notes << QStringLiteral(
            "the source's tracks could not be listed: its subtitles and attachments are not "
            "kept");
        return options;
    }

    QStringList maps;
    QStringList codecs;
    int out = 0;
    auto take = [&](const SourceTrack& track) {
        maps << QStringLiteral("-map") << QStringLiteral("0:%1").arg(track.index);
        maps << QStringLiteral("-map_metadata:s:%1").arg(out)
             << QStringLiteral("0:s:%1").arg(track.index);
        ++out;
    };
    int audio = 0, subtitles = 0, droppedSubtitles = 0, droppedAudio = 0, attachments = 0,
        droppedAttachments = 0, otherVideo = 0, covers = 0, data = 0;
    const SourceTrack* video = nullptr;
    for (const SourceTrack& track : plan.tracks.streams) {
        if (track.kind == "video" && !track.attachedPicture && !video) {
            video = &track;
            take(track);
        }
    }
    for (const SourceTrack& track : plan.tracks.streams) {
        if (track.kind == "video") {
            if (&track == video) continue;
            track.attachedPicture ? ++covers : ++otherVideo;
        } else if (track.kind == "audio") {
            if (ext == QLatin1String("flv") && audio > 0) {
                ++droppedAudio;
                continue;
            }
            take(track);
            ++audio;
        } else if (track.kind == "subtitle") {
            const QString codec = SubtitleCodec(ext, track.codec);
            if (codec.isEmpty()) {
                ++droppedSubtitles;
                continue;
            }
            codecs << QStringLiteral("-c:s:%1").arg(subtitles) << codec;
            take(track);
            ++subtitles;
        } else if (track.kind == "attachment") {
            if (ext != QLatin1String("mkv")) {
                ++droppedAttachments;
                continue;
            }
            take(track);
            ++attachments;
        } else {
            ++data;
        }
    }
    if (video)
        options.firstPass << QStringLiteral("-map") << QStringLiteral("0:%1").arg(video->index);
    options.output = maps + codecs + options.output;
    if (plan.tracks.chapters > 0) {
        if (holdsChapters)
            options.output << QStringLiteral("-map_chapters") << QStringLiteral("0");
        else
            options.notes << QStringLiteral("%1 hold no chapters: the source's %2 are not kept")
                                 .arg(container)
                                 .arg(plan.tracks.chapters);
    }
    if (droppedAudio > 0)
        options.notes << QStringLiteral(
                             "%1 hold one audio track: %2 more of the source's are not kept")
                             .arg(container)
                             .arg(droppedAudio);
    if (droppedSubtitles > 0)
        options.notes << QStringLiteral("%1 cannot hold %2 of the source's subtitle tracks")
                             .arg(container)
                             .arg(droppedSubtitles);
    if (droppedAttachments > 0)
        options.notes << QStringLiteral(
                             "%1 hold no attachments: the source's %2 (fonts, pictures) are not "
                             "kept")
                             .arg(container)
                             .arg(droppedAttachments);
    if (otherVideo > 0)
        options.notes << QStringLiteral("only the first video track is kept, %1 more are not")
                             .arg(otherVideo);
    if (covers > 0) options.notes << QStringLiteral("the source's cover picture is not kept");
    if (data > 0)
        options.notes << QStringLiteral(
                             "the source's %1 data tracks (such as time codes) are "
                             "not kept")
                             .arg(data);
    return options;
}

int ClampVideoBitRate(qint64 rate)
{
    return static_cast<int>(std::clamp<qint64>(rate, kMinVideoBitRate, INT_MAX));
}

int ContainerBaseRate(qint64 formatBitRate)
{
    return static_cast<int>(std::clamp<qint64>(formatBitRate, INT_MIN, INT_MAX));
}

void FitPictureToEncoder(const VideoTask& task, CommandPlan& plan)
{
    // Templates 7, 8 and 10 write h264; a kept container re-encodes with the source's codec.
    static const std::array<std::string, 4> kEvenOnly = {"h264", "hevc", "libx264", "libx265"};
    const int template_ = plan.templateNumber;
    const bool h264 = template_ == 7 || template_ == 8 || template_ == 10;
    const bool kept = plan.keepContainer && std::find(kEvenOnly.begin(), kEvenOnly.end(),
                                                      plan.videoCodec) != kEvenOnly.end();
    if (!h264 && !kept) return;
    if (!plan.sizeText.isEmpty()) {
        const QStringList sides = plan.sizeText.split(u'*');
        const int width = sides.value(0).toInt(), height = sides.value(1).toInt();
        if (width % 2 == 0 && height % 2 == 0) return;
        plan.sizeText = Number(std::max(2, width & ~1)) + u'*' + Number(std::max(2, height & ~1));
    } else if (task.width % 2 != 0 || task.height % 2 != 0) {
        plan.videoFilter = QStringLiteral("scale=trunc(iw/2)*2:trunc(ih/2)*2");
    }
}

FfmpegCommand RenderCommand(const CommandPlan& plan, const QString& encoder,
                            const QString& sourcePath, const QString& outputPath)
{
    std::vector<Token> tokens = Tokenize(QString::fromLatin1(CommandTemplate(plan.templateNumber)));

    // Each placeholder is filled with the value its option names; the first token is the
    // encoder and the last the output.
    auto valueFor = [&](size_t index) -> QString {
        if (index == 0) return encoder;
        if (index + 1 == tokens.size()) return SafePath(outputPath);
        const QString& option = tokens[index - 1].text;
        if (option == QLatin1String("-i")) return SafePath(sourcePath);
        if (option == QLatin1String("-s")) return plan.sizeText;
        if (option == QLatin1String("-r")) return plan.frameRate;
        if (option == QLatin1String("-vcodec")) return QString::fromStdString(plan.videoCodec);
        if (option == QLatin1String("-b:v")) return Number(plan.videoBitRate);
        if (option == QLatin1String("-acodec")) return QString::fromStdString(plan.audioCodec);
        if (option == QLatin1String("-preset")) return plan.preset;
        if (option == QLatin1String("-ab")) return Number(plan.audioBitRate);
        if (option == QLatin1String("-ar")) return Number(plan.sampleRate);
        if (option == QLatin1String("-ac")) return Number(plan.channels);
        return {};
    };
    std::vector<QString> values(tokens.size());
    for (size_t i = 0; i < tokens.size(); ++i) values[i] = valueFor(i);

    // Options that cannot work for this source are left out with their values.
    auto drop = [&](const char* option) {
        for (size_t i = 1; i + 1 < tokens.size(); ++i) {
            if (tokens[i].text == QLatin1String(option))
                tokens[i].dropped = tokens[i + 1].dropped = true;
        }
    };
    if (plan.frameRate.isEmpty()) drop("-r");
    if (plan.keepContainer) {
        if (!plan.withAudio) {
            for (const char* option : {"-acodec", "-ab", "-ar", "-ac"}) drop(option);
        } else {
            if (plan.sampleRate <= 0) drop("-ar");
            if (plan.channels <= 0) drop("-ac");
        }
    }

    FfmpegCommand command;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        if (token.dropped) continue;
        if (i + 1 == tokens.size() && !plan.videoFilter.isEmpty()) {
            command.text += QStringLiteral(" -vf ") + plan.videoFilter;
            command.arguments << QStringLiteral("-vf") << plan.videoFilter;
        }
        QString filled = token.text;
        const qsizetype at =
            std::max(filled.indexOf(QLatin1String("%s")), filled.indexOf(QLatin1String("%d")));
        if (at >= 0) filled.replace(at, 2, values[i]);
        command.text += token.lead + filled;
        QString argument = IsQuoted(token.text) ? filled.mid(1, filled.size() - 2) : filled;
        if (i == 0)
            command.program = argument;
        else
            command.arguments.append(argument);
    }
    return command;
}

namespace {

// The printed form of a changed command line: arguments with blanks, and paths, in quotes.
QString CommandText(const QString& program, const QStringList& arguments)
{
    QString text = u'"' + program + u'"';
    for (const QString& argument : arguments) {
        const bool quoted = argument.contains(u' ') || argument.startsWith(u'/');
        text += u' ' + (quoted ? u'"' + argument + u'"' : argument);
    }
    return text;
}

void RemoveOption(QStringList& arguments, const char* option)
{
    const qsizetype at = arguments.indexOf(QLatin1String(option));
    if (at >= 0 && at + 1 < arguments.size()) arguments.remove(at, 2);
}

// Options go before the output, the last argument.
void InsertBeforeOutput(QStringList& arguments, const QStringList& options)
{
    for (const QString& option : options) arguments.insert(arguments.size() - 1, option);
}

// Source codecs (as a kept container names them after PlanCommand's special cases) whose
// ffmpeg encoder reads a first pass's statistics: x264, x265, ffmpeg's own MPEG-family
// encoders and libvpx.
constexpr std::array<const char*, 18> kTwoPassCodecs = {
    "h264",      "libx264",   "hevc", "libx265", "mpeg4",      "msmpeg4",
    "msmpeg4v2", "msmpeg4v3", "wmv1", "wmv2",    "mpeg1video", "mpeg2video",
    "h263",      "h263p",     "flv1", "vp8",     "vp9",        "theora"};

// The encoder whose pass options the plan's runs take: PlanEncoder's for a plan with the
// encoder choices, "mpeg4" in compatible mode, the source's codec in a kept container.
QString PassEncoder(const CommandPlan& plan, const EncoderPlan* encoder)
{
    if (encoder) return encoder->encoder;
    if (plan.keepContainer) return QString::fromStdString(plan.videoCodec);
    return QStringLiteral("mpeg4");
}

bool IsX265(const QString& encoder)
{
    return encoder == QLatin1String("libx265") || encoder == QLatin1String("hevc");
}

// The options of one of two passes: x265's through its parameter string (its ffmpeg wrapper
// ignores "-pass"), every other encoder's through "-pass" and "-passlogfile".
QStringList PassOptions(const QString& encoder, int pass, const QString& passFolder)
{
    const QString folder = passFolder.endsWith(u'/') ? passFolder.chopped(1) : passFolder;
    if (IsX265(encoder)) {
        // x265's first pass runs at its full settings unless told to go fast, which makes two
        // passes cost twice one; its fast first pass serves the second as well.
        return {QStringLiteral("-x265-params"),
                QStringLiteral("pass=%1:stats=%2/x265.log").arg(pass).arg(folder) +
                    (pass == 1 ? QStringLiteral(":slow-firstpass=0") : QString())};
    }
    QStringList options{QStringLiteral("-pass"), QString::number(pass),
                        QStringLiteral("-passlogfile"), folder + QStringLiteral("/pass")};
    // x264's fast first pass also lowers the subpixel refinement to 2, and on thin sources such
    // as scrolling text its statistics then misjudge the frames: at 30 % of a screen
    // recording's rate the second pass wrote SSIM 0.83 where one constant-quality pass gives
    // 0.89 at the same bytes. This first pass takes the fast pass's other shortcuts but keeps
    // the preset's refinement: SSIM 0.94 there, for the same cost on text and a fifth more
    // (both passes 6 % more) on camera footage, where the files come out the same.
    if (pass == 1 && (encoder == QLatin1String("libx264") || encoder == QLatin1String("h264")))
        options << QStringLiteral("-fastfirstpass") << QStringLiteral("0")
                << QStringLiteral("-x264-params")
                << QStringLiteral("ref=1:me=dia:trellis=0:8x8dct=0:partitions=none:fast-pskip=1");
    return options;
}

// libsvtav1's ffmpeg wrapper reads no first pass, and libaom-av1's two passes took 6.6 times
// x264 medium's CPU time on the same clip (and missed the bit rate by 60 %).
constexpr char kNoAv1TwoPass[] =
    "two-pass does not apply to AV1: its fast encoder here reads no first pass; one pass at "
    "the same bit rate";

QString CodecWord(int codec)
{
    return codec == videocodec::kH265 ? QStringLiteral("H.265") : QStringLiteral("AV1");
}

// The choices on the plan that this task cannot take, each in one sentence.
QStringList ChoiceNotes(const CommandPlan& plan)
{
    QStringList notes;
    const bool choices = TakesEncoderChoices(plan);
    const QString written = plan.keepContainer ? QStringLiteral("the source's codec")
                            : choices          ? QStringLiteral("H.264")
                                               : QStringLiteral("MPEG-4 (compatible mode)");
    if ((plan.codec == videocodec::kH265 || plan.codec == videocodec::kAv1) &&
        EffectiveCodec(plan) != plan.codec) {
        notes << QStringLiteral(
                     "%1 applies to MP4 and MKV files written to a new container; "
                     "this file is written with %2")
                     .arg(CodecWord(plan.codec), written);
    }
    if (plan.qualityMode && !choices) {
        notes << QStringLiteral(
                     "quality mode applies to files written to a new container with "
                     "H.264, H.265 or AV1; this file is written with %1 at the "
                     "strength's bit rate")
                     .arg(written);
    }
    if (plan.twoPass && UsesConstantQuality(plan)) {
        notes << QStringLiteral(
            "two-pass does not apply to quality mode: one constant-quality "
            "pass");
    } else if (plan.twoPass && EffectiveCodec(plan) == videocodec::kAv1) {
        notes << QString::fromLatin1(kNoAv1TwoPass);
    } else if (plan.twoPass && !RunsTwoPasses(plan)) {
        notes << QStringLiteral("two-pass does not apply to the %1 encoder: one pass")
                     .arg(QString::fromStdString(plan.videoCodec));
    }
    return notes;
}

}  // namespace

bool TakesEncoderChoices(const CommandPlan& plan)
{
    return plan.templateNumber == 7 || plan.templateNumber == 8 || plan.templateNumber == 10;
}

int EffectiveCodec(const CommandPlan& plan)
{
    if (!TakesEncoderChoices(plan)) return videocodec::kH264;
    if (plan.extension != QLatin1String("mp4") && plan.extension != QLatin1String("mkv"))
        return videocodec::kH264;
    return plan.codec == videocodec::kH265 || plan.codec == videocodec::kAv1 ? plan.codec
                                                                             : videocodec::kH264;
}

bool UsesConstantQuality(const CommandPlan& plan)
{
    return TakesEncoderChoices(plan) && plan.qualityMode;
}

bool RunsTwoPasses(const CommandPlan& plan)
{
    if (!plan.twoPass || UsesConstantQuality(plan)) return false;
    // No AV1 encoder here does two passes within the CPU budget (see ChoiceNotes).
    if (EffectiveCodec(plan) == videocodec::kAv1) return false;
    if (!plan.keepContainer) return true;
    return std::any_of(kTwoPassCodecs.begin(), kTwoPassCodecs.end(),
                       [&plan](const char* codec) { return plan.videoCodec == codec; });
}

QString PassLogRoot()
{
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    // Relative values are to be ignored, as every XDG base folder's.
    if (!cache.startsWith(u'/')) cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/LumoCompress");
}

EncoderRuns RenderEncoderRuns(const CommandPlan& plan, const QString& encoder,
                              const QString& sourcePath, const QString& outputPath,
                              const QString& passFolder, const QString& av1Encoder)
{
    EncoderRuns result;
    result.notes = ChoiceNotes(plan);
    FfmpegCommand command = RenderCommand(plan, encoder, sourcePath, outputPath);
    const bool twoPass = RunsTwoPasses(plan);
    const bool choices = TakesEncoderChoices(plan) &&
                         (EffectiveCodec(plan) != videocodec::kH264 || plan.qualityMode || twoPass);
    if (!choices && !twoPass && !plan.keepTracks) {
        result.runs.push_back(command);
        return result;
    }

    QStringList& arguments = command.arguments;
    const TrackOptions tracks = PlanTrackOptions(plan);
    result.notes << tracks.notes;
    std::optional<EncoderPlan> encoderPlan;
    if (choices) {
        encoderPlan = PlanEncoder(plan, av1Encoder);
        // The plan's options stand where the template's "-vcodec" stood.
        const qsizetype at = arguments.indexOf(QStringLiteral("-vcodec"));
        for (const char* option : {"-vcodec", "-preset", "-b:v"}) RemoveOption(arguments, option);
        const QStringList options = EncoderArguments(*encoderPlan);
        for (qsizetype i = 0; i < options.size(); ++i) arguments.insert(at + i, options[i]);
    }
    if (!twoPass) {
        InsertBeforeOutput(arguments, tracks.output);
        command.text = CommandText(command.program, arguments);
        result.runs.push_back(command);
        return result;
    }

    // Both passes must see the same frames: an explicit frame-rate handling, since without one
    // each muxer picks its own (the null muxer passes frames through where MP4 repeats one to
    // keep the rate, and x264 then stops on a statistics file one frame short).
    // A command with "-r" keeps that rate (as MP4 does by itself), any other the source's
    // timestamps.
    const bool rate = arguments.contains(QStringLiteral("-r"));
    InsertBeforeOutput(arguments, {QStringLiteral("-fps_mode"),
                                   rate ? QStringLiteral("cfr") : QStringLiteral("vfr")});
    const QString passEncoder = PassEncoder(plan, encoderPlan ? &*encoderPlan : nullptr);

    FfmpegCommand first = command;
    for (const char* option : {"-acodec", "-ab", "-ar", "-ac", "-tag:v"})
        RemoveOption(first.arguments, option);
    first.arguments.removeLast();
    first.arguments << tracks.firstPass << PassOptions(passEncoder, 1, passFolder)
                    << QStringLiteral("-an") << QStringLiteral("-f") << QStringLiteral("null")
                    << QStringLiteral("/dev/null");
    first.text = CommandText(first.program, first.arguments);

    FfmpegCommand second = command;
    InsertBeforeOutput(second.arguments, tracks.output);
    InsertBeforeOutput(second.arguments, PassOptions(passEncoder, 2, passFolder));
    second.text = CommandText(second.program, second.arguments);
    result.runs = {first, second};
    return result;
}
