// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "shell/Platform.h"

#include <functional>

// The platform of the program on a web page: message boxes, beep and clock as on the
// desktop (the platform it is given), but a page cannot close itself, so ending the program
// calls `end` (the page shows its closing screen), and the page always takes the large
// layout, scaling it down where the browser window is smaller.
class PagePlatform final : public Platform
{
public:
    PagePlatform(Platform& inner, std::function<void()> end) : inner_(inner), end_(std::move(end)) {}
    void MsgBox(const QString& text) override { inner_.MsgBox(text); }
    bool AskYesNo(const QString& text) override { return inner_.AskYesNo(text); }
    void Beep() override { inner_.Beep(); }
    QTime TimeOfDay() override { return inner_.TimeOfDay(); }
    void WaitForNextSecond() override { inner_.WaitForNextSecond(); }
    void EndProgram() override { end_(); }
    int ScreenWidthPixels() override { return kLargeLayoutWidth; }

    // A screen width that gives the large layout with three slots.
    static constexpr int kLargeLayoutWidth = 1024;

private:
    Platform& inner_;
    std::function<void()> end_;
};
