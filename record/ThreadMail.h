// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

// Runs functions on the thread of the event loop the mailbox lives in, in the order sent.
// What is sent is handed over under a std::mutex, not inside Qt's queued events: Qt's own
// locks are invisible to ThreadSanitizer, these are not.
class ThreadMail final : public QObject
{
    Q_OBJECT
public:
    // From any thread, while the mailbox exists.
    void Send(std::function<void()> f)
    {
        std::lock_guard lock(m_);
        mail_.push_back(std::move(f));
        if (!posted_) {
            posted_ = true;
            QMetaObject::invokeMethod(this, "Read", Qt::QueuedConnection);
        }
    }

private slots:
    void Read()
    {
        std::deque<std::function<void()>> mail;
        {
            std::lock_guard lock(m_);
            mail.swap(mail_);
            posted_ = false;
        }
        for (const auto& f : mail)
            f();
    }

private:
    std::mutex m_;
    std::deque<std::function<void()>> mail_;
    bool posted_ = false;
};
