// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/PageWindow.h"

#include "drawing/Exercise.h"
#include "shell/Fonts.h"
#include "shell/ScaledWindow.h"

#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {
const QString kClosed = QStringLiteral("おわりました。");
const QString kAgain = QStringLiteral("もういちど");
// The smallest scale the form is drawn at, however small the page.
constexpr double kMinPageFactor = 0.25;
} // namespace

double windowscale::PageFactor(QSize form, QSize page)
{
    if (form.isEmpty() || page.isEmpty())
        return 1.0;
    const double fit = std::min(double(page.width()) / form.width(), double(page.height()) / form.height());
    if (fit >= 1.0)
        return 1.0;
    return std::max(kMinPageFactor, std::floor(fit * 1000.0) / 1000.0);
}

PageWindow::PageWindow(MakeForm makeForm)
    : makeForm_(std::move(makeForm))
{
    setWindowFlag(Qt::FramelessWindowHint);
    form_ = makeForm_();
    setWindowTitle(QStringLiteral("ポロメ"));
    SetBackColor(this, form_->palette().color(QPalette::Window));

    closing_ = new QWidget(this);
    auto* layout = new QVBoxLayout(closing_);
    auto* label = new QLabel(kClosed, closing_);
    label->setFont(fonts::Make(fonts::Mincho, 26.25, true));
    label->setAlignment(Qt::AlignCenter);
    again_ = new QPushButton(kAgain, closing_);
    again_->setFont(fonts::Make(fonts::Mincho, 20.25, true));
    again_->setMinimumSize(240, 64);
    layout->addStretch();
    layout->addWidget(label);
    layout->addSpacing(32);
    layout->addWidget(again_, 0, Qt::AlignHCenter);
    layout->addStretch();
    closing_->hide();
    connect(again_, &QPushButton::clicked, this, &PageWindow::startAgain);

    form_->setParent(this);
    form_->show();
    resize(form_->size());
    fit();
}

PageWindow::~PageWindow()
{
    if (proxy_)
        proxy_->setWidget(nullptr);
}

void PageWindow::showThroughView()
{
    if (view_)
        return;
    view_ = ViewOfForm(*form_, *this, scene_, proxy_);
    view_->lower();
    view_->setVisible(!closing_->isVisible());
}

void PageWindow::fit()
{
    const double f = windowscale::PageFactor(form_->size(), size());
    if (f != 1.0)
        showThroughView();
    factor_ = f;
    if (view_) {
        view_->setGeometry(rect());
        view_->setTransform(QTransform::fromScale(f, f));
    } else {
        form_->move((width() - form_->width()) / 2, (height() - form_->height()) / 2);
    }
    closing_->setGeometry(rect());
}

void PageWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fit();
}

void PageWindow::showClosing()
{
    if (view_)
        view_->hide();
    else
        form_->hide();
    closing_->setGeometry(rect());
    closing_->show();
    closing_->raise();
    again_->setFocus();
}

void PageWindow::startAgain()
{
    std::unique_ptr<QWidget> old = std::move(form_);
    form_ = makeForm_();
    if (proxy_) {
        proxy_->setWidget(nullptr);
        old.reset();
        proxy_->setWidget(form_.get());
        scene_->setSceneRect(QRectF(QPointF(0, 0), form_->size()));
        view_->show();
    } else {
        old.reset();
        form_->setParent(this);
        form_->show();
    }
    closing_->hide();
    fit();
}
