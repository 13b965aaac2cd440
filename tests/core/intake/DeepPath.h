// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace testenv {

// A real file below a chain of folders so deep that its whole path is longer than the system's
// limit (PATH_MAX); made and removed one part at a time, as nothing else can reach it.
class DeepPath {
public:
    // Below the folder base; the file's name is fileName, its content the given bytes.
    DeepPath(const QString& base, const QString& fileName, const QByteArray& content = "bytes");
    ~DeepPath();
    DeepPath(const DeepPath&) = delete;
    DeepPath& operator=(const DeepPath&) = delete;

    bool Made() const { return made_; }
    QString File() const;    // the whole path of the file
    QString Folder() const;  // the whole path of its folder

private:
    QByteArray base_;
    QByteArray chain_;  // the folders below base, joined by "/"
    QByteArray fileName_;
    bool made_ = false;
};

}  // namespace testenv
