// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/skinlib/ColorScheme.h"

#include <QGuiApplication>
#include <QPalette>

#include <optional>

#include "core/app/Paths.h"
#include "core/platform/ChildProcess.h"

namespace skin {
namespace {

constexpr int kGsettingsMs = 1000;

struct PaletteRecord {
    std::optional<QPalette> before;  // the application's palette before the skin set one
    std::optional<QPalette> ours;    // the palette the skin set
};

PaletteRecord& Palettes()
{
    static PaletteRecord record;
    return record;
}

bool GnomeLike()
{
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    for (const char* name : {"GNOME", "Unity", "Budgie", "Pantheon", "ubuntu"})
        if (desktop.contains(QLatin1String(name), Qt::CaseInsensitive)) return true;
    const QString theme = qEnvironmentVariable("QT_QPA_PLATFORMTHEME");
    for (const char* name : {"gtk", "gnome", "xdgdesktopportal"})
        if (theme.startsWith(QLatin1String(name), Qt::CaseInsensitive)) return true;
    return false;
}

// One key of org.gnome.desktop.interface without its quotes; empty when unreadable.
QString GnomeInterfaceKey(const QString& gsettings, const QString& key)
{
    const platform::CaptureResult run = platform::RunCapture(
        gsettings, {"get", "org.gnome.desktop.interface", key}, kGsettingsMs, 4096);
    if (!run.Succeeded()) return {};
    QString value = QString::fromUtf8(run.output).trimmed();
    if (value.size() >= 2 && value.startsWith(u'\'') && value.endsWith(u'\''))
        value = value.mid(1, value.size() - 2);
    return value;
}

QPalette DarkPalette()
{
    QPalette palette;
    const QColor window(0x1E, 0x20, 0x24);
    const QColor base(0x25, 0x28, 0x2D);
    const QColor raised(0x2C, 0x30, 0x36);
    const QColor text(0xE6, 0xE8, 0xEB);
    const QColor muted(0x5C, 0x62, 0x6B);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, raised);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, raised);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, QColor(0x3A, 0x3F, 0x47));
    palette.setColor(QPalette::ToolTipText, Qt::white);
    palette.setColor(QPalette::PlaceholderText, QColor(0x86, 0x90, 0x9C));
    palette.setColor(QPalette::Highlight, QColor(0x2F, 0x7C, 0xF6));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x4B, 0x8D, 0xF8));
    palette.setColor(QPalette::Light, QColor(0x3A, 0x3F, 0x47));
    palette.setColor(QPalette::Midlight, raised);
    palette.setColor(QPalette::Mid, QColor(0x3A, 0x3F, 0x47));
    palette.setColor(QPalette::Dark, QColor(0x16, 0x18, 0x1B));
    palette.setColor(QPalette::Shadow, Qt::black);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, muted);
    return palette;
}

}  // namespace

ColorScheme ChooseColorScheme(const SchemeHints& hints)
{
    const QString override = hints.override.trimmed().toLower();
    if (override == QLatin1String("dark")) return ColorScheme::Dark;
    if (override == QLatin1String("light")) return ColorScheme::Light;
    if (hints.gnomeColorScheme == QLatin1String("prefer-dark")) return ColorScheme::Dark;
    if (hints.gnomeColorScheme == QLatin1String("prefer-light")) return ColorScheme::Light;
    if (hints.window.isValid() && hints.window.lightness() < 128) return ColorScheme::Dark;
    if (hints.gtkTheme.endsWith(QLatin1String("-dark"), Qt::CaseInsensitive))
        return ColorScheme::Dark;
    return ColorScheme::Light;
}

SchemeHints ReadSchemeHints()
{
    SchemeHints hints;
    hints.override = qEnvironmentVariable("LUMO_COLOR_SCHEME");
    QPalette current = QGuiApplication::palette();
    const PaletteRecord& palettes = Palettes();
    if (palettes.ours && palettes.before && current == *palettes.ours) current = *palettes.before;
    hints.window = current.color(QPalette::Active, QPalette::Window);
    // The override decides alone; nothing else needs asking then.
    const QString override = hints.override.trimmed().toLower();
    if (override == QLatin1String("dark") || override == QLatin1String("light")) return hints;
    if (GnomeLike()) {
        const QString gsettings = FindTool(QStringLiteral("gsettings"));
        if (!gsettings.isEmpty()) {
            hints.gnomeColorScheme = GnomeInterfaceKey(gsettings, QStringLiteral("color-scheme"));
            hints.gtkTheme = GnomeInterfaceKey(gsettings, QStringLiteral("gtk-theme"));
        }
    }
    return hints;
}

void ApplyPalette(ColorScheme scheme)
{
    PaletteRecord& palettes = Palettes();
    const QPalette current = QGuiApplication::palette();
    const bool oursInPlace = palettes.ours && current == *palettes.ours;
    if (scheme == ColorScheme::Dark) {
        if (!oursInPlace) palettes.before = current;
        palettes.ours = DarkPalette();
        QGuiApplication::setPalette(*palettes.ours);
    } else if (oursInPlace) {
        QGuiApplication::setPalette(palettes.before.value_or(QPalette()));
        palettes.ours.reset();
    }
}

QString SchemeName(ColorScheme scheme)
{
    return scheme == ColorScheme::Dark ? QStringLiteral("dark") : QStringLiteral("light");
}

}  // namespace skin
