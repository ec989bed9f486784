// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "record/Recorder.h"
#include "shell/Platform.h"

// The machine as the window sees it while a learning record is kept: every message box is
// written to the record before the pupil sees it; everything else passes straight through.
class RecordingPlatform final : public Platform
{
public:
    RecordingPlatform(Platform& inner, Recorder& recorder) : inner_(inner), recorder_(recorder) {}
    void MsgBox(const QString& text) override
    {
        recorder_.Message(text);
        inner_.MsgBox(text);
    }
    bool AskYesNo(const QString& text) override { return inner_.AskYesNo(text); }
    void Beep() override { inner_.Beep(); }
    QTime TimeOfDay() override { return inner_.TimeOfDay(); }
    void WaitForNextSecond() override { inner_.WaitForNextSecond(); }
    void EndProgram() override { inner_.EndProgram(); }
    int ScreenWidthPixels() override { return inner_.ScreenWidthPixels(); }

private:
    Platform& inner_;
    Recorder& recorder_;
};
