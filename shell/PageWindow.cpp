// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/PageWindow.h"

#include "drawing/Exercise.h"
#include "shell/Fonts.h"
#include "shell/ScaledWindow.h"

#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QResizeEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {
const QString kClosed = QStringLiteral("おわりました。");
const QString kAgain = QStringLiteral("もういちど");
const QString kSave = QStringLiteral("きろくを　ほぞんする");
// Numbers in the pupil's texts are written in full-width digits, as in 「３年生」.
QString Unsent(int n)
{
    QString digits = QString::number(n);
    for (QChar& c : digits)
        c = QChar(c.unicode() - u'0' + u'０');
    return QStringLiteral("きろくが　まだ　%1こ　おくれていません。").arg(digits);
}
// How often the closing screen looks at what the record still holds.
constexpr int kRecordLookMs = 1000;
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
    unsent_ = new QLabel(closing_);
    unsent_->setFont(fonts::Make(fonts::Mincho, 15.75, true));
    unsent_->setAlignment(Qt::AlignCenter);
    save_ = new QPushButton(kSave, closing_);
    save_->setFont(fonts::Make(fonts::Mincho, 20.25, true));
    save_->setMinimumSize(360, 64);
    layout->addStretch();
    layout->addWidget(label);
    layout->addSpacing(32);
    layout->addWidget(again_, 0, Qt::AlignHCenter);
    layout->addSpacing(24);
    layout->addWidget(unsent_);
    layout->addSpacing(16);
    layout->addWidget(save_, 0, Qt::AlignHCenter);
    layout->addStretch();
    // Without a record the closing screen is as it always was.
    unsent_->hide();
    save_->hide();
    closing_->hide();
    connect(again_, &QPushButton::clicked, this, &PageWindow::startAgain);
    connect(save_, &QPushButton::clicked, this, [this] {
        if (record_.save)
            record_.save();
        showRecord();
    });
    recordTimer_ = new QTimer(this);
    recordTimer_->setInterval(kRecordLookMs);
    connect(recordTimer_, &QTimer::timeout, this, &PageWindow::showRecord);

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

void PageWindow::setRecord(Record record)
{
    record_ = std::move(record);
    // The line and the button keep their room while hidden, so that もういちど stays put.
    const auto keepRoom = [](QWidget* w, bool keep) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(keep);
        w->setSizePolicy(policy);
    };
    keepRoom(unsent_, bool(record_.waiting));
    keepRoom(save_, bool(record_.unsaved));
}

void PageWindow::showRecord()
{
    const int waiting = record_.waiting ? record_.waiting() : 0;
    if (waiting > 0)
        unsent_->setText(Unsent(waiting));
    unsent_->setVisible(waiting > 0);
    save_->setVisible(record_.unsaved && record_.unsaved() > 0);
    if (!closing_->isVisible())
        recordTimer_->stop();
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
    if (record_.waiting || record_.unsaved) {
        showRecord();
        recordTimer_->start();
    }
    // Laid out at once, so that whoever asks where its buttons are is told where they show.
    closing_->layout()->activate();
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
