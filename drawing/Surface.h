// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QFont>
#include <QImage>
#include <QRegion>
#include <QRgb>
#include <QString>
#include <QWidget>
#include <vector>

// An exercise panel: a widget showing a persistent image that is only ever drawn over,
// never cleared. Geometry is drawn without anti-aliasing so black borders stay pure black,
// which the flood fill and the colour read-back of the picture exercises rely on.
//
// Each drawing call repaints only the rectangle it touched, so the panel's buttons and
// pictures elsewhere are not painted again. The image itself (3 MB on the large screen) is
// made when the panel is first drawn on or shown, not when it is sized.
//
// The image holds one pixel per window pixel and is what Point and FloodFill read. When the
// window is scaled (device pixel ratio other than 1) the panel shows a second, sharp image at
// the screen's resolution instead, painted with the same calls; it is only ever looked at.
// The calls are kept (even at a ratio of 1, for a later F11) so that the sharp image can be
// painted again at a new ratio; a call that a later opaque one paints over entirely, such as
// the last problem under a slot's fresh frame, is dropped, so what is kept does not grow
// with the problems drilled.
class Surface : public QWidget
{
    Q_OBJECT
public:
    explicit Surface(QWidget* parent = nullptr);

    // Drawing state, kept between handlers.
    QRgb ForeColor = qRgb(0, 0, 0);
    QRgb FillColor = qRgb(0, 0, 0);
    int FillStyle = 1;        // 0 solid, 1 transparent
    double FontSize = 24;     // points
    double CurrentX = 0;
    double CurrentY = 0;

    // Segment from (x, y) to (x + dx, y + dy).
    void Line(double x, double y, double dx, double dy, QRgb colour);
    // Outline in colour from (x, y) to (x + dx, y + dy); inside painted with the brush.
    void Box(double x, double y, double dx, double dy, QRgb colour);
    // Rectangle dx wide and dy high filled with colour.
    void FilledBox(double x, double y, double dx, double dy, QRgb colour);
    // Text with its top-left at (CurrentX, CurrentY) on a transparent background; then
    // CurrentX = 0 and CurrentY moves down one line.
    void Print(const QString& text);
    QRgb Point(double x, double y) const;
    // Rounded rectangle, outline in ForeColor, inside with the brush (right and bottom
    // edges exclusive, as the system call draws them).
    void RoundRect(int left, int top, int right, int bottom, int ellipseW, int ellipseH);
    // Fills with the brush the area around (x, y) bounded by the colour border.
    void FloodFill(double x, double y, QRgb border);
    // Paints what the drawing calls changed at once, instead of when the event loop next runs.
    void Refresh();

    const QImage& image() const;
    QFont textFont() const;
    // How many drawing calls are kept for painting the sharp image again.
    size_t keptCalls() const { return ops_.size(); }
    void resizeImage(int width, int height);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;

signals:
    void mouseDown(int button, int shift, double x, double y);

private:
    // The image, made on first use from the sizes it was given.
    QImage& canvas() const;
    // Schedules the repaint of a rectangle of the image that a drawing call changed.
    void changed(const QRect& r);

    struct Sizing
    {
        int width, height;
        QRgb background;
    };
    mutable QImage image_;
    mutable std::vector<Sizing> pendingSizes_;
    QRegion unpainted_;

    // One drawing call, kept so that the sharp image can be painted again at a new ratio.
    struct Op
    {
        enum class Kind { Line, Box, FilledBox, Text, RoundRect, Fill } kind = Kind::Line;
        QRect rect{};             // Line: the two end points as topLeft/bottomRight
        QRect bounds{};           // every window pixel the call may paint
        QRgb pen = 0;
        QRgb brush = 0;
        bool solid = false;
        QPoint radii{};           // RoundRect
        QString text{};           // Text
        QFont font{};             // Text
        std::vector<QRect> spans{}; // Fill: the window pixels it filled, one row each
    };
    void record(Op op);
    // Drops the kept calls that the newest one, opaque, paints over entirely.
    void forgetCovered();
    void paintSharp(const Op& op);
    void fillSharp(const Op& op);
    void rebuildSharp(qreal ratio);

    // Reset whenever the image is resized.
    mutable QImage base_;          // the image as it was before the first kept call
    mutable std::vector<Op> ops_;
    mutable QImage sharp_;         // null until a ratio other than 1 is shown
    qreal sharpRatio_ = 1; // its screen pixels per window pixel
};

// Rounds as the drawing calls do: halves to even.
int RoundPixel(double v);
