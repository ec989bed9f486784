// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "drawing/Surface.h"
#include "shell/Random.h"

// A problem of level 12: the point w n/d of a line from 0 to w+1.
struct MixedPoint
{
    int d, n, w;
    int Parts() const { return (w + 1) * d; }
};

// d is 2..6, n is 1..d-1 (a draw with n = d starts again from d), w is 1..4.
MixedPoint DrawMixedPoint(Random& rnd);
// The whole picture of level 12 in the slot whose y0 is top: the strip cut into (w+1)*d
// parts, the whole numbers 0..w+1 over their ticks and the arrow at w n/d.
void DrawMixedNumberLine(Surface& pic, int top, const MixedPoint& p);
