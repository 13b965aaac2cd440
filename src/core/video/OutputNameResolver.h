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

    // The n-th candidate: n <= 1 gives folder/base.ext, n >= 2 folder/base(n).ext.
    QString Candidate(int n) const;

    // The first candidate that taken() does not claim.
    QString Resolve(const TakenTest& taken) const;

    // The first candidate that is neither an entry of the folder (a file of any kind, even one
    // we cannot read, or a dangling link) nor refused by reserved(), claimed at once by creating
    // it empty and exclusively, so no other writer can pick the same name in between. Empty
    // when no file could be created; error then says why.
    QString Claim(const TakenTest& reserved, QString* error) const;

    // An entry of any kind exists at the path (links are not followed).
    static bool EntryExists(const QString& path);

    static QString BaseName(const QString& fileName);

private:
    QString folder_;
    QString base_;
    QString extension_;
};
