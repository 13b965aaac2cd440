// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// What every test may use, with no window in sight. Each test runs in a private home of its own
// (see PrivateHome.h): HOME and the XDG folders point below a fresh temporary folder that goes
// when the test ends, so no test touches the real user's files or another test's.
namespace testenv {

QString Home();
QString ConfigHome();  // $XDG_CONFIG_HOME
QString RuntimeDir();  // $XDG_RUNTIME_DIR

// Writes a whole file (creating its folder); returns false on failure.
bool WriteFile(const QString& path, const QByteArray& content);
QByteArray ReadFile(const QString& path);

// Points the XDG Documents and Desktop dirs at these folders (user-dirs.dirs under
// XDG_CONFIG_HOME); the folders themselves are not created.
void SetUserDirs(const QString& documents, const QString& desktop);

// Processes events until condition holds or timeoutMs passes; returns the condition. Needs only
// a QCoreApplication.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// Makes a small video with ffmpeg (lavfi test pattern, optional sine audio); true on success.
bool MakeVideo(const QString& path, double seconds = 1.0, const QString& size = "64x48",
               bool audio = true, const QStringList& extraOutputArgs = {});

// Runs ImageMagick's convert with these arguments (to make test images); true on success.
bool Convert(const QStringList& arguments);

// Runs fn on a thread that has dropped the capabilities which let root ignore file permissions
// (capabilities are per thread on Linux), so a read-only folder refuses writes even when the
// tests run as root. False, and fn not run, when a write into the read-only probeDir still
// succeeds there.
bool RunUnderFilePermissions(const QString& probeDir, const std::function<void()>& fn);

// Things that stand where a settings file is expected but are no small regular file: a named
// pipe, a link to /dev/zero, a sparse regular file of 4 GiB (kHugeFileStart, then zeros), a
// folder. MakeOddFile puts one at path (its folder created); true on success.
enum class OddFile { Fifo, DevZeroLink, HugeFile, Folder };
inline constexpr OddFile kOddFiles[] = {OddFile::Fifo, OddFile::DevZeroLink, OddFile::HugeFile,
                                        OddFile::Folder};
inline constexpr char kHugeFileStart[] = "[global]\ncompress-type=2\nkeep-smaller=1\n";
const char* OddFileName(OddFile kind);
bool MakeOddFile(OddFile kind, const QString& path);

}  // namespace testenv
