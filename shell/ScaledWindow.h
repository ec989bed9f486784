#pragma once
#include "shell/WindowScale.h"

#include <QMargins>
#include <QWidget>

// The top-level window that holds the form and shows it at a scale. The scale is Qt's own
// (the backing store's device pixel ratio), so widgets, text and pictures are drawn at the
// screen's resolution while every position inside the form stays in the form's own pixels.
// F11 switches between the chosen size and full screen, where the form is scaled to fill
// the screen and centred on its own background colour.
class ScaledWindow : public QWidget
{
    Q_OBJECT
public:
    // Chooses the scale for the form (already laid out for the screen) and applies it; call
    // before any window is shown. The form becomes this window's content.
    ScaledWindow(QWidget& form, const windowscale::Request& request);

    // Call before the application object exists.
    static void PrepareApplication();

    double scale() const { return factor_; }
    void toggleFullScreen();

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyFactor(double factor);
    void checkFrame();
    void placeOnScreen();
    QSize unscaled(QSize logical) const;
    QMargins unscaledFrame() const;

    QWidget& form_;
    windowscale::Request request_;
    double baseFactor_ = 1.0; // a factor the environment set for the whole program
    double factor_ = 1.0;
    double normalFactor_ = 1.0;
    QMargins frameUsed_;
    bool fullScreen_ = false;
};

// The scale asked for: on the command line, else in the settings (key window/scale). A bad
// value in the settings is reported on standard error and the default is used.
windowscale::Request RequestedScale(const QString& commandLine);
