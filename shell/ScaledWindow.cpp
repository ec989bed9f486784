#include "shell/ScaledWindow.h"

#include "drawing/Exercise.h"

#include <QGuiApplication>
#include <QResizeEvent>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QWindow>
#include <QtGui/private/qhighdpiscaling_p.h>

#include <cmath>
#include <cstdio>

namespace {

// Window managers differ; this is a common frame (title bar and thin borders) to assume until
// the window manager has framed the window and its real frame is known.
const QMargins kAssumedFrame(4, 32, 4, 4);

QtMessageHandler previousHandler = nullptr;

// Qt warns when the factor changes while windows exist; the program then resizes its window
// to the new factor itself, so the warning says nothing to the user.
void DropFactorWarning(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("QHighDpiScaling::setFactor")))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
}

double EnvironmentFactor()
{
    bool ok = false;
    const double f = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    return ok && f > 0 ? f : 1.0;
}

} // namespace

windowscale::Request RequestedScale(const QString& commandLine)
{
    if (!commandLine.isEmpty())
        return windowscale::Parse(commandLine).value_or(windowscale::Request{});
    const QString stored = QSettings().value(QStringLiteral("window/scale")).toString();
    QString error;
    if (const auto request = windowscale::Parse(stored, &error))
        return *request;
    std::fprintf(stderr, "porome: the settings' window/scale is not used: %s\n", qPrintable(error));
    return {};
}

void ScaledWindow::PrepareApplication()
{
    // Factors such as 0.8 or 1.5 are used as they are, not rounded to whole numbers.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

ScaledWindow::ScaledWindow(QWidget& form, const windowscale::Request& request)
    : form_(form), request_(request), baseFactor_(EnvironmentFactor())
{
    setWindowTitle(form.windowTitle());
    setWindowIcon(form.windowIcon());
    SetBackColor(this, form.palette().color(QPalette::Window));
    form.setParent(this);
    form.move(0, 0);
    form.show();
    resize(form.size());

    frameUsed_ = kAssumedFrame;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        applyFactor(windowscale::Choose(request_, form.size(), frameUsed_,
                                        unscaled(screen->availableGeometry().size())));
    placeOnScreen();

    auto* f11 = new QShortcut(QKeySequence(Qt::Key_F11), this);
    connect(f11, &QShortcut::activated, this, &ScaledWindow::toggleFullScreen);
}

QSize ScaledWindow::unscaled(QSize logical) const
{
    return QSize(int(std::lround(logical.width() * factor_)), int(std::lround(logical.height() * factor_)));
}

QMargins ScaledWindow::unscaledFrame() const
{
    const QRect frame = frameGeometry(), inner = geometry();
    auto px = [this](int v) { return int(std::lround(v * factor_)); };
    return QMargins(px(inner.left() - frame.left()), px(inner.top() - frame.top()),
                    px(frame.right() - inner.right()), px(frame.bottom() - inner.bottom()));
}

void ScaledWindow::applyFactor(double factor)
{
    if (factor == factor_)
        return;
    previousHandler = qInstallMessageHandler(DropFactorWarning);
    QHighDpiScaling::setGlobalFactor(baseFactor_ * factor);
    qInstallMessageHandler(previousHandler);
    factor_ = factor;
    // The native window keeps its size in screen pixels; give it the form's size at the new
    // scale.
    if (QWindow* w = windowHandle(); w && !fullScreen_)
        w->resize(form_.size());
}

void ScaledWindow::placeOnScreen()
{
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize outer = frameGeometry().size().expandedTo(size());
    move(area.left() + std::max(0, (area.width() - outer.width()) / 2),
         area.top() + std::max(0, (area.height() - outer.height()) / 2));
}

void ScaledWindow::checkFrame()
{
    if (fullScreen_ || !isVisible() || !screen())
        return;
    const QMargins frame = unscaledFrame();
    // No frame means none yet, or no window manager at all: keep what was assumed.
    if (frame.isNull() || frame == frameUsed_)
        return;
    frameUsed_ = frame;
    const double f = windowscale::Choose(request_, form_.size(), frame,
                                         unscaled(screen()->availableGeometry().size()));
    if (f != factor_) {
        applyFactor(f);
        placeOnScreen();
    }
}

bool ScaledWindow::event(QEvent* event)
{
    const bool done = QWidget::event(event);
    if (event->type() == QEvent::Move || event->type() == QEvent::Show || event->type() == QEvent::Resize)
        checkFrame();
    return done;
}

void ScaledWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    form_.move((width() - form_.width()) / 2, (height() - form_.height()) / 2);
}

void ScaledWindow::toggleFullScreen()
{
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    if (!fullScreen_) {
        normalFactor_ = factor_;
        const double full = windowscale::FullScreenFactor(form_.size(), unscaled(screen->geometry().size()));
        fullScreen_ = true;
        applyFactor(full);
        showFullScreen();
        // Without a window manager nobody else gives the window the whole screen.
        setGeometry(screen->geometry());
    } else {
        fullScreen_ = false;
        showNormal();
        applyFactor(normalFactor_);
        if (QWindow* w = windowHandle())
            w->resize(form_.size());
        placeOnScreen();
    }
}
