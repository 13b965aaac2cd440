// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The settings store over the per-user "configure.ini". There is no copy in memory: every read
// asks the file, every write replaces it at once (see platform/ProfileFile.h). A file that is
// there but not used (a pipe, a device, a folder, larger than 1 MiB) gives every default and is
// said once (see TakeSettingsReadProblem); writes to it fail and leave it as it is.
class AppConfig {
public:
    // Full path of "configure.ini". Each call first makes sure "LumoCompress/Config" exists
    // under the application-data folder; the path is built once, thread-safely, and kept.
    static const QString& Path();
    // Makes the next Path() build the path again from the environment of that moment (the
    // tests give each test a home of its own). References handed out earlier stay valid.
    static void ForgetPath();

    static int GetInt(const QString& section, const QString& key, int defaultValue);
    // Fills out with at most capacity - 1 characters; true when the result is not empty.
    static bool GetString(const QString& section, const QString& key, const QString& defaultValue,
                          QString& out, int capacity);
    static bool WriteString(const QString& section, const QString& key, const QString& value);
    static bool WriteInt(const QString& section, const QString& key, int value);

    // "Config.ini" beside the executable, else the installed one (read-only; see FindDataPath);
    // its path is looked up on the spot.
    static QString InstallConfigPath();
    static QString GetInstallString(const QString& key, const QString& defaultValue, int capacity);
};
