// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

// Picks the output path of a video task in the output folder by the rule both engines name
// outputs with (core/app/OutputName.h): folder/base.ext, and when that name is taken
// folder/base(2).ext, folder/base(3).ext and so on, so an existing file is never overwritten.
// The base is the source's file name up to its last ".".
class OutputNameResolver {
public:
    using TakenTest = std::function<bool(const QString& path)>;

    OutputNameResolver(QString folder, const QString& sourceFileName, QString extension);
    // The same with the base given instead of taken from a file name (an output beside its
    // source has the suffix added to it).
    static OutputNameResolver WithBase(QString folder, QString baseName, QString extension);

    // The n-th candidate: n <= 1 gives folder/base.ext, n >= 2 folder/base(n).ext.
    QString Candidate(int n) const;

    // The first candidate that taken() does not claim.
    QString Resolve(const TakenTest& taken) const;

    // The first candidate that is neither an entry of the folder (a file of any kind, even one
    // we cannot read, or a dangling link) nor refused by reserved(), claimed at once by creating
    // it empty and exclusively, so no other writer can pick the same name in between. Empty
    // when no file could be created; error then says why.
    QString Claim(const TakenTest& reserved, QString* error) const;

    // The claim of an output that is written under a hidden temporary name first.
    struct PartClaim {
        QString path;      // the final name it is meant for (still free when claimed)
        QString partPath;  // the temporary file, created empty
        int lockFd = -1;   // open on the temporary file and locked (see LockPartFile)
    };
    // The first candidate whose final name is not an entry of the folder and not refused by
    // reserved(), and whose temporary name (core/app/OutputName.h) could be created exclusively.
    // The caller closes lockFd once the temporary file is published or removed. An empty path
    // when nothing could be created; error then says why.
    PartClaim ClaimPart(const TakenTest& reserved, QString* error) const;

    // Gives the finished temporary file the claimed final name, or, when that name was taken in
    // the meantime, the next free candidate after it; an existing file is never replaced.
    // Returns the final path, empty when the file could not be renamed (error says why; the
    // temporary file is then still there).
    QString Publish(const PartClaim& claim, const TakenTest& reserved, QString* error) const;

    // The number of a candidate path of this resolver (1 for the plain name), 0 for none.
    int CandidateNumber(const QString& path) const;

    // An entry of any kind exists at the path (links are not followed).
    static bool EntryExists(const QString& path);

    static QString BaseName(const QString& fileName);

private:
    QString folder_;
    QString base_;
    QString extension_;
};
