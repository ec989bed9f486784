// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "drawing/Surface.h"
#include "shell/Random.h"

// The number line of levels 6 and 12: a white strip 500 px long from x = 80, closed at the
// left, bottom and right, whose bottom edge is the line. Positions along it are pixels of
// the panel, top is the slot's y0.
namespace numberline {
constexpr double kLeft = 80;
constexpr double kLength = 500;
constexpr int kStripTop = 200;   // below the slot's y0
constexpr int kStripHeight = 15;
constexpr int kArrowLength = 10;
constexpr int kArrowWing = 4;

// x of the tick i of a line cut into `parts` equal parts (i = 0 is the left end).
constexpr double TickX(int i, int parts)
{
    return kLeft + i * kLength / parts;
}

// The strip without ticks, drawn with the surface's current fill (white in a new problem).
void DrawStrip(Surface& pic, int top);
// A black tick from the top of the strip down to the line.
void DrawTick(Surface& pic, int top, double x);
// The red arrow under the line at x, pointing up at it.
void DrawArrow(Surface& pic, int top, double x);
} // namespace numberline

// A problem of level 6: the point n/d of a line from 0 to 1.
struct NumberLinePoint
{
    int d, n;
};

// d is 2..10 (10 drawn twice as often before the numerator is drawn), n is 1..d-1; a draw
// with n = d starts again from the denominator.
NumberLinePoint DrawNumberLinePoint(Random& rnd);
// The whole picture of level 6 in the slot whose y0 is top: strip, ticks, "0", "1", arrow.
void DrawNumberLine(Surface& pic, int top, const NumberLinePoint& p);
