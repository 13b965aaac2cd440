// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The record of the temporary files this program writes (hidden partial outputs, pass logs,
// probe files), so that what a killed run left behind can be removed later without ever
// touching a file the program did not create.
//
// Each process keeps a journal of its own in JournalFolder(): one line per file it registers
// (its path, device, inode and creation time), written before the file is used, and one line
// when the file is forgotten (renamed to its final name, or removed). The process holds an
// exclusive lock on its journal while it runs, so a journal whose lock can be taken belongs to
// a run that has ended; a journal whose files are all forgotten is removed at once.
//
// CleanLeftovers reads the journals of ended runs and removes the files they still list, but
// only a file that is still the one recorded (same path, device, inode and creation time), is
// a regular file (or a folder of regular files) owned by this user, was last changed before
// this process started, is not locked by anyone, and is not one of the paths to keep.
//
// Every function is thread-safe. Nothing here throws; a journal that cannot be written only
// means that a leftover of this run, should it be killed, stays where it is.
class OwnFiles {
public:
    // Records that this process created the file or folder at path. fd, when not -1, is open on
    // it (the identity is then taken from the descriptor, not looked up by name again). False
    // when the entry cannot be looked at or the journal cannot be written.
    static bool Register(const QString& path, int fd = -1);
    // The entry at path is no longer ours to clean (it was renamed, removed or handed over).
    static void Forget(const QString& path);

    // Registers a path for the life of the object and forgets it when the object goes.
    class Record {
    public:
        Record() = default;
        explicit Record(const QString& path, int fd = -1);
        ~Record();
        Record(Record&& other) noexcept;
        Record& operator=(Record&& other) noexcept;
        Record(const Record&) = delete;
        Record& operator=(const Record&) = delete;

        bool Registered() const { return !path_.isEmpty(); }
        // Forgets the path now.
        void Forget();

    private:
        QString path_;
    };

    // A folder of its own for a run's temporary files, below root (created when missing) and
    // named prefix-XXXXXX, registered for its life and removed with what it holds when it
    // goes; the record is forgotten only after the folder is gone.
    class Folder {
    public:
        Folder(const QString& root, const QString& prefix);

        bool IsValid() const { return folder_.isValid(); }
        QString Path() const { return folder_.path(); }
        QString FilePath(const QString& name) const { return folder_.filePath(name); }

    private:
        Record record_;  // declared first: it outlives the folder
        QTemporaryDir folder_;
    };

    // Removes what ended runs left (see above) and the journals of those runs. keep: paths that
    // must survive whatever a journal says (the sources of the batch). Returns how many files
    // and folders were removed.
    static int CleanLeftovers(const QStringList& keep = {});

    // $XDG_STATE_HOME/LumoCompress/own-files, default ~/.local/state/LumoCompress/own-files.
    static QString JournalFolder();
};
