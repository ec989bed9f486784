// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QFont>

namespace fonts {
// The window's two font families; they resolve to the IPA fonts through substitutes.
inline constexpr const char* Mincho = "ＭＳ Ｐ明朝";
inline constexpr const char* Gothic = "ＭＳ ゴシック";

// Maps the families above to the installed IPA fonts. Call once before building the window.
void InstallSubstitutes();
// A font of the given family at a point size, as pixels at 96 dpi (24 pt is 32 px).
QFont Make(const char* family, double points, bool bold);
int PixelsOf(double points);
} // namespace fonts
