// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <ctime>

// A file's modification and access times, to the nanosecond.
struct FileDates {
    struct timespec access {};
    struct timespec modification {};
    QString error;  // why they could not be read; empty when they were
};

// The times of the file at path, its link followed (the dates of the file the user chose). Read
// them before the file is read: reading it moves its access time to now.
FileDates ReadFileDates(const QString& path);

// Gives the file at target the dates, its own link not followed, so a link put in the output's
// place is never touched through. False, with the reason in *error when given, when the dates
// were not read or cannot be set.
bool SetFileDates(const QString& target, const FileDates& dates, QString* error = nullptr);

// Both at once, for a source that was not read since its dates matter.
bool CopyFileDates(const QString& source, const QString& target, QString* error = nullptr);
