// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <string_view>

// Where the programs' diagnostics go. Once Start has run, Qt's messages, glog's and the lines
// of DebugPrint all land in one log file per program, below $XDG_STATE_HOME/LumoCompress
// (default ~/.local/state/LumoCompress), each line with its time and level. The terminal gets
// the warnings and errors only, or every line when verbose. Before Start (and after Stop)
// nothing is taken over: DebugPrint writes to standard output as it always has.
namespace logging {

enum class Level { Debug, Info, Warning, Error };

// A file kept below a size. Before a write would take it past maxBytes it is renamed to
// "name.1", "name.1" to "name.2" and so on; the one past keptFiles is deleted. Several
// processes may write the same file: each write appends whole, and a process whose file was
// renamed by another starts writing the new one.
class RotatingFile {
public:
    RotatingFile(const QString& path, qint64 maxBytes, int keptFiles);
    ~RotatingFile();
    RotatingFile(const RotatingFile&) = delete;
    RotatingFile& operator=(const RotatingFile&) = delete;

    // Appends the bytes in one write; false when the file cannot be opened or written. A single
    // write larger than maxBytes still lands, alone in a fresh file.
    bool Append(const QByteArray& bytes);
    const QString& path() const { return path_; }

    // "name.N": the Nth older file.
    static QString OlderFile(const QString& path, int n);

private:
    bool Reopen();
    void Rotate();

    QString path_;
    qint64 maxBytes_;
    int keptFiles_;
    int fd_ = -1;
};

struct Setup {
    QString fileName;  // "lumocompress.log"; an absolute path is taken as it is
    bool verbose = false;
    qint64 maxBytes = 2 * 1024 * 1024;
    int keptFiles = 3;
};

// $XDG_STATE_HOME/LumoCompress, default ~/.local/state/LumoCompress. Not created.
QString Folder();

// Installs the Qt message handler and the glog sink, and sends DebugPrint here. The file's
// folder is created. A later Start replaces the earlier one. Returns false when the log file
// cannot be written; the terminal still gets its lines then.
bool Start(const Setup& setup);
void Stop();
bool Started();
// The log file in use, empty before Start.
QString FilePath();

// One message; each of its lines becomes a line of the log.
void Write(Level level, std::string_view text, std::string_view origin = {});

// "2024-05-01 09:30:12.345 W origin: text", one line per line of text, each ending in '\n'.
QByteArray FormatLines(Level level, std::string_view text, std::string_view origin,
                       const QString& timestamp);

}  // namespace logging
