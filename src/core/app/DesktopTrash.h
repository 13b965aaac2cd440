// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The desktop's trash as the freedesktop.org trash specification describes it, so a file put
// there shows in the file manager's trash and can be restored from it. A file on the file system
// of $XDG_DATA_HOME (default ~/.local/share) goes to $XDG_DATA_HOME/Trash; one on another file
// system to the trash at the top of that file system ($topdir/.Trash/$uid when the
// administrator made $topdir/.Trash, sticky and no link, else $topdir/.Trash-$uid). A file is
// only ever renamed into the trash, never copied: where no trash on its own file system can be
// used, it stays where it is and the move fails.
//
// (Qt's QFile::moveToTrash does the same but, in Qt 6.4, retries for ever when the trash's info
// folder cannot be written, and would hang a worker.)
class DesktopTrash {
public:
    struct Trashed {
        QString filePath;  // the file in the trash's "files" folder; empty when it failed
        QString infoPath;  // its record in the "info" folder
        QString error;     // why it failed, in plain words
    };

    // Moves the regular file at path to the trash: first its record (the original path and the
    // time, written so that a name is never taken twice), then the file itself.
    static Trashed Move(const QString& path);

    // Puts a file trashed by Move back under its original path (never over a file that appeared
    // there since) and removes its record. False, with errno set, when it could not.
    static bool Restore(const Trashed& trashed, const QString& originalPath);

    // The home trash: $XDG_DATA_HOME/Trash.
    static QString HomeTrash();
};
