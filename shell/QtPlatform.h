// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "shell/Platform.h"

class QWidget;

// The application as the pupil sees it, set once the application is made: the Fusion style,
// Japanese message-box buttons (はい / いいえ, OK) and the Japanese font substitutes.
void PrepareApplication();

class QtPlatform final : public Platform
{
public:
    void setWindow(QWidget* window) { window_ = window; }
    void MsgBox(const QString& text) override;
    bool AskYesNo(const QString& text) override;
    void Beep() override;
    QTime TimeOfDay() override;
    void WaitForNextSecond() override;
    void EndProgram() override;
    int ScreenWidthPixels() override;

private:
    QWidget* window_ = nullptr;
};
