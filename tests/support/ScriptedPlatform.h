// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "shell/Platform.h"

#include <QStringList>
#include <deque>
#include <functional>

// A stand-in for the machine: records every message, answers はい or いいえ as told, counts
// beeps and keeps a clock that only moves when the program waits or the test moves it.
class ScriptedPlatform final : public Platform
{
public:
    QStringList messages;          // every message box, OK and Yes/No alike, in order
    std::deque<bool> answers;      // answers for Yes/No questions; empty means いいえ
    int beeps = 0;
    int pauses = 0;                // seconds waited
    bool ended = false;
    int screenWidth = 1280;
    QTime clock{10, 0, 0};
    std::function<void()> duringPause;   // runs in every wait, as if the pupil acted then

    void MsgBox(const QString& text) override { messages << text; }
    bool AskYesNo(const QString& text) override
    {
        messages << text;
        if (answers.empty())
            return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    void Beep() override { ++beeps; }
    QTime TimeOfDay() override { return clock; }
    void WaitForNextSecond() override
    {
        clock = clock.addSecs(1);
        ++pauses;
        if (duringPause)
            duringPause();
    }
    void EndProgram() override { ended = true; }
    int ScreenWidthPixels() override { return screenWidth; }
};
