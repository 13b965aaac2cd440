// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/app/QtTranslations.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

namespace qttranslations {

namespace {

constexpr char kFallback[] = "zh_CN";

QString CataloguePath(const QString& folder, const QString& localeName)
{
    return folder + QStringLiteral("/qtbase_") + localeName + QStringLiteral(".qm");
}

}  // namespace

QString CatalogueFor(const QLocale& locale, const QString& folder)
{
    if (locale.language() == QLocale::Chinese) {
        const QString own = CataloguePath(folder, locale.name());
        if (QFileInfo::exists(own)) return own;
    }
    return CataloguePath(folder, QString::fromLatin1(kFallback));
}

bool Install(QCoreApplication& app, const QLocale& locale)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(&app);
    if (!translator->load(CatalogueFor(locale, folder))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace qttranslations
