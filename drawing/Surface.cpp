// SPDX-License-Identifier: GPL-3.0-or-later
#include "drawing/Surface.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

int RoundPixel(double v)
{
    return static_cast<int>(std::nearbyint(v));
}

Surface::Surface(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Surface::resizeImage(int width, int height)
{
    // The new image is the background colour with the old image in its top-left corner;
    // both steps wait until the image is needed.
    pendingSizes_.push_back({width, height, palette().color(QPalette::Window).rgb()});
    resize(width, height);
}

QImage& Surface::canvas() const
{
    for (const Sizing& size : pendingSizes_) {
        QImage next(size.width, size.height, QImage::Format_RGB32);
        next.fill(size.background);
        if (!image_.isNull()) {
            QPainter p(&next);
            p.drawImage(0, 0, image_);
        }
        image_ = next;
    }
    if (!pendingSizes_.empty()) {
        // The sharp image starts again from the resized one.
        base_ = image_;
        ops_.clear();
        sharp_ = QImage();
    }
    pendingSizes_.clear();
    return image_;
}

const QImage& Surface::image() const
{
    return canvas();
}

void Surface::changed(const QRect& r)
{
    const QRect visible = r.intersected(rect());
    if (visible.isEmpty())
        return;
    unpainted_ += visible;
    update(visible);
}

namespace {
// The rectangle between two corners, whichever way round, with a margin of pixels.
QRect Spanning(int x1, int y1, int x2, int y2, int margin)
{
    return QRect(QPoint(std::min(x1, x2), std::min(y1, y2)), QPoint(std::max(x1, x2), std::max(y1, y2)))
        .adjusted(-margin, -margin, margin, margin);
}
} // namespace

QFont Surface::textFont() const
{
    QFont f = font();
    f.setPixelSize(RoundPixel(FontSize * 96.0 / 72.0));
    return f;
}

void Surface::Line(double x, double y, double dx, double dy, QRgb colour)
{
    const int x1 = RoundPixel(x), y1 = RoundPixel(y), x2 = RoundPixel(x + dx), y2 = RoundPixel(y + dy);
    QPainter p(&canvas());
    p.setPen(QColor(colour));
    p.drawLine(x1, y1, x2, y2);
    const QRect bounds = Spanning(x1, y1, x2, y2, 1);
    record({.kind = Op::Kind::Line, .rect = QRect(QPoint(x1, y1), QPoint(x2, y2)), .bounds = bounds, .pen = colour});
    changed(bounds);
}

void Surface::Box(double x, double y, double dx, double dy, QRgb colour)
{
    const int x1 = RoundPixel(x), y1 = RoundPixel(y);
    const int x2 = RoundPixel(x + dx), y2 = RoundPixel(y + dy);
    const QRect outline = Spanning(x1, y1, x2, y2, 0);
    QPainter p(&canvas());
    if (FillStyle == 0)
        p.fillRect(outline, QColor(FillColor));
    p.setPen(QColor(colour));
    p.setBrush(Qt::NoBrush);
    p.drawRect(outline.adjusted(0, 0, -1, -1));
    const QRect bounds = outline.adjusted(-1, -1, 1, 1);
    record({.kind = Op::Kind::Box, .rect = outline, .bounds = bounds, .pen = colour, .brush = FillColor,
            .solid = FillStyle == 0});
    changed(bounds);
}

void Surface::FilledBox(double x, double y, double dx, double dy, QRgb colour)
{
    const int x1 = RoundPixel(x), y1 = RoundPixel(y);
    const int x2 = RoundPixel(x + dx), y2 = RoundPixel(y + dy);
    if (x1 == x2 || y1 == y2)
        return;
    const QRect area(std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1), std::abs(y2 - y1));
    QPainter p(&canvas());
    // Width dx and height dy: the far edge itself is not painted.
    p.fillRect(area, QColor(colour));
    record({.kind = Op::Kind::FilledBox, .rect = area, .bounds = area, .brush = colour, .solid = true});
    changed(area);
}

void Surface::Print(const QString& text)
{
    const QFont f = textFont();
    QPainter p(&canvas());
    p.setFont(f);
    p.setPen(QColor(ForeColor));
    const QFontMetrics fm(f);
    const QPoint origin(RoundPixel(CurrentX), RoundPixel(CurrentY) + fm.ascent());
    p.drawText(QPointF(origin), text);
    // The glyphs' own outline, and one pixel of antialiasing around it.
    const QRect ink = fm.tightBoundingRect(text).translated(origin).adjusted(-1, -1, 1, 1);
    record({.kind = Op::Kind::Text, .rect = QRect(origin, QSize(1, 1)), .bounds = ink, .pen = ForeColor,
            .text = text, .font = f});
    // The metrics' bounding rectangle covers every pixel the text paints; one more for safety.
    changed(fm.boundingRect(text).translated(origin).adjusted(-1, -1, 1, 1));
    CurrentX = 0;
    CurrentY += fm.height();
}

QRgb Surface::Point(double x, double y) const
{
    const int px = RoundPixel(x), py = RoundPixel(y);
    const QImage& image = canvas();
    if (!image.valid(px, py))
        return qRgb(0, 0, 0);
    return image.pixel(px, py) | 0xff000000u;
}

void Surface::RoundRect(int left, int top, int right, int bottom, int ellipseW, int ellipseH)
{
    QPainter p(&canvas());
    p.setPen(QColor(ForeColor));
    if (FillStyle == 0)
        p.setBrush(QColor(FillColor));
    else
        p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRect(left, top, right - left - 1, bottom - top - 1), ellipseW / 2.0,
                      ellipseH / 2.0);
    const QRect bounds = Spanning(left, top, right, bottom, 2);
    record({.kind = Op::Kind::RoundRect, .rect = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)),
            .bounds = bounds, .pen = ForeColor, .brush = FillColor, .solid = FillStyle == 0,
            .radii = QPoint(ellipseW, ellipseH)});
    changed(bounds);
}

void Surface::FloodFill(double x, double y, QRgb border)
{
    if (FillStyle != 0)
        return;
    const int sx = RoundPixel(x), sy = RoundPixel(y);
    QImage& image = canvas();
    if (!image.valid(sx, sy))
        return;
    const QRgb borderRgb = border | 0xff000000u;
    const QRgb fill = FillColor | 0xff000000u;
    auto at = [&image](int px, int py) { return image.pixel(px, py) | 0xff000000u; };
    if (at(sx, sy) == borderRgb)
        return;
    // Scan-line fill of every 4-connected pixel that is not the border colour. A visited map
    // keeps it finite even when the fill colour is already present in the area.
    const int w = image.width(), h = image.height();
    QRect filled;
    std::vector<uint8_t> seen(size_t(w) * size_t(h), 0);
    std::vector<QPoint> stack{QPoint(sx, sy)};
    std::vector<QRect> spans;
    while (!stack.empty()) {
        const QPoint pt = stack.back();
        stack.pop_back();
        int x1 = pt.x();
        const int py = pt.y();
        if (seen[size_t(py) * w + x1] || at(x1, py) == borderRgb)
            continue;
        while (x1 > 0 && !seen[size_t(py) * w + x1 - 1] && at(x1 - 1, py) != borderRgb)
            --x1;
        int px = x1;
        for (; px < w && !seen[size_t(py) * w + px] && at(px, py) != borderRgb; ++px) {
            seen[size_t(py) * w + px] = 1;
            image.setPixel(px, py, fill);
            filled |= QRect(px, py, 1, 1);
            for (int ny : {py - 1, py + 1})
                if (ny >= 0 && ny < h && !seen[size_t(ny) * w + px] && at(px, ny) != borderRgb)
                    stack.emplace_back(px, ny);
        }
        if (px > x1)
            spans.emplace_back(x1, py, px - x1, 1);
    }
    // The sharp fill may reach the direct neighbours of the filled pixels.
    record({.kind = Op::Kind::Fill, .bounds = filled.adjusted(-1, -1, 1, 1), .pen = borderRgb, .brush = fill,
            .spans = std::move(spans)});
    changed(filled);
}

void Surface::Refresh()
{
    if (!unpainted_.isEmpty())
        repaint(unpainted_);
}

void Surface::paintEvent(QPaintEvent* event)
{
    const QImage& image = canvas();
    QPainter p(this);
    // Screen pixels per window pixel: the screen's own ratio and any scaling view together.
    const qreal ratio = p.deviceTransform().m11();
    if (std::abs(ratio - 1.0) < 1e-6) {
        for (const QRect& r : event->region())
            p.drawImage(r.topLeft(), image, r);
    } else {
        if (sharp_.isNull() || std::abs(sharpRatio_ - ratio) > 1e-6)
            rebuildSharp(ratio);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p.drawImage(QRectF(0, 0, image.width(), image.height()), sharp_);
    }
    unpainted_ -= event->region();
}

void Surface::mousePressEvent(QMouseEvent* event)
{
    // A scaled window reports presses between window pixels; the press belongs to the window
    // pixel under it, exactly as an unscaled press would.
    emit mouseDown(int(event->button()), int(event->modifiers()), std::floor(event->position().x()),
                   std::floor(event->position().y()));
}

void Surface::record(Op op)
{
    // A bound on what is kept: past it, the sharp image starts again from the window pixels.
    constexpr size_t kMaxOps = 100000;
    if (ops_.size() >= kMaxOps) {
        ops_.clear();
        base_ = image_;
        if (!sharp_.isNull())
            rebuildSharp(sharpRatio_);
        return;
    }
    ops_.push_back(std::move(op));
    paintSharp(ops_.back());
    forgetCovered();
}

namespace {

// Whether a point lies inside a rectangle with rounded corners of radii rx, ry (none for 0).
bool InsideRounded(QPointF p, const QRectF& r, qreal rx, qreal ry)
{
    if (!r.contains(p))
        return false;
    if (rx <= 0 || ry <= 0)
        return true;
    const qreal cx = std::clamp(p.x(), r.left() + rx, r.right() - rx);
    const qreal cy = std::clamp(p.y(), r.top() + ry, r.bottom() - ry);
    const qreal dx = (p.x() - cx) / rx, dy = (p.y() - cy) / ry;
    return dx * dx + dy * dy <= 1;
}

} // namespace

void Surface::forgetCovered()
{
    const Op& cover = ops_.back();
    const bool opaque = cover.solid && (cover.kind == Op::Kind::FilledBox || cover.kind == Op::Kind::Box ||
                                        cover.kind == Op::Kind::RoundRect);
    if (!opaque || ops_.size() < 2)
        return;
    // A margin on both sides, in window pixels, for the screen pixel that painting at another
    // ratio may put further out.
    constexpr int kMargin = 1;
    const QRectF shape = QRectF(cover.rect).adjusted(kMargin, kMargin, -kMargin, -kMargin);
    const qreal rx = cover.kind == Op::Kind::RoundRect ? cover.radii.x() / 2.0 : 0;
    const qreal ry = cover.kind == Op::Kind::RoundRect ? cover.radii.y() / 2.0 : 0;
    // The shape is convex: a rectangle is inside when its four corners are.
    auto covered = [&](const Op& op) {
        // the same shape drawn again, in whatever colours
        if (op.kind == cover.kind && op.rect == cover.rect && op.radii == cover.radii)
            return true;
        const QRectF b = QRectF(op.bounds).adjusted(-kMargin, -kMargin, kMargin, kMargin);
        return InsideRounded(b.topLeft(), shape, rx, ry) && InsideRounded(b.topRight(), shape, rx, ry) &&
               InsideRounded(b.bottomLeft(), shape, rx, ry) && InsideRounded(b.bottomRight(), shape, rx, ry);
    };
    // A fill that stays was bounded by what was painted before it, so nothing before a kept
    // fill may go.
    std::vector<bool> drop(ops_.size(), false);
    bool keptFillAfter = false;
    for (size_t i = ops_.size() - 1; i-- > 0;) {
        if (!keptFillAfter && covered(ops_[i]))
            drop[i] = true;
        else if (ops_[i].kind == Op::Kind::Fill)
            keptFillAfter = true;
    }
    size_t kept = 0;
    for (size_t i = 0; i < ops_.size(); ++i)
        if (!drop[i])
            ops_[kept++] = std::move(ops_[i]);
    ops_.resize(kept);
}

void Surface::rebuildSharp(qreal ratio)
{
    const QSize size(int(std::ceil(image_.width() * ratio)), int(std::ceil(image_.height() * ratio)));
    sharp_ = QImage(size, QImage::Format_RGB32);
    sharpRatio_ = ratio;
    {
        QPainter p(&sharp_);
        p.drawImage(QRectF(0, 0, size.width(), size.height()), base_);
    }
    for (const Op& op : ops_)
        paintSharp(op);
}

void Surface::paintSharp(const Op& op)
{
    if (sharp_.isNull())
        return;
    if (op.kind == Op::Kind::Fill) {
        fillSharp(op);
        return;
    }
    QPainter p(&sharp_);
    p.scale(sharpRatio_, sharpRatio_);
    // A window pixel (x, y) covers x..x+1; a pen of width 1 centred half a pixel in covers it.
    const QPointF half(0.5, 0.5);
    // Below a ratio of 1 a line keeps at least one screen pixel, so no border goes missing.
    const qreal one = std::max(1.0, 1.0 / sharpRatio_);
    switch (op.kind) {
    case Op::Kind::Line:
        if (op.rect.topLeft() == op.rect.bottomRight()) {
            p.fillRect(QRectF(op.rect.topLeft(), QSizeF(one, one)), QColor(op.pen));
        } else {
            p.setPen(QPen(QColor(op.pen), one, Qt::SolidLine, Qt::SquareCap));
            p.drawLine(QPointF(op.rect.topLeft()) + half, QPointF(op.rect.bottomRight()) + half);
        }
        break;
    case Op::Kind::Box: {
        const QRectF r(op.rect);
        if (op.solid)
            p.fillRect(r, QColor(op.brush));
        const QColor c(op.pen);
        p.fillRect(QRectF(r.left(), r.top(), r.width(), one), c);
        p.fillRect(QRectF(r.left(), r.bottom() - one, r.width(), one), c);
        p.fillRect(QRectF(r.left(), r.top(), one, r.height()), c);
        p.fillRect(QRectF(r.right() - one, r.top(), one, r.height()), c);
        break;
    }
    case Op::Kind::FilledBox:
        p.fillRect(op.rect, QColor(op.brush));
        break;
    case Op::Kind::Text:
        p.setFont(op.font);
        p.setPen(QColor(op.pen));
        p.drawText(QPointF(op.rect.topLeft()), op.text);
        break;
    case Op::Kind::RoundRect:
        p.setPen(QPen(QColor(op.pen), one));
        p.setBrush(op.solid ? QBrush(QColor(op.brush)) : QBrush(Qt::NoBrush));
        p.drawRoundedRect(QRectF(op.rect).adjusted(0.5, 0.5, -0.5, -0.5), op.radii.x() / 2.0, op.radii.y() / 2.0);
        break;
    case Op::Kind::Fill:
        break;
    }
}

// Fills the sharp image where the window pixels were filled. The sharp image's own borders
// stop it, so the filled area meets its lines cleanly; it never strays beyond the window
// pixels that were filled and their direct neighbours.
void Surface::fillSharp(const Op& op)
{
    const int w = image_.width(), h = image_.height();
    std::vector<uint8_t> allowed(size_t(w) * size_t(h), 0);
    for (const QRect& s : op.spans)
        for (int x = s.left(); x <= s.right(); ++x)
            allowed[size_t(s.top()) * w + x] = 2;
    for (const QRect& s : op.spans)
        for (int x = s.left(); x <= s.right(); ++x)
            for (auto [nx, ny] : {std::pair{x - 1, s.top()}, std::pair{x + 1, s.top()},
                                  std::pair{x, s.top() - 1}, std::pair{x, s.top() + 1}})
                if (nx >= 0 && nx < w && ny >= 0 && ny < h && allowed[size_t(ny) * w + nx] == 0)
                    allowed[size_t(ny) * w + nx] = 1;

    const qreal ratio = sharpRatio_;
    const int W = sharp_.width(), H = sharp_.height();
    std::vector<int> toX(W), toY(H);
    for (int X = 0; X < W; ++X)
        toX[X] = std::min(w - 1, int(X / ratio));
    for (int Y = 0; Y < H; ++Y)
        toY[Y] = std::min(h - 1, int(Y / ratio));
    auto pixel = [this](int X, int Y) -> QRgb& { return reinterpret_cast<QRgb*>(sharp_.scanLine(Y))[X]; };
    auto allowedAt = [&](int X, int Y) { return allowed[size_t(toY[Y]) * w + toX[X]]; };

    std::vector<uint8_t> done(size_t(W) * size_t(H), 0);
    std::vector<QPoint> stack;
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X)
            if (allowedAt(X, Y) == 2 && (pixel(X, Y) | 0xff000000u) != op.pen) {
                done[size_t(Y) * W + X] = 1;
                pixel(X, Y) = op.brush;
                stack.emplace_back(X, Y);
            }
    while (!stack.empty()) {
        const QPoint pt = stack.back();
        stack.pop_back();
        for (auto [X, Y] : {std::pair{pt.x() - 1, pt.y()}, std::pair{pt.x() + 1, pt.y()},
                            std::pair{pt.x(), pt.y() - 1}, std::pair{pt.x(), pt.y() + 1}}) {
            if (X < 0 || X >= W || Y < 0 || Y >= H || done[size_t(Y) * W + X] || allowedAt(X, Y) == 0
                || (pixel(X, Y) | 0xff000000u) == op.pen)
                continue;
            done[size_t(Y) * W + X] = 1;
            pixel(X, Y) = op.brush;
            stack.emplace_back(X, Y);
        }
    }
}
