// SPDX-License-Identifier: GPL-3.0-or-later
#include "CliOptions.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <array>
#include <functional>

#include "ConsoleText.h"
#include "core/app/Paths.h"
#include "core/app/Settings.h"

namespace {

// The words of the settings' choices, and the rows of the main page's and the settings
// dialog's lists.
using choices::kAudioBitrates;
using choices::kContainers;
using choices::kImageFormats;
using choices::kImageStrengths;
using choices::kSampleRates;
using choices::kVideoCodecs;
using choices::kVideoStrengths;
constexpr const auto& kChannels = choices::kAudioChannels;
constexpr int kScaleCount = choices::kImageRatioRows;
constexpr int kGifDropCount = choices::kGifDropFrameRows;
constexpr int kOutputDirMax = settings::kOutputDir.capacity - 1;  // what "output-dir" holds

template <size_t N>
QString Join(const std::array<Choice, N>& rows)
{
    QStringList list;
    for (const Choice& row : rows) list << QString::fromLatin1(row.word);
    return list.join(u'|');
}

template <size_t N>
QString JoinNumbers(const std::array<int, N>& numbers)
{
    QStringList list;
    for (int number : numbers) list << QString::number(number);
    return list.join(u'|');
}

// The word of an index, or the number itself when the file holds a value beyond the list.
template <size_t N>
QString WordOf(const std::array<Choice, N>& rows, int index)
{
    if (index >= 0 && index < static_cast<int>(N)) return QString::fromLatin1(rows[index].word);
    return QString::number(index);
}

template <size_t N>
std::optional<int> IndexOf(const std::array<Choice, N>& rows, const QString& value)
{
    for (size_t i = 0; i < N; ++i)
        if (value == QLatin1String(rows[i].word)) return static_cast<int>(i);
    return std::nullopt;
}

template <size_t N>
bool IsOneOf(const std::array<int, N>& numbers, int value)
{
    return std::find(numbers.begin(), numbers.end(), value) != numbers.end();
}

// A whole decimal number without sign or blanks; nullopt otherwise.
std::optional<int> ReadNumber(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (!digits.match(text).hasMatch()) return std::nullopt;
    return text.toInt();
}

// "WxH" with two positive numbers.
std::optional<QSize> ReadSize(const QString& text)
{
    const QStringList parts = text.toLower().split(u'x');
    if (parts.size() != 2) return std::nullopt;
    const auto width = ReadNumber(parts[0]);
    const auto height = ReadNumber(parts[1]);
    if (!width || !height || *width <= 0 || *height <= 0) return std::nullopt;
    return QSize(*width, *height);
}

// A byte count: whole bytes ("300000"), or a number with K, M or G ("500K", "25M", "1.5G"),
// powers of 1024 as every size the program prints; the fraction's bytes are rounded down. Zero,
// a sign, a blank or another unit is none.
std::optional<qint64> ReadByteCount(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^([0-9]{1,13})(?:\\.([0-9]{1,6}))?([KMG])?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) return std::nullopt;
    const QString unit = match.captured(3).toUpper();
    if (unit.isEmpty() && !match.captured(2).isEmpty())
        return std::nullopt;  // no fraction of a byte
    const int shift = unit == u"K" ? 10 : unit == u"M" ? 20 : unit == u"G" ? 30 : 0;
    const double bytes =
        (match.captured(1) + u'.' + match.captured(2) + u'0').toDouble() * double(1LL << shift);
    if (bytes < 1 || bytes > double(1LL << 50)) return std::nullopt;
    return static_cast<qint64>(bytes);
}

QString SizeText(int width, int height)
{
    return QStringLiteral("%1x%2").arg(width).arg(height);
}

using Apply = std::function<bool(const QString& value, CliOptions& options)>;
using Shown = std::function<QString(const RunValues& values)>;

struct OptionSpec {
    const char* group;
    const char* name;   // without "--"
    const char* value;  // what the value looks like; null for a switch
    QString help;
    Shown shown;      // the default in this run; null when there is none to tell
    Apply apply;      // false: the value is not allowed
    QString allowed;  // for the error message
};

const std::vector<OptionSpec>& Options()
{
    static const std::vector<OptionSpec> options = [] {
        std::vector<OptionSpec> list;
        // Videos.
        list.push_back({"Videos", "video-strength", "general|deep|limit",
                        "compression strength: the video bit rate kept is 50, 30 or 10 % of the "
                        "source's",
                        [](const RunValues& v) { return WordOf(kVideoStrengths, v.compressType); },
                        [](const QString& s, CliOptions& o) {
                            const auto i = IndexOf(kVideoStrengths, s);
                            if (i) o.values.compressType = *i;
                            return i.has_value();
                        },
                        Join(kVideoStrengths)});
        list.push_back({"Videos", "container", "keep|mp4|flv|mov|mkv",
                        "output container; keep writes the source's (avi, rm, rmvb, divx, dat and "
                        "ogv sources become mp4)",
                        [](const RunValues& v) { return WordOf(kContainers, v.videoType); },
                        [](const QString& s, CliOptions& o) {
                            const auto i = IndexOf(kContainers, s);
                            if (i) o.values.videoType = *i;
                            return i.has_value();
                        },
                        Join(kContainers)});
        QStringList resolutions{QStringLiteral("keep")};
        for (const Resolution& size : choices::kResolutions)
            if (size.width) resolutions << SizeText(size.width, size.height);
        list.push_back({"Videos", "resolution", "keep|WxH",
                        "output picture size, one of the main page's: " +
                            resolutions.mid(1).join(QStringLiteral(", ")),
                        [](const RunValues& v) {
                            return v.width && v.height ? SizeText(v.width, v.height)
                                                       : QStringLiteral("keep");
                        },
                        [](const QString& s, CliOptions& o) {
                            if (s == QLatin1String("keep")) {
                                o.values.width = o.values.height = 0;
                                return true;
                            }
                            const auto size = ReadSize(s);
                            const auto known = [&](const Resolution& row) {
                                return row.width && QSize(row.width, row.height) == *size;
                            };
                            if (!size || std::none_of(choices::kResolutions.begin(),
                                                      choices::kResolutions.end(), known))
                                return false;
                            o.values.width = size->width();
                            o.values.height = size->height();
                            return true;
                        },
                        resolutions.join(u'|')});
        list.push_back({"Videos", "bitrate-percent", "off|0..100",
                        "the main page's bit-rate slider: keep 100-N % of the source's video bit "
                        "rate, for every video and in place of the strength",
                        [](const RunValues& v) {
                            return v.bitRateSlider ? QString::number(*v.bitRateSlider)
                                                   : QStringLiteral("off");
                        },
                        [](const QString& s, CliOptions& o) {
                            if (s == QLatin1String("off")) {
                                o.values.bitRateSlider.reset();
                                return true;
                            }
                            const auto n = ReadNumber(s);
                            if (!n || *n > 100) return false;
                            o.values.bitRateSlider = *n;
                            return true;
                        },
                        QStringLiteral("off or 0 to 100")});
        list.push_back({"Videos",
                        "balanced",
                        nullptr,
                        "balanced mode: the encoder preset \"fast\" instead of \"ultrafast\" "
                        "(smaller files, slower)",
                        [](const RunValues& v) { return v.balanced ? "on" : "off"; },
                        [](const QString&, CliOptions& o) { return o.values.balanced = true; },
                        {}});
        list.push_back({"Videos",
                        "compatible",
                        nullptr,
                        "compatible mode: mp4 outputs in a new container use MPEG-4 Part 2 "
                        "video instead of H.264",
                        [](const RunValues& v) { return v.compatible ? "on" : "off"; },
                        [](const QString&, CliOptions& o) { return o.values.compatible = true; },
                        {}});
        list.push_back({"Videos", "video-codec", "h264|h265|av1",
                        "video encoder of mp4 and mkv outputs in a new container: H.264 (the "
                        "usual command lines), H.265 (libx265) or AV1 (libsvtav1, else "
                        "libaom-av1)",
                        [](const RunValues& v) { return WordOf(kVideoCodecs, v.codec); },
                        [](const QString& s, CliOptions& o) {
                            const auto i = IndexOf(kVideoCodecs, s);
                            if (i) o.values.codec = *i;
                            return i.has_value();
                        },
                        Join(kVideoCodecs)});
        list.push_back({"Videos", "video-mode", "bitrate|quality",
                        "bitrate: the strength's share of the source's bit rate; quality: a "
                        "constant quality per strength, never above the source's bit rate",
                        [](const RunValues& v) {
                            return v.qualityMode ? QStringLiteral("quality")
                                                 : QStringLiteral("bitrate");
                        },
                        [](const QString& s, CliOptions& o) {
                            if (s != QLatin1String("bitrate") && s != QLatin1String("quality"))
                                return false;
                            o.values.qualityMode = s == QLatin1String("quality");
                            return true;
                        },
                        QStringLiteral("bitrate|quality")});
        list.push_back({"Videos",
                        "two-pass",
                        nullptr,
                        "two passes at the medium preset for the same bit rate (bitrate mode; "
                        "slower, better looking)",
                        [](const RunValues& v) { return v.twoPass ? "on" : "off"; },
                        [](const QString&, CliOptions& o) { return o.values.twoPass = true; },
                        {}});
        list.push_back({"Videos",
                        "keep-tracks",
                        nullptr,
                        "keep every audio track, the subtitles the output's container holds, "
                        "the chapters and the source's metadata (title, creation time, rotation)",
                        [](const RunValues& v) { return v.keepTracks ? "on" : "off"; },
                        [](const QString&, CliOptions& o) { return o.values.keepTracks = true; },
                        {}});
        list.push_back({"Videos", "audio-channels", "1|2",
                        "audio channels of a video written to a new container",
                        [](const RunValues& v) { return QString::number(v.channel); },
                        [](const QString& s, CliOptions& o) {
                            const auto n = ReadNumber(s);
                            if (!n || !IsOneOf(kChannels, *n)) return false;
                            o.values.channel = *n;
                            return true;
                        },
                        JoinNumbers(kChannels)});
        list.push_back({"Videos", "audio-rate", "HZ",
                        "audio sample rate of a video written to a new container: 96000, 88200, "
                        "64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000 "
                        "or 7350",
                        [](const RunValues& v) { return QString::number(v.sampleRate); },
                        [](const QString& s, CliOptions& o) {
                            const auto n = ReadNumber(s);
                            if (!n || !IsOneOf(kSampleRates, *n)) return false;
                            o.values.sampleRate = *n;
                            return true;
                        },
                        JoinNumbers(kSampleRates)});
        list.push_back({"Videos", "audio-bitrate", "BPS",
                        "audio bit rate of a video written to a new container: 320000, 128000, "
                        "96000 or 64000",
                        [](const RunValues& v) { return QString::number(v.bitrate); },
                        [](const QString& s, CliOptions& o) {
                            const auto n = ReadNumber(s);
                            if (!n || !IsOneOf(kAudioBitrates, *n)) return false;
                            o.values.bitrate = *n;
                            return true;
                        },
                        JoinNumbers(kAudioBitrates)});
        // Images.
        list.push_back(
            {"Images", "image-strength", "general|deep|limit",
             "compression strength: JPEG quality 80, 65 or 55 % of the source's; PNG "
             "and BMP reduced to 256, 220 or 200 colours; more colour fuzz in GIFs",
             [](const RunValues& v) { return WordOf(kImageStrengths, v.imageCompressType); },
             [](const QString& s, CliOptions& o) {
                 const auto i = IndexOf(kImageStrengths, s);
                 if (i) o.values.imageCompressType = *i;
                 return i.has_value();
             },
             Join(kImageStrengths)});
        list.push_back({"Images", "image-format", "keep|jpg|webp|avif",
                        "output format: the source's (HEIF becomes .heic, TIFF .tiff), or JPEG, "
                        "WebP or AVIF for every image",
                        [](const RunValues& v) { return WordOf(kImageFormats, v.imageType); },
                        [](const QString& s, CliOptions& o) {
                            const auto i = IndexOf(kImageFormats, s);
                            if (i) o.values.imageType = *i;
                            return i.has_value();
                        },
                        Join(kImageFormats)});
        list.push_back({"Images", "scale", "0..5",
                        "0 keeps the size; 1 to 5 keep 90, 80, 70, 60 or 50 % of the width "
                        "(aspect kept); not used with --size",
                        [](const RunValues& v) { return QString::number(v.ratioIndex); },
                        [](const QString& s, CliOptions& o) {
                            const auto n = ReadNumber(s);
                            if (!n || *n >= kScaleCount) return false;
                            o.values.ratioIndex = *n;
                            return true;
                        },
                        QStringLiteral("0 to 5")});
        list.push_back({"Images", "size", "none|WxH",
                        "the custom size box: fit every image within W x H pixels (never "
                        "enlarged, aspect kept)",
                        [](const RunValues& v) {
                            return v.customSize
                                       ? SizeText(v.customSize->width(), v.customSize->height())
                                       : QStringLiteral("none");
                        },
                        [](const QString& s, CliOptions& o) {
                            if (s == QLatin1String("none")) {
                                o.values.customSize.reset();
                                return true;
                            }
                            const auto size = ReadSize(s);
                            if (size) o.values.customSize = size;
                            return size.has_value();
                        },
                        QStringLiteral("none or WxH")});
        list.push_back({"Images", "gif-drop", "off|0..4",
                        "GIF frame dropping: besides the first frame, drop every 6th, 5th, 4th, "
                        "3rd or 2nd frame",
                        [](const RunValues& v) {
                            return v.gifDefineParam ? QString::number(v.gifDropFrameIndex)
                                                    : QStringLiteral("off");
                        },
                        [](const QString& s, CliOptions& o) {
                            if (s == QLatin1String("off")) {
                                o.values.gifDefineParam = 0;
                                return true;
                            }
                            const auto n = ReadNumber(s);
                            if (!n || *n >= kGifDropCount) return false;
                            o.values.gifDefineParam = 1;
                            o.values.gifDropFrameIndex = *n;
                            return true;
                        },
                        QStringLiteral("off or 0 to 4")});
        list.push_back(
            {"Images", "image-workers", "N",
             "images compressed at once, 1 to 64; they share one memory budget",
             [](const RunValues&) {
                 return QStringLiteral("%1, the machine's cores").arg(QThread::idealThreadCount());
             },
             [](const QString& s, CliOptions& o) {
                 const auto n = ReadNumber(s);
                 if (!n || *n < 1 || *n > 64) return false;
                 o.imageWorkers = *n;
                 return true;
             },
             QStringLiteral("1 to 64")});
        // Both.
        list.push_back({"Output", "output", "DIR",
                        "folder the compressed files go to (created when missing); a name taken "
                        "gets (2), (3), ...",
                        [](const RunValues& v) {
                            return v.outputDir.trimmed().isEmpty()
                                       ? QStringLiteral(
                                             "the default, \"%1\" on the Desktop "
                                             "or in Documents")
                                             .arg(QString::fromUtf8(kDefaultOutputFolderName))
                                       : v.outputDir.trimmed();
                        },
                        [](const QString& s, CliOptions& o) {
                            if (s.trimmed().isEmpty()) return false;
                            const QString path = QFileInfo(s).absoluteFilePath();
                            if (path.size() > kOutputDirMax) return false;
                            o.values.outputDir = path;
                            return true;
                        },
                        QStringLiteral("a folder path of at most 259 characters")});
        list.push_back({"Output", "place", "flat|tree|beside|in-place",
                        "where outputs go: flat in the output folder; tree, the output folder "
                        "with each folder named and the folders below it; beside, next to the "
                        "source with --suffix added to the name; in-place, in the source's "
                        "place when smaller (the original goes to the trash, its dates and "
                        "photo information stay)",
                        [](const RunValues& v) { return WordOf(choices::kPlaces, v.place.place); },
                        [](const QString& s, CliOptions& o) {
                            const auto i = IndexOf(choices::kPlaces, s);
                            if (i) o.values.place.place = *i;
                            return i.has_value();
                        },
                        Join(choices::kPlaces)});
        list.push_back({"Output", "suffix", "TEXT",
                        "what --place beside adds to the source's name before the extension",
                        [](const RunValues& v) { return v.place.suffix; },
                        [](const QString& s, CliOptions& o) {
                            if (!PlaceSuffixProblem(s).isEmpty()) return false;
                            o.values.place.suffix = s;
                            return true;
                        },
                        QStringLiteral("a text without \"/\", not empty and not only dots")});
        list.push_back({"Output",
                        "skip-larger",
                        nullptr,
                        "keep no output that is not smaller than its source (the original is "
                        "already smaller)",
                        [](const RunValues& v) { return v.keepSmaller ? "on" : "off"; },
                        [](const QString&, CliOptions& o) { return o.values.keepSmaller = true; },
                        {}});
        list.push_back({"Output",
                        "look",
                        nullptr,
                        "same look, smallest file: search the encoder setting (a video's CRF, a "
                        "JPEG, WebP or AVIF image's quality) that keeps the strength's look "
                        "(SSIM) in the smallest file; videos with --video-mode quality in a new "
                        "container",
                        [](const RunValues& v) { return v.look ? "on" : "off"; },
                        [](const QString&, CliOptions& o) { return o.values.look = true; },
                        {}});
        list.push_back({"Output", "max-size", "none|SIZE",
                        "every output fits under SIZE: bytes, or with K, M or G (1024-based: "
                        "KiB, MiB, GiB), e.g. 500K, 25M, 1.5G; a video's bit rate, an image's "
                        "quality and scale are chosen for it; before --look",
                        [](const RunValues& v) {
                            return v.maxBytes > 0 ? console::IecSize(v.maxBytes)
                                                  : QStringLiteral("none");
                        },
                        [](const QString& s, CliOptions& o) {
                            if (s == QLatin1String("none")) {
                                o.values.maxBytes = 0;
                                return true;
                            }
                            const auto bytes = ReadByteCount(s);
                            if (bytes) o.values.maxBytes = *bytes;
                            return bytes.has_value();
                        },
                        QStringLiteral("none or a size above 0: bytes, or a number with K, M or "
                                       "G (1024-based), e.g. 500K, 25M, 1.5G")});
        list.push_back({"Output",
                        "keep-dates",
                        nullptr,
                        "the output takes its source's modification and access times",
                        [](const RunValues& v) { return v.keepDates ? "on" : "off"; },
                        [](const QString&, CliOptions& o) { return o.values.keepDates = true; },
                        {}});
        list.push_back({"Output",
                        "keep-photo-info",
                        nullptr,
                        "an image output keeps its source's EXIF, XMP, IPTC and PNG text (date "
                        "taken, camera, lens, exposure), the orientation reading normal; its "
                        "location is removed unless --keep-location",
                        [](const RunValues& v) { return v.keepPhotoInfo ? "on" : "off"; },
                        [](const QString&, CliOptions& o) { return o.values.keepPhotoInfo = true; },
                        {}});
        list.push_back({"Output",
                        "keep-location",
                        nullptr,
                        "with --keep-photo-info, the location (GPS and place names) is kept as "
                        "well; alone it changes nothing",
                        [](const RunValues& v) { return v.keepLocation ? "on" : "off"; },
                        [](const QString&, CliOptions& o) { return o.values.keepLocation = true; },
                        {}});
        list.push_back({"Output",
                        "recursive",
                        nullptr,
                        "also scan the subfolders of a folder (hidden ones are left out; a link "
                        "only to a folder inside it)",
                        nullptr,
                        [](const QString&, CliOptions& o) { return o.recursive = true; },
                        {}});
        list.push_back({"Output",
                        "json",
                        nullptr,
                        "print one JSON object per finished file instead of progress and the "
                        "table",
                        nullptr,
                        [](const QString&, CliOptions& o) { return o.json = true; },
                        {}});
        list.push_back({"Output",
                        "quiet",
                        nullptr,
                        "no progress, no result lines and no table; failures are still named "
                        "on stderr (and --json still prints its records)",
                        nullptr,
                        [](const QString&, CliOptions& o) { return o.quiet = true; },
                        {}});
        list.push_back({"Output",
                        "dry-run",
                        nullptr,
                        "print each file and the output it would be written to; nothing is "
                        "compressed or written",
                        nullptr,
                        [](const QString&, CliOptions& o) { return o.dryRun = true; },
                        {}});
        list.push_back({"Output",
                        "verbose",
                        nullptr,
                        "print the engines' diagnostic lines (command lines included) on stderr",
                        nullptr,
                        [](const QString&, CliOptions& o) { return o.verbose = true; },
                        {}});
        return list;
    }();
    return options;
}

ParsedCommandLine UsageError(const QString& message)
{
    ParsedCommandLine parsed;
    parsed.action = ParsedCommandLine::Action::UsageError;
    parsed.error = message;
    return parsed;
}

}  // namespace

QString UserSettingsFile()
{
    return GetSpecialFolder(SpecialFolder::AppData) + u'/' + QString::fromUtf8(kConfigFolder) +
           QStringLiteral("/configure.ini");
}

RunValues RunValues::FromSettingsFile(const QString& path)
{
    const CompressSettings video = ReadCompressSettings(path);
    const ImageSettings image = ReadImageSettings(path);
    RunValues values;
    values.compressType = video.compressType;
    values.videoType = video.videoType;
    values.width = video.width;
    values.height = video.height;
    values.channel = video.channel;
    values.sampleRate = video.sampleRate;
    values.bitrate = video.bitrate;
    values.codec = video.codec;
    values.keepSmaller = ReadSettingFrom(path, settings::kKeepSmaller) != 0;
    values.look = image.look;
    values.maxBytes = image.maxBytes;
    values.keepDates = image.keepDates;
    values.keepTracks = ReadSettingFrom(path, settings::kKeepTracks) != 0;
    values.keepPhotoInfo = image.keepPhotoInfo;
    values.keepLocation = image.keepLocation;
    values.place = image.place;
    values.imageCompressType = image.compressType;
    values.imageType = image.imageType;
    values.ratioIndex = image.ratioIndex;
    values.gifDefineParam = image.gifDefineParam;
    values.gifDropFrameIndex = image.gifDropFrameIndex;
    values.outputDir = ReadSettingFrom(path, settings::kOutputDir);
    return values;
}

VideoSettings RunValues::Video(bool createFolder) const
{
    VideoSettings values;
    values.settings.compressType = compressType;
    values.settings.videoType = videoType;
    values.settings.width = width;
    values.settings.height = height;
    values.settings.channel = channel;
    values.settings.sampleRate = sampleRate;
    values.settings.bitrate = bitrate;
    values.settings.codec = codec;
    values.page.qualityMode = qualityMode;
    values.page.twoPass = twoPass;
    values.keepSmaller = keepSmaller;
    values.page.bitRateChecked = bitRateSlider.has_value();
    values.page.bitRateSlider = bitRateSlider.value_or(0);
    values.page.balancedChecked = balanced;
    values.page.compatibleChecked = compatible;
    values.page.keepTracks = keepTracks;
    values.keepDates = keepDates;
    values.look = look;
    values.maxBytes = maxBytes;
    values.place = place;
    values.outputFolder =
        createFolder ? ResolveOutputFolder(outputDir) : PlannedOutputFolder(outputDir);
    return values;
}

ImageSettings RunValues::Image() const
{
    ImageSettings values;
    values.compressType = imageCompressType;
    values.imageType = imageType;
    values.ratioIndex = ratioIndex;
    values.gifDefineParam = gifDefineParam;
    values.gifDropFrameIndex = gifDropFrameIndex;
    values.keepSmaller = keepSmaller;
    values.look = look;
    values.maxBytes = maxBytes;
    values.keepDates = keepDates;
    values.keepPhotoInfo = keepPhotoInfo;
    values.keepLocation = keepLocation;
    values.place = place;
    if (customSize) {
        values.page.defineParam = true;
        values.page.widthText = QString::number(customSize->width());
        values.page.heightText = QString::number(customSize->height());
    }
    values.outputFolder = ResolveOutputFolder(outputDir);
    return values;
}

ParsedCommandLine ParseCommandLine(const QStringList& arguments, const RunValues& defaults)
{
    // The parser splits the words ("--scale=3", "--scale 3", "-r", "--"); the option table says
    // what each option takes, checks its value and writes the help.
    QCommandLineParser parser;
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    parser.addOption(QCommandLineOption(QStringLiteral("version")));
    for (const OptionSpec& entry : Options()) {
        QStringList names{QString::fromLatin1(entry.name)};
        if (names[0] == u"recursive") names.prepend(QStringLiteral("r"));
        parser.addOption(
            entry.value ? QCommandLineOption(names, entry.help, QString::fromLatin1(entry.value))
                        : QCommandLineOption(names, entry.help));
    }
    if (!parser.parse(QStringList{QStringLiteral("lumocompress-cli")} + arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            const QString& name = unknown.first();
            return UsageError(
                QStringLiteral("unknown option %1%2 (see --help)")
                    .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name));
        }
        return UsageError(parser.errorText() + QStringLiteral(" (see --help)"));
    }

    ParsedCommandLine parsed;
    parsed.action = ParsedCommandLine::Action::Run;
    parsed.options.values = defaults;
    CliOptions& options = parsed.options;
    for (const OptionSpec& entry : Options()) {
        const QString name = QString::fromLatin1(entry.name);
        if (!entry.value) {
            if (parser.isSet(name)) entry.apply({}, options);
            continue;
        }
        // In the order given, so the last one wins.
        for (const QString& value : parser.values(name)) {
            if (!entry.apply(value, options))
                return UsageError(QStringLiteral("bad value \"%1\" for --%2: expected %3")
                                      .arg(value, name, entry.allowed));
        }
    }
    if (parser.isSet(QStringLiteral("help"))) {
        parsed.action = ParsedCommandLine::Action::Help;
        return parsed;
    }
    // A suffix from the settings file is held to the same rule.
    if (const QString problem = PlaceSuffixProblem(options.values.place.suffix);
        options.values.place.place == place::kBeside && !problem.isEmpty())
        return UsageError(QStringLiteral("cannot write outputs beside their sources: %1 (see "
                                         "--suffix)")
                              .arg(problem));
    if (parser.isSet(QStringLiteral("version"))) {
        parsed.action = ParsedCommandLine::Action::Version;
        return parsed;
    }
    options.paths = parser.positionalArguments();
    if (options.paths.isEmpty()) return UsageError(QStringLiteral("no PATH given (see --help)"));
    return parsed;
}

QString HelpText(const RunValues& defaults, const QString& configPath)
{
    QString text;
    text += QStringLiteral(
        "Usage: lumocompress-cli [options] PATH...\n"
        "\n"
        "Compresses videos (with ffmpeg) and images (BMP, JPEG, PNG, GIF, WebP, HEIC/HEIF,\n"
        "AVIF, TIFF) the way LumoCompress does: the same strengths, command lines and output\n"
        "names. Each PATH is a video, an image or a folder. A file named is taken by its\n"
        "content (its MIME type), whatever its name says; a folder's files are taken by their\n"
        "extension, as the folder intake takes them. Videos are probed first and a damaged one\n"
        "is reported and skipped. One video at a time and as many images at once as the machine\n"
        "has cores are compressed, side by side. Sources are never changed and no file is\n"
        "overwritten; with --place in-place a smaller output takes its source's name and the\n"
        "original goes to the desktop's trash, from where it can be put back.\n"
        "\n"
        "Video extensions: mp4 flv wmv avi mov mkv m4v f4v ts mts rm rmvb m3u8 webm mpg mpeg\n"
        "  asf dat 3gp 3g2 vob ogv divx mxf. Image extensions: bmp jpg jpeg jpe png gif webp\n"
        "  heic heif avif tif tiff. In any case (jpg, JPG, Jpg).\n"
        "\n"
        "Defaults are the desktop program's settings, read (never written) from\n"
        "  ");
    text += configPath + u'\n';
    text += QStringLiteral("and its main page as it opens; the values below are this user's.\n");

    constexpr int kColumn = 32;
    const char* group = nullptr;
    for (const OptionSpec& entry : Options()) {
        if (!group || qstrcmp(group, entry.group) != 0) {
            group = entry.group;
            text += QStringLiteral("\n%1:\n").arg(QLatin1String(group));
        }
        QString head = QStringLiteral("  --") + QLatin1String(entry.name);
        if (entry.value) head += u' ' + QLatin1String(entry.value);
        if (QLatin1String(entry.name) == QLatin1String("recursive")) head = "  -r, --recursive";
        QString body = entry.help;
        if (entry.shown) body += QStringLiteral(" [default: %1]").arg(entry.shown(defaults));
        // The description wraps at 78 columns beside the option.
        QStringList lines;
        QString line;
        for (const QString& word : body.split(u' ', Qt::SkipEmptyParts)) {
            if (!line.isEmpty() && kColumn + line.size() + 1 + word.size() > 78) {
                lines << line;
                line.clear();
            }
            line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
        }
        if (!line.isEmpty()) lines << line;
        if (head.size() + 1 >= kColumn) {
            text += head + u'\n';
        } else {
            text += head.leftJustified(kColumn) + lines.takeFirst() + u'\n';
        }
        for (const QString& rest : lines) text += QString(kColumn, u' ') + rest + u'\n';
    }
    text += QStringLiteral(
        "\nOther:\n"
        "  -h, --help                    this text\n"
        "  --version                     the program's version\n"
        "\n"
        "Results (a line per compressed file, the closing table, the JSON records) go to\n"
        "standard output; progress and failures to standard error. On a terminal each running\n"
        "file has a progress line (videos with the encode speed and the time left); otherwise\n"
        "plain lines. Sizes are in IEC units (KiB, MiB, GiB: powers of 1024). A PATH that is\n"
        "missing or no video or image is named with the reason and the run goes on.\n"
        "Ctrl-C (or SIGTERM) stops the running encoder and removes its unfinished output.\n"
        "\n"
        "Exit status: 0 every file was compressed; 1 a file failed, was missing, was damaged or\n"
        "was not compressed, or standard output could not be written; 2 bad usage; 128+N when\n"
        "signal N stopped the run (130 for Ctrl-C).\n");
    return text;
}
