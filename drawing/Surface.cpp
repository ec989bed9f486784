#include "drawing/Surface.h"

#include <QMouseEvent>
#include <QPainter>
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
    QImage next(width, height, QImage::Format_RGB32);
    next.fill(palette().color(QPalette::Window));
    QPainter p(&next);
    p.drawImage(0, 0, image_);
    p.end();
    image_ = next;
    resize(width, height);
}

QFont Surface::textFont() const
{
    QFont f = font();
    f.setPixelSize(RoundPixel(FontSize * 96.0 / 72.0));
    return f;
}

void Surface::Line(double x, double y, double dx, double dy, QRgb colour)
{
    QPainter p(&image_);
    p.setPen(QColor(colour));
    p.drawLine(RoundPixel(x), RoundPixel(y), RoundPixel(x + dx), RoundPixel(y + dy));
    update();
}

void Surface::Box(double x, double y, double dx, double dy, QRgb colour)
{
    const int x1 = RoundPixel(x), y1 = RoundPixel(y);
    const int x2 = RoundPixel(x + dx), y2 = RoundPixel(y + dy);
    QPainter p(&image_);
    if (FillStyle == 0)
        p.fillRect(QRect(QPoint(std::min(x1, x2), std::min(y1, y2)),
                         QPoint(std::max(x1, x2), std::max(y1, y2))),
                   QColor(FillColor));
    p.setPen(QColor(colour));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(QPoint(std::min(x1, x2), std::min(y1, y2)),
                     QPoint(std::max(x1, x2), std::max(y1, y2))).adjusted(0, 0, -1, -1));
    update();
}

void Surface::FilledBox(double x, double y, double dx, double dy, QRgb colour)
{
    const int x1 = RoundPixel(x), y1 = RoundPixel(y);
    const int x2 = RoundPixel(x + dx), y2 = RoundPixel(y + dy);
    if (x1 == x2 || y1 == y2)
        return;
    QPainter p(&image_);
    // Width dx and height dy: the far edge itself is not painted.
    p.fillRect(QRect(std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1), std::abs(y2 - y1)),
               QColor(colour));
    update();
}

void Surface::Print(const QString& text)
{
    const QFont f = textFont();
    QPainter p(&image_);
    p.setFont(f);
    p.setPen(QColor(ForeColor));
    const QFontMetrics fm(f);
    p.drawText(QPointF(RoundPixel(CurrentX), RoundPixel(CurrentY) + fm.ascent()), text);
    CurrentX = 0;
    CurrentY += fm.height();
    update();
}

QRgb Surface::Point(double x, double y) const
{
    const int px = RoundPixel(x), py = RoundPixel(y);
    if (!image_.valid(px, py))
        return qRgb(0, 0, 0);
    return image_.pixel(px, py) | 0xff000000u;
}

void Surface::RoundRect(int left, int top, int right, int bottom, int ellipseW, int ellipseH)
{
    QPainter p(&image_);
    p.setPen(QColor(ForeColor));
    if (FillStyle == 0)
        p.setBrush(QColor(FillColor));
    else
        p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRect(left, top, right - left - 1, bottom - top - 1), ellipseW / 2.0,
                      ellipseH / 2.0);
}

void Surface::FloodFill(double x, double y, QRgb border)
{
    if (FillStyle != 0)
        return;
    const int sx = RoundPixel(x), sy = RoundPixel(y);
    if (!image_.valid(sx, sy))
        return;
    const QRgb borderRgb = border | 0xff000000u;
    const QRgb fill = FillColor | 0xff000000u;
    auto at = [this](int px, int py) { return image_.pixel(px, py) | 0xff000000u; };
    if (at(sx, sy) == borderRgb)
        return;
    // Scan-line fill of every 4-connected pixel that is not the border colour. A visited map
    // keeps it finite even when the fill colour is already present in the area.
    const int w = image_.width(), h = image_.height();
    std::vector<uint8_t> seen(size_t(w) * size_t(h), 0);
    std::vector<QPoint> stack{QPoint(sx, sy)};
    while (!stack.empty()) {
        const QPoint pt = stack.back();
        stack.pop_back();
        int x1 = pt.x();
        const int py = pt.y();
        if (seen[size_t(py) * w + x1] || at(x1, py) == borderRgb)
            continue;
        while (x1 > 0 && !seen[size_t(py) * w + x1 - 1] && at(x1 - 1, py) != borderRgb)
            --x1;
        for (int px = x1; px < w && !seen[size_t(py) * w + px] && at(px, py) != borderRgb; ++px) {
            seen[size_t(py) * w + px] = 1;
            image_.setPixel(px, py, fill);
            for (int ny : {py - 1, py + 1})
                if (ny >= 0 && ny < h && !seen[size_t(ny) * w + px] && at(px, ny) != borderRgb)
                    stack.emplace_back(px, ny);
        }
    }
}

void Surface::Refresh()
{
    update();
    repaint();
}

void Surface::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(0, 0, image_);
}

void Surface::mousePressEvent(QMouseEvent* event)
{
    emit mouseDown(int(event->button()), int(event->modifiers()), event->position().x(),
                   event->position().y());
}
