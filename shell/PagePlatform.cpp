// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/PagePlatform.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QWindow>

HeldKeys::HeldKeys()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

void HeldKeys::PauseBegins()
{
    ++pauses_;
}

void HeldKeys::PauseEnds()
{
    --pauses_;
    handOnLater();
}

// Keys go to a window first, which gives them to its focus widget; a key is held there,
// during a pause and as long as keys from before wait, so that none overtakes another.
bool HeldKeys::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if ((type != QEvent::KeyPress && type != QEvent::KeyRelease) || !watched->isWindowType() || event == handingOn_)
        return false;
    if (pauses_ == 0 && held_.empty())
        return false;
    held_.push_back(std::unique_ptr<QEvent>(event->clone()));
    return true;
}

void HeldKeys::handOnLater()
{
    if (posted_ || held_.empty())
        return;
    posted_ = true;
    QMetaObject::invokeMethod(this, [this] { handOnNext(); }, Qt::QueuedConnection);
}

void HeldKeys::handOnNext()
{
    posted_ = false;
    if (pauses_ > 0 || held_.empty())
        return;   // the end of the pause hands them on
    const std::unique_ptr<QEvent> key = std::move(held_.front());
    held_.pop_front();
    // The next key follows on the next turn of whichever event loop runs then: a message
    // box that this key opens gets the keys after it, as on the desktop.
    handOnLater();
    if (QWindow* window = QGuiApplication::focusWindow()) {
        const QEvent* outer = handingOn_;
        handingOn_ = key.get();
        QCoreApplication::sendEvent(window, key.get());
        handingOn_ = outer;
    }
}
