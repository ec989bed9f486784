// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "shell/Platform.h"

class QWidget;

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
