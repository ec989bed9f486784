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
    changed(Spanning(x1, y1, x2, y2, 1));
}

void Surface::Box(double x, double y, double dx, double dy, QRgb colour)
{
    const int x1 = RoundPixel(x), y1 = RoundPixel(y);
    const int x2 = RoundPixel(x + dx), y2 = RoundPixel(y + dy);
    QPainter p(&canvas());
    if (FillStyle == 0)
        p.fillRect(QRect(QPoint(std::min(x1, x2), std::min(y1, y2)),
                         QPoint(std::max(x1, x2), std::max(y1, y2))),
                   QColor(FillColor));
    p.setPen(QColor(colour));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(QPoint(std::min(x1, x2), std::min(y1, y2)),
                     QPoint(std::max(x1, x2), std::max(y1, y2))).adjusted(0, 0, -1, -1));
    changed(Spanning(x1, y1, x2, y2, 1));
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
    changed(Spanning(left, top, right, bottom, 2));
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
            image.setPixel(px, py, fill);
            filled |= QRect(px, py, 1, 1);
            for (int ny : {py - 1, py + 1})
                if (ny >= 0 && ny < h && !seen[size_t(ny) * w + px] && at(px, ny) != borderRgb)
                    stack.emplace_back(px, ny);
        }
    }
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
    for (const QRect& r : event->region())
        p.drawImage(r.topLeft(), image, r);
    unpainted_ -= event->region();
}

void Surface::mousePressEvent(QMouseEvent* event)
{
    emit mouseDown(int(event->button()), int(event->modifiers()), event->position().x(),
                   event->position().y());
}
