// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLocale>
#include <QString>

class QCoreApplication;

// Qt's own dialogs (the file and folder choosers) speak the program's language: the Qt
// translation of the user's Chinese locale, else Simplified Chinese like the rest of the program.
namespace qttranslations {

// The qtbase catalogue for locale: its own for a Chinese locale that Qt translates, else zh_CN.
QString CatalogueFor(const QLocale& locale, const QString& folder);

// Loads the catalogue from QLibraryInfo's translations folder and installs it in app; false
// when none could be loaded (the dialogs then stay in English).
bool Install(QCoreApplication& app, const QLocale& locale = QLocale::system());

}  // namespace qttranslations
