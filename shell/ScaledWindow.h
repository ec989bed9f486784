// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "shell/WindowScale.h"

#include <QGraphicsScene>
#include <QMargins>
#include <QWidget>
#include <memory>

class QGraphicsProxyWidget;
class QGraphicsView;

// Moves the form out of its parent into a new scene, shown by a frameless view without
// scroll bars on `window`, the form centred on the window's colour: sets scene and proxy
// and returns the view. The proxy must hand the form back before it goes.
QGraphicsView* ViewOfForm(QWidget& form, QWidget& window, std::unique_ptr<QGraphicsScene>& scene,
                          QGraphicsProxyWidget*& proxy);

// The top-level window that shows the form at a scale. The form keeps its own pixels: at a
// scale of 1 it is simply this window's child; at any other scale, and in full screen, it is
// shown through a view that scales it, so every position, press, pixel read-back and fill
// inside the form stays as it is, while text, lines and pictures are drawn at the scaled
// size. The view is made only when first needed (it costs start-up time and memory), and once
// made it stays. F11 switches between the chosen size and full screen, where the form is
// scaled to fill the screen and centred on its own background colour.
class ScaledWindow : public QWidget
{
    Q_OBJECT
public:
    // Chooses the scale for the form (already laid out for the screen) and applies it. The
    // form becomes this window's content.
    ScaledWindow(QWidget& form, const windowscale::Request& request);
    // Hands the form back: it is not the view's to delete.
    ~ScaledWindow() override;

    double scale() const { return factor_; }
    // Shows the form at this many screen pixels per form pixel from now on, whatever frame
    // the window manager gives the window.
    void fixScale(double factor);
    // The scaling view, or null while the form is shown directly at a scale of 1.
    QGraphicsView* view() { return view_; }
    void toggleFullScreen();

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void setScale(double factor);
    // Moves the form from this window into the scaling view, once.
    void showThroughView();
    void checkFrame();
    void placeOnScreen();
    QMargins frame() const;

    QWidget& form_;
    windowscale::Request request_;
    std::unique_ptr<QGraphicsScene> scene_;
    QGraphicsView* view_ = nullptr;
    QGraphicsProxyWidget* proxy_ = nullptr;
    double factor_ = 1.0;
    double normalFactor_ = 1.0;
    QMargins frameUsed_;
    bool fullScreen_ = false;
    bool fixed_ = false;
};

// The scale asked for: on the command line, else in the settings (key window/scale). A bad
// value in the settings is reported on standard error and the default is used.
windowscale::Request RequestedScale(const QString& commandLine);
