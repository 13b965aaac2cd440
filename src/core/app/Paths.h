// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Per-user folders, the output folder and the executable's folder.

inline constexpr char kDefaultOutputFolderName[] = "LUMO视频压缩";
inline constexpr char kConfigFolder[] = "LumoCompress/Config";
// Temporary files (downloads, two-pass logs, images being written): under the cache folder,
// $XDG_CACHE_HOME (default ~/.cache), not with the settings; see EnsureUserFolder.
inline constexpr char kTempFolder[] = "LumoCompress/Temp";
inline constexpr char kProfileFolder[] = "LumoCompress/Profile";
inline constexpr char kDataFolder[] = "LumoCompress/Data";

enum class SpecialFolder { AppData, Documents, Desktop };

// $XDG_CONFIG_HOME, default ~/.config; Documents and Desktop from the XDG user dirs.
// Nothing is created. Empty when the location is unknown.
QString GetSpecialFolder(SpecialFolder folder);

// $XDG_CACHE_HOME, default ~/.cache (a relative value is ignored, as the XDG rule says).
QString CacheHome();

// base + "/" + relative, every missing level created (see EnsureFolder). The base is the
// cache folder (CacheHome) for kTempFolder and AppData for every other folder.
QString EnsureUserFolder(const QString& relative);

// Creates every missing level of an absolute folder path, from the root down. A level that
// cannot be created prints one line ("create dir error ...") and the walk goes on; an existing
// folder creates and prints nothing. No error is returned: callers learn of a failure when they
// use the folder.
void EnsureFolder(const QString& absolute);

// The output folder for a value of "output-dir": the value trimmed, or when that is empty the
// default folder kDefaultOutputFolderName under Desktop (when the Documents folder exists) or
// Documents (when it does not). Created when missing; no trailing "/" unless it is the root.
QString ResolveOutputFolder(const QString& outputDir);
// The same folder, nothing created (a dry run names it without writing anything).
QString PlannedOutputFolder(const QString& outputDir);

// The output folder of the settings store's "output-dir" (see ResolveOutputFolder).
QString GetOutputFolder();

// True when the file can be opened for reading.
bool FileExists(const QString& path);

// The folder of the running executable, with a trailing "/".
QString ExecutableFolder();

// A file or folder the program ships (the skin, Config.ini), found from the executable's folder
// (with its trailing "/"): beside the executable when it is there, as in the build folder, else
// in the installed data folder "../share/lumocompress/" next to the executable's "bin/", so an
// installation moved to another prefix still finds it. The path beside the executable when
// neither exists.
QString FindDataPath(const QString& executableFolder, const QString& name);
// The same from the running executable's folder.
QString FindDataPath(const QString& name);

// A helper program: beside the executable when present there, else the first match on PATH;
// empty when neither has it.
QString FindTool(const QString& name);
