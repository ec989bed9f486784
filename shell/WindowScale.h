// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QMargins>
#include <QSize>
#include <QString>
#include <optional>

// How large the window is drawn. Every position in the program stays in the window's own
// pixels; a scale only changes how many screen pixels each of them takes. Sizes below are
// "unscaled" screen pixels: what the screen offers at a scale of 1.
namespace windowscale {

// What the user asked for: nothing (shrink only when needed), a factor, or the largest fit.
struct Request
{
    enum class Kind { Default, Factor, Fit };
    Kind kind = Kind::Default;
    double factor = 1.0; // for Kind::Factor
};

// Accepted factors; a fitted scale never goes below the smallest either.
constexpr double kMinFactor = 0.25;
constexpr double kMaxFactor = 8.0;

// Reads "fit" or a decimal factor such as "1.5". An empty text asks for the default.
// Returns nothing for anything else, with a one-line reason in *error.
std::optional<Request> Parse(const QString& text, QString* error = nullptr);

// The window's client area for a screen of this width, as the layout chosen for it needs.
QSize ClientSize(int screenWidth);

// The largest scale at which the client area plus its frame fits the available area,
// rounded down to a thousandth so that rounding to whole pixels cannot push it over.
double FitFactor(QSize client, QMargins frame, QSize available);

// The scale for the window: the default shrinks only when the window does not fit, a factor
// is taken as asked unless the window would then not fit, and "fit" fills the available area.
double Choose(const Request& request, QSize client, QMargins frame, QSize available);

// The scale that fills a whole screen (no frame), for full-screen mode.
double FullScreenFactor(QSize client, QSize screen);

// The window's client area in screen pixels at a scale, as the windowing system rounds it.
QSize ScaledSize(QSize client, double factor);

} // namespace windowscale
