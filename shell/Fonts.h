// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QFont>
#include <QStringList>

#include <functional>

namespace fonts {
// The window's two font families; they resolve to the IPA fonts through substitutes.
inline constexpr const char* Mincho = "ＭＳ Ｐ明朝";
inline constexpr const char* Gothic = "ＭＳ ゴシック";

// Maps the families above to the installed IPA fonts, after loading the carried fonts
// the system needs (see LoadCarriedFonts). Call once before building the window.
void InstallSubstitutes();

// The Windows build carries IPAPMincho and IPAGothic in its resources under :/fonts/,
// for a Windows (or Wine) without the two families above; the browser build carries them
// cut down to the program's characters, as porome-pmincho.ttf and porome-gothic.ttf. Given which families the
// system has, the carried files that are needed, Mincho first.
QStringList CarriedFontsNeeded(const std::function<bool(const QString&)>& systemHas);
// Registers the needed carried fonts with the font database; returns how many were
// registered. A build that carries no fonts does nothing and returns 0.
int LoadCarriedFonts();
// A font of the given family at a point size, as pixels at 96 dpi (24 pt is 32 px).
QFont Make(const char* family, double points, bool bold);
int PixelsOf(double points);
} // namespace fonts
