// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Whether the program was installed by the system's package manager: then an installer must not
// replace it behind the package manager's back, and the upgrade says how to update instead.

// The Debian package that owns executable (its real path, links resolved), as `dpkg -S` finds
// it, read from the package database under root (normally "/"; tests make a tree of their own
// and pass its folder, with the executable inside it). Empty when no package owns the file, and
// without a look at the database when the file lies outside the system's folders (a home, a
// build folder, /usr/local).
QString OwningPackage(const QString& executable, const QString& root = QStringLiteral("/"));
