// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/ScaledWindow.h"

#include "drawing/Exercise.h"

#include <QGraphicsProxyWidget>
#include <QGraphicsView>
#include <QGuiApplication>
#include <QResizeEvent>
#include <QScreen>
#include <QSettings>
#include <QShortcut>

#include <cstdio>

namespace {

// Window managers differ; this is a common frame (title bar and thin borders) to assume until
// the window manager has framed the window and its real frame is known.
const QMargins kAssumedFrame(4, 32, 4, 4);

} // namespace

windowscale::Request RequestedScale(const QString& commandLine)
{
    if (!commandLine.isEmpty())
        return windowscale::Parse(commandLine).value_or(windowscale::Request{});
    const QString stored = QSettings().value(QStringLiteral("window/scale")).toString();
    QString error;
    if (const auto request = windowscale::Parse(stored, &error))
        return *request;
    std::fprintf(stderr, "porome: window/scale in the settings is not used: %s\n", qPrintable(error));
    return {};
}

ScaledWindow::ScaledWindow(QWidget& form, const windowscale::Request& request)
    : form_(form), request_(request)
{
    // The icon is the application's, which the form sets.
    setWindowTitle(form.windowTitle());
    SetBackColor(this, form.palette().color(QPalette::Window));

    // At a scale of 1 the form is an ordinary child, drawn and pressed as it always was.
    form.setParent(this);
    form.move(0, 0);
    form.show();
    resize(form.size());

    frameUsed_ = kAssumedFrame;
    double f = 1.0;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        f = windowscale::Choose(request_, form.size(), frameUsed_, screen->availableGeometry().size());
    setScale(f);
    placeOnScreen();

    auto* f11 = new QShortcut(QKeySequence(Qt::Key_F11), this);
    connect(f11, &QShortcut::activated, this, &ScaledWindow::toggleFullScreen);
}

ScaledWindow::~ScaledWindow()
{
    if (proxy_)
        proxy_->setWidget(nullptr);
    else
        form_.setParent(nullptr);
}

QGraphicsView* ViewOfForm(QWidget& form, QWidget& window, std::unique_ptr<QGraphicsScene>& scene,
                          QGraphicsProxyWidget*& proxy)
{
    // The proxy takes only a widget without a parent.
    form.setParent(nullptr);
    form.move(0, 0);
    scene = std::make_unique<QGraphicsScene>();
    auto* view = new QGraphicsView(scene.get(), &window);
    view->setFrameShape(QFrame::NoFrame);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setBackgroundBrush(window.palette().color(QPalette::Window));
    view->setAlignment(Qt::AlignCenter);
    view->setRenderHints(QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    proxy = scene->addWidget(&form);
    scene->setSceneRect(QRectF(QPointF(0, 0), form.size()));
    return view;
}

void ScaledWindow::showThroughView()
{
    if (view_)
        return;
    view_ = ViewOfForm(form_, *this, scene_, proxy_);
    view_->setGeometry(rect());
    view_->show();
}

void ScaledWindow::fixScale(double factor)
{
    fixed_ = true;
    setScale(factor);
}

void ScaledWindow::setScale(double factor)
{
    if (factor == factor_)
        return;
    factor_ = factor;
    if (factor != 1.0 || fullScreen_)
        showThroughView();
    if (view_)
        view_->setTransform(QTransform::fromScale(factor, factor));
    if (!fullScreen_)
        resize(windowscale::ScaledSize(form_.size(), factor));
}

QMargins ScaledWindow::frame() const
{
    const QRect outer = frameGeometry(), inner = geometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                    outer.bottom() - inner.bottom());
}

void ScaledWindow::placeOnScreen()
{
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QMargins m = isVisible() && !frame().isNull() ? frame() : frameUsed_;
    const QSize outer = size().grownBy(m);
    move(area.left() + std::max(0, (area.width() - outer.width()) / 2),
         area.top() + std::max(0, (area.height() - outer.height()) / 2));
}

void ScaledWindow::checkFrame()
{
    if (fixed_ || fullScreen_ || !isVisible() || !screen())
        return;
    const QMargins m = frame();
    // No frame means none yet, or no window manager at all: keep what was assumed.
    if (m.isNull() || m == frameUsed_)
        return;
    frameUsed_ = m;
    const double f = windowscale::Choose(request_, form_.size(), m, screen()->availableGeometry().size());
    if (f != factor_) {
        setScale(f);
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
    if (view_)
        view_->setGeometry(rect());
}

void ScaledWindow::toggleFullScreen()
{
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    if (!fullScreen_) {
        normalFactor_ = factor_;
        fullScreen_ = true;
        showThroughView();
        setScale(windowscale::FullScreenFactor(form_.size(), screen->geometry().size()));
        showFullScreen();
        // Without a window manager nobody else gives the window the whole screen.
        setGeometry(screen->geometry());
    } else {
        fullScreen_ = false;
        showNormal();
        factor_ = 0;
        setScale(normalFactor_);
        placeOnScreen();
    }
}
