// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/PagePlatform.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace {
bool IsKey(QEvent::Type type)
{
    return type == QEvent::KeyPress || type == QEvent::KeyRelease;
}

bool IsPress(QEvent::Type type)
{
    return type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease
           || type == QEvent::MouseButtonDblClick || type == QEvent::MouseMove;
}
} // namespace

HeldInput::HeldInput()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

void HeldInput::PauseBegins()
{
    ++pauses_;
}

void HeldInput::PauseEnds()
{
    --pauses_;
    handOnLater();
}

// Keys and presses go to a window first, which gives them to its widgets; they are held
// there, during a pause and as long as input from before waits, so that none overtakes
// another. (A tap comes as a press made from the touch.)
bool HeldInput::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (!(IsKey(type) || IsPress(type)) || !watched->isWindowType() || event == handingOn_)
        return false;
    if (pauses_ == 0 && held_.empty())
        return false;
    held_.push_back({IsKey(type) ? nullptr : static_cast<QWindow*>(watched), std::unique_ptr<QEvent>(event->clone())});
    return true;
}

void HeldInput::handOnLater()
{
    if (posted_ || held_.empty())
        return;
    posted_ = true;
    QMetaObject::invokeMethod(this, [this] { handOnNext(); }, Qt::QueuedConnection);
}

void HeldInput::handOnNext()
{
    posted_ = false;
    if (pauses_ > 0 || held_.empty())
        return;   // the end of the pause hands them on
    const Held next = std::move(held_.front());
    held_.pop_front();
    // What follows goes on the next turn of whichever event loop runs then: a message box
    // that this key or press opens gets what comes after it, as on the desktop.
    handOnLater();
    QWindow* window = IsKey(next.event->type()) ? QGuiApplication::focusWindow() : next.window.data();
    if (window) {
        const QEvent* outer = handingOn_;
        handingOn_ = next.event.get();
        QCoreApplication::sendEvent(window, next.event.get());
        handingOn_ = outer;
    }
}
