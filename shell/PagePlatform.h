// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "shell/Platform.h"

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QWindow>
#include <deque>
#include <functional>
#include <memory>

// The sound of a page, which has no system beep: one short, quiet tone. Where the browser
// refuses to sound, it stays silent.
class PageSound
{
public:
    virtual ~PageSound() = default;
    virtual void Tone() = 0;
};

// Keys and presses that reach the page's window while the program pauses after a mark. A
// browser hands them to the program at once, even in the middle of the pause; these are
// held and handed on after it, in order, one an event-loop turn, as the desktop's window
// system holds them back: a key to the window with the keyboard focus then, a press to the
// window it was made on.
class HeldInput final : public QObject
{
public:
    HeldInput();
    void PauseBegins();
    void PauseEnds();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Held
    {
        QPointer<QWindow> window;   // where a press goes; null for a key
        std::unique_ptr<QEvent> event;
    };
    void handOnLater();
    void handOnNext();

    int pauses_ = 0;
    bool posted_ = false;
    std::deque<Held> held_;
    const QEvent* handingOn_ = nullptr;
};

// The platform of the program on a web page: message boxes and clock as on the desktop (the
// platform it is given), the beep as the page's tone, and keys and presses held back during
// the pause after a mark. A page cannot close itself, so ending the program calls `end` (the
// page shows its closing screen), and the page always takes the large layout, scaling it
// down where the browser window is smaller.
class PagePlatform final : public Platform
{
public:
    PagePlatform(Platform& inner, PageSound& sound, std::function<void()> end)
        : inner_(inner), sound_(sound), end_(std::move(end))
    {
    }
    void MsgBox(const QString& text) override { inner_.MsgBox(text); }
    bool AskYesNo(const QString& text) override { return inner_.AskYesNo(text); }
    void Beep() override { sound_.Tone(); }
    QTime TimeOfDay() override { return inner_.TimeOfDay(); }
    void WaitForNextSecond() override
    {
        input_.PauseBegins();
        inner_.WaitForNextSecond();
        input_.PauseEnds();
    }
    void EndProgram() override { end_(); }
    int ScreenWidthPixels() override { return kLargeLayoutWidth; }

    // A screen width that gives the large layout with three slots.
    static constexpr int kLargeLayoutWidth = 1024;

private:
    Platform& inner_;
    PageSound& sound_;
    std::function<void()> end_;
    HeldInput input_;
};
