#pragma once
// Helpers for the drills of the fourth-year levels: finding a seed that gives a wanted
// problem, and drawing by hand what a slot should show to compare it with the panel.
#include "drawing/Exercise.h"
#include "drawing/Surface.h"
#include "shell/Random.h"

#include <QImage>
#include <QRect>
#include <cstdint>

// The first seed from which draw(rnd) gives a problem that wanted accepts; 0 if none of
// the first hundred thousand seeds does (the rarest problem a test asks for comes about
// once in five hundred seeds).
template <class Draw, class Wanted>
uint32_t SeedWhere(Draw draw, Wanted wanted)
{
    for (uint32_t seed = 1; seed < 100000; ++seed) {
        Random r;
        r.Seed(seed);
        if (wanted(draw(r)))
            return seed;
    }
    return 0;
}

// A white picture in the font of a panel, on which a test draws what it expects.
class Sketch
{
public:
    explicit Sketch(const Surface& like)
    {
        surface_.setFont(like.font());
        surface_.resizeImage(like.image().width(), like.image().height());
        surface_.FilledBox(0, 0, like.image().width(), like.image().height(), colours::White);
        surface_.ForeColor = colours::Black;
    }
    Sketch& Text(int x, int y, const QString& text)
    {
        surface_.CurrentX = x;
        surface_.CurrentY = y;
        surface_.Print(text);
        return *this;
    }
    Sketch& Number(int x, int y, int n) { return Text(x, y, QString::number(n)); }
    Sketch& Bar(int x, int y, int width)
    {
        surface_.FilledBox(x, y, width, 3, colours::Black);
        return *this;
    }
    const QImage& image() const { return surface_.image(); }

private:
    Surface surface_;
};

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
