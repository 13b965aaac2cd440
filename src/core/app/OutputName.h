#pragma once

#include <QString>

// How both engines name an output, so a compressed file never replaces another: the source's
// base name and the output's extension in the output folder, and while that name is taken the
// same with "(2)", "(3)" and so on before the extension.

// The base of a file name: the name up to its last ".", the whole name when it has none.
QString OutputBaseName(const QString& fileName);

// Candidate n of the rule: n <= 1 gives folder/base.ext, n >= 2 folder/base(n).ext. A folder
// that ends with "/" (the root) gets no second one.
QString OutputCandidate(const QString& folder, const QString& baseName, const QString& extension,
                        int n);
