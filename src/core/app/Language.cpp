// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/Language.h"

#include <QCoreApplication>
#include <QTranslator>

namespace language {

namespace {

constexpr char kEnglishCatalogue[] = ":/i18n/lumocompress_en.qm";

}  // namespace

QLocale MessagesLocale()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(name);
        // "en_GB.UTF-8@euro": the language and territory are what QLocale reads.
        if (!value.isEmpty()) return QLocale(value.section('.', 0, 0).section('@', 0, 0));
    }
    return QLocale::c();
}

Interface For(const QLocale& locale)
{
    return locale.language() == QLocale::English ? Interface::English : Interface::Chinese;
}

Interface ForCommandLine(const QLocale& locale)
{
    if (locale.language() == QLocale::C || locale.language() == QLocale::AnyLanguage)
        return Interface::English;
    return For(locale);
}

Interface Install(QCoreApplication& app, const QLocale& locale)
{
    return Install(app, For(locale));
}

Interface Install(QCoreApplication& app, Interface wanted)
{
    if (wanted == Interface::Chinese) return Interface::Chinese;
    auto* translator = new QTranslator(&app);
    if (!translator->load(QString::fromLatin1(kEnglishCatalogue)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return Interface::Chinese;
    }
    return Interface::English;
}

QString Tr(const char* source)
{
    return QCoreApplication::translate(kContext, source);
}

}  // namespace language
