// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "shell/Platform.h"

#include <QObject>
#include <deque>
#include <functional>
#include <memory>

class QEvent;

// The sound of a page, which has no system beep: one short, quiet tone. Where the browser
// refuses to sound, it stays silent.
class PageSound
{
public:
    virtual ~PageSound() = default;
    virtual void Tone() = 0;
};

// Keys that reach the page's window while the program pauses after a mark. A browser hands
// every key to the program at once, even in the middle of the pause; these are held and
// handed on after the pause, in order, one an event-loop turn, each to the window that has
// the keyboard focus then: as the desktop's window system holds them back.
class HeldKeys final : public QObject
{
public:
    HeldKeys();
    void PauseBegins();
    void PauseEnds();
    int held() const { return int(held_.size()); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void handOnLater();
    void handOnNext();

    int pauses_ = 0;
    bool posted_ = false;
    std::deque<std::unique_ptr<QEvent>> held_;
    const QEvent* handingOn_ = nullptr;
};

// The platform of the program on a web page: message boxes and clock as on the desktop (the
// platform it is given), the beep as the page's tone, and the keys held back during the
// pause after a mark. A page cannot close itself, so ending the program calls `end` (the
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
        keys_.PauseBegins();
        inner_.WaitForNextSecond();
        keys_.PauseEnds();
    }
    void EndProgram() override { end_(); }
    int ScreenWidthPixels() override { return kLargeLayoutWidth; }

    // A screen width that gives the large layout with three slots.
    static constexpr int kLargeLayoutWidth = 1024;

private:
    Platform& inner_;
    PageSound& sound_;
    std::function<void()> end_;
    HeldKeys keys_;
};
