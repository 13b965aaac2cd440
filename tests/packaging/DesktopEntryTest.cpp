// SPDX-License-Identifier: GPL-3.0-or-later
// The menu entry's MimeType list against the extensions the intake accepts: "open with" must
// offer the program for every kind of file it reads, and only for those.

#include "core/intake/MediaScan.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QSet>

namespace {

QString DesktopFile()
{
    return QStringLiteral(LUMO_SOURCE_DIR "/packaging/" LUMO_APP_ID ".desktop");
}

// The values of key in the [Desktop Entry] group, split at ";".
QStringList DesktopList(const QString& key)
{
    QFile file(DesktopFile());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    const QString prefix = key + u'=';
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.startsWith(prefix)) return line.mid(prefix.size()).split(u';', Qt::SkipEmptyParts);
    }
    return {};
}

// The extensions of a file dialog filter "name(*.a *.b)".
QStringList FilterExtensions(const QString& filter)
{
    QStringList extensions;
    for (const auto& match : QRegularExpression(R"(\*\.(\w+))").globalMatch(filter))
        extensions << match.captured(1);
    return extensions;
}

QStringList AcceptedExtensions()
{
    return FilterExtensions(VideoDialogFilter()) + FilterExtensions(ImageDialogFilter());
}

// A type and its other names.
QStringList NamesOf(const QMimeType& type)
{
    return QStringList{type.name()} + type.aliases();
}

TEST(DesktopEntryTest, EveryExtensionTheIntakeAcceptsHasItsTypeListed)
{
    const QStringList listed = DesktopList("MimeType");
    ASSERT_FALSE(listed.isEmpty()) << qPrintable(DesktopFile());
    const QStringList extensions = AcceptedExtensions();
    ASSERT_GE(extensions.size(), 28);

    const QMimeDatabase mime;
    int typed = 0;
    for (const QString& extension : extensions) {
        ASSERT_TRUE(IsVideoExtension(extension) || IsImageExtension(extension))
            << qPrintable(extension);
        QStringList candidates;
        for (const QMimeType& type : mime.mimeTypesForFileName("clip." + extension)) {
            candidates += NamesOf(type);
        }
        // An extension no type claims (".dat") can only be opened from the window.
        if (candidates.isEmpty()) continue;
        ++typed;
        bool found = false;
        for (const QString& name : candidates) found = found || listed.contains(name);
        EXPECT_TRUE(found) << "." << qPrintable(extension) << " is one of "
                           << qPrintable(candidates.join(' ')) << ", none of them listed";
    }
    // The system's type database answers for nearly all of them.
    EXPECT_GE(typed, extensions.size() - 2);
}

TEST(DesktopEntryTest, EveryListedTypeIsAKnownTypeTheIntakeReads)
{
    QSet<QString> accepted;
    for (const QString& extension : AcceptedExtensions()) accepted.insert(extension);

    const QMimeDatabase mime;
    const QStringList listed = DesktopList("MimeType");
    ASSERT_FALSE(listed.isEmpty());
    for (const QString& name : listed) {
        const QMimeType type = mime.mimeTypeForName(name);
        ASSERT_TRUE(type.isValid()) << qPrintable(name) << " is no known type";
        EXPECT_EQ(type.name(), name)
            << qPrintable(name) << " is another name of " << qPrintable(type.name());
        bool read = false;
        for (const QString& suffix : type.suffixes()) read = read || accepted.contains(suffix);
        EXPECT_TRUE(read) << qPrintable(name) << " (" << qPrintable(type.suffixes().join(' '))
                          << ") has no extension the intake accepts";
    }
    EXPECT_EQ(QSet<QString>(listed.begin(), listed.end()).size(), listed.size()) << "a type twice";
}

}  // namespace
