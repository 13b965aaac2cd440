// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

#include "core/image/ImageSettings.h"
#include "core/video/CompressParams.h"

// What one run compresses with: the keys of "configure.ini" the window's engines are handed and
// the main page's controls, as the window would have them.
struct RunValues {
    // Videos: the settings (section "global") ...
    int compressType = 0;
    int videoType = 0;
    int width = 0;  // 0 x 0 keeps the source's size
    int height = 0;
    int channel = 2;
    int sampleRate = 44100;
    int bitrate = 128000;
    // ... and the main page, which opens with its check boxes cleared.
    int codec = 0;                     // "video-codec": 0 H.264, 1 H.265, 2 AV1
    std::optional<int> bitRateSlider;  // set: the bit-rate box is checked, at this value
    bool balanced = false;
    bool compatible = false;
    bool qualityMode = false;
    bool twoPass = false;

    // Images: the settings ...
    int imageCompressType = 0;
    int imageType = 0;
    int ratioIndex = 0;
    int gifDefineParam = 0;
    int gifDropFrameIndex = 0;
    // ... and the custom size box, whose two fields the window opens empty.
    std::optional<QSize> customSize;

    // "keep-smaller": an output not smaller than its source is not kept.
    bool keepSmaller = false;
    // Both kinds: "look", the encoder setting searched for the strength's look; "max-size", the
    // bytes every output must fit under (0 for no limit); "keep-dates", the output takes the
    // source's file times. Videos only: "keep-tracks", every audio track, the subtitles, the
    // chapters and the metadata.
    bool look = false;
    qint64 maxBytes = 0;
    bool keepDates = false;
    bool keepTracks = false;
    // Images: "keep-photo-info" and "keep-location". Both kinds: "place" and "place-suffix".
    bool keepPhotoInfo = false;
    bool keepLocation = false;
    PlaceChoice place;

    // "output-dir" as the file holds it; empty means the default output folder.
    QString outputDir;

    // The values the window starts from: the keys of the ini file at path (the settings table's
    // defaults where a key or the file is missing) and the main page as it opens. Only reads.
    static RunValues FromSettingsFile(const QString& path);

    // What each engine compresses with in this run, the output folder resolved (and created)
    // from outputDir as the window resolves "output-dir". A dry run asks for the video values
    // with createFolder = false: the folder is then only named (PlannedOutputFolder).
    VideoSettings Video(bool createFolder = true) const;
    ImageSettings Image() const;
};

// The user's "configure.ini", where the desktop program keeps its settings (nothing is created).
QString UserSettingsFile();

struct CliOptions {
    RunValues values;
    QStringList paths;  // as given; the intake reports one that is missing or not media
    bool recursive = false;
    bool json = false;
    bool verbose = false;
    bool quiet = false;    // no progress, no results' lines, no table: only failures
    bool dryRun = false;   // print what would be written where, compress and write nothing
    int imageWorkers = 0;  // images compressed at once; 0: as many as the machine has cores
};

struct ParsedCommandLine {
    enum class Action { Run, Help, Version, UsageError };
    Action action = Action::UsageError;
    CliOptions options;
    QString error;  // one line, for UsageError
};

// Reads the arguments (without the program name) over the defaults. A usage error is an unknown
// option, a missing or bad value, or no PATH. A PATH that does not exist or is no video or image
// is not one: the run reports it as a failed file and goes on with the others.
ParsedCommandLine ParseCommandLine(const QStringList& arguments, const RunValues& defaults);

// Every option with its values and its default in this run; configPath names the file the
// defaults come from.
QString HelpText(const RunValues& defaults, const QString& configPath);
