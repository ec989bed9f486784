#pragma once
// Helpers for the drills of the number line, making-one and same-denominator levels:
// seeds that give a wanted first problem, and pictures drawn by hand to compare a slot with.
#include "drawing/Exercise.h"
#include "drawing/Surface.h"
#include "shell/Random.h"

#include <QImage>
#include <QRect>
#include <cstdint>
#include <functional>

namespace lines {

// The first seed from which draw(rnd) gives a problem that wanted accepts; 0 if none of the
// first million does.
template <class Draw, class Wanted>
uint32_t FirstSeedGiving(Draw draw, Wanted wanted)
{
    for (uint32_t seed = 1; seed < 1000000; ++seed) {
        Random r;
        r.Seed(seed);
        if (wanted(draw(r)))
            return seed;
    }
    return 0;
}

// A white picture as large as like's, drawn on by paint in like's font: what a slot should
// look like.
inline QImage Expected(const Surface& like, const std::function<void(Surface&)>& paint)
{
    Surface sketch;
    sketch.setFont(like.font());
    sketch.resizeImage(like.image().width(), like.image().height());
    sketch.FilledBox(0, 0, like.image().width(), like.image().height(), colours::White);
    sketch.ForeColor = colours::Black;
    sketch.FillColor = colours::White;
    sketch.FillStyle = 0;
    paint(sketch);
    return sketch.image().copy();
}

inline void PrintAt(Surface& p, double x, double y, const QString& text)
{
    p.CurrentX = x;
    p.CurrentY = y;
    p.Print(text);
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

// The inside of slot s below its score line, where a level draws its problem.
inline QRect ProblemArea(int s)
{
    const int top = (s - 1) * 220;
    return QRect(QPoint(30, top + 118), QPoint(760, top + 270));
}

} // namespace lines
