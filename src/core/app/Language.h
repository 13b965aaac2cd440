// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QLocale>
#include <QString>

// The interface language. The program's texts are written in Chinese; an English catalogue
// (compiled from translations/lumocompress_en.ts into the program) translates them for an
// English locale. Every other locale, and a locale that names no language (C, POSIX), keeps
// the Chinese texts.
namespace language {

enum class Interface { Chinese, English };

// The locale the user chose for messages: LC_ALL, then LC_MESSAGES, then LANG, the first one set
// and not empty, as the C library orders them; "C" when none is.
QLocale MessagesLocale();

Interface For(const QLocale& locale);

// The command line's language: as For, except that a locale naming no language (C, POSIX, as
// scripts, services and containers run with) gets English, the language the program's own
// terminal words are written in. The window keeps For's rule.
Interface ForCommandLine(const QLocale& locale);

// Installs the catalogue for the language of locale in app. Returns the language the texts
// will be shown in: Chinese as well when the English catalogue cannot be loaded.
Interface Install(QCoreApplication& app, const QLocale& locale);
Interface Install(QCoreApplication& app, Interface wanted);

// The context every text of the program's own code is translated in (the layout files use
// their class names, as the layout loader looks them up).
inline constexpr char kContext[] = "LumoCompress";

// The text in the interface language. source is a Chinese text marked for the catalogue with
// QT_TRANSLATE_NOOP("LumoCompress", ...) where it is written.
QString Tr(const char* source);

}  // namespace language

// The program's own texts, written in Chinese where they are shown: Texts::tr("正在压缩"). Its
// context is language::kContext, the one Tr translates in.
class Texts {
    Q_DECLARE_TR_FUNCTIONS(LumoCompress)
};
