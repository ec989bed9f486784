// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finding a seed that gives a wanted problem, and comparing a slot with a picture drawn
// by hand.
#include "shell/Random.h"

#include <QImage>
#include <QRect>
#include <cstdint>

// The first seed from which draw(rnd) gives a problem that wanted accepts; 0 if none of the
// first million does.
template <class Draw, class Wanted>
uint32_t SeedWhere(Draw draw, Wanted wanted)
{
    for (uint32_t seed = 1; seed < 1000000; ++seed) {
        Random r;
        r.Seed(seed);
        if (wanted(draw(r)))
            return seed;
    }
    return 0;
}

// How many pixels of the rectangle differ between the two images.
inline int DifferingPixels(const QImage& a, const QImage& b, const QRect& r)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if ((a.pixel(x, y) | 0xff000000u) != (b.pixel(x, y) | 0xff000000u))
                ++n;
    return n;
}
