// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers for the drills of the fourth-year levels: finding a seed that gives a wanted
// problem, and drawing by hand what a slot should show to compare it with the panel.
#include "drawing/Exercise.h"
#include "drawing/Surface.h"
#include "support/Seeds.h"

#include <QImage>
#include <QRect>
#include <cstdint>

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
