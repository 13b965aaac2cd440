// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QString>

// Whether the skin shows its light or its dark look. Qt 6.4 has no colour-scheme query of its
// own, so the choice is made from what the desktop shows: the platform palette, GNOME's
// preference where the desktop is GNOME-like, and an override for users and tests.
namespace skin {

enum class ColorScheme { Light, Dark };

// What the choice is made from.
struct SchemeHints {
    QString override;          // LUMO_COLOR_SCHEME: "dark" or "light"; anything else is no say
    QColor window;             // the platform palette's window colour
    QString gnomeColorScheme;  // org.gnome.desktop.interface color-scheme, e.g. "prefer-dark"
    QString gtkTheme;          // org.gnome.desktop.interface gtk-theme, e.g. "Adwaita-dark"
};

// In order: the override; GNOME's explicit preference (prefer-dark, prefer-light); a dark
// window colour (lightness below the middle); a GTK theme named "...-dark"; else light.
ColorScheme ChooseColorScheme(const SchemeHints& hints);

// Reads the hints from the environment and the application's palette (a palette the skin set
// itself does not count). gsettings is asked, briefly, only on a GNOME-like desktop
// (XDG_CURRENT_DESKTOP) or with a GTK or portal platform theme (QT_QPA_PLATFORMTHEME).
SchemeHints ReadSchemeHints();

// The dark look gives the application a dark palette too, so that what the style sheet does
// not cover (file dialogs, text cursors, selections) matches it; the light look puts back the
// palette that was there before.
void ApplyPalette(ColorScheme scheme);

// "light" or "dark", as res.xml names the schemes.
QString SchemeName(ColorScheme scheme);

}  // namespace skin
