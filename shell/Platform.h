// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <QTime>

// Everything the program asks of the machine outside its own window: message boxes,
// the beep, the clock, ending the program and the screen width. The window gets the Qt
// implementation; tests get a scripted one with a clock they move by hand.
class Platform
{
public:
    virtual ~Platform() = default;
    virtual void MsgBox(const QString& text) = 0;     // OK only
    virtual bool AskYesNo(const QString& text) = 0;   // true for はい
    virtual void Beep() = 0;
    virtual QTime TimeOfDay() = 0;
    // Returns once TimeOfDay() shows another second than when it was called. User input
    // arriving meanwhile is held back, not lost.
    virtual void WaitForNextSecond() = 0;
    virtual void EndProgram() = 0;
    virtual int ScreenWidthPixels() = 0;
};
