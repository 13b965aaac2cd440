#pragma once

#include <QString>
#include <QTemporaryDir>

#include "CliOptions.h"

// The settings one run compresses with. The engines read their keys from "configure.ini" when
// each task starts; the user's file must stay as it is, so the run's values go into a file of
// their own in a private temporary folder, and the settings store is pointed at that file
// before anything in the process has read a setting. The folder goes when the object does.
class RunSettings {
public:
    // The user's "configure.ini" (its folder is not created).
    static QString UserFile();

    // Writes the values and makes their file the one every reader of a setting asks for the
    // rest of the process. Must come before the first setting is read. False, with a
    // one-line reason, when the file cannot be written or the store already had its file.
    bool Install(const RunValues& values, QString* error);

    QString File() const { return file_; }

private:
    QTemporaryDir dir_{QDir::tempPath() + QStringLiteral("/lumocompress-cli-XXXXXX")};
    QString file_;
};
