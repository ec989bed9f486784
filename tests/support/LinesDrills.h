// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers for the drills of the number line, making-one and same-denominator levels:
// seeds that give a wanted first problem, and pictures drawn by hand to compare a slot with.
#include "drawing/Exercise.h"
#include "drawing/Surface.h"
#include "support/Seeds.h"

#include <QImage>
#include <QRect>
#include <cstdint>
#include <functional>

namespace lines {

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

// The inside of slot s below its score line, where a level draws its problem.
inline QRect ProblemArea(int s)
{
    const int top = (s - 1) * 220;
    return QRect(QPoint(30, top + 118), QPoint(760, top + 270));
}

} // namespace lines
