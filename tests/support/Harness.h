// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "levels/LevelTable.h"
#include "shell/Form1.h"
#include "support/ScriptedPlatform.h"

#include <QString>
#include <memory>

// Qt set-up shared by every test program: Fusion style and the font substitutes.
void PrepareTestApplication();

// A window on the scripted platform, loaded and ready at the menu.
struct Harness
{
    explicit Harness(int screenWidth = 1280, QTime start = QTime(10, 0, 0));
    ScriptedPlatform platform;
    std::unique_ptr<Form1> form;
    AppState& st() { return form->st; }
    Surface& panel() { return *form->Picture1[form->st.PanelIndex]; }

    // Chooses the level from its menu and presses けってい.
    void StartLevel(int level);
    // Presses inside slot s (on its frame, away from any drawing).
    void PressSlot(int s);
    // Presses at a point of the panel in use, as a real mouse press on the widget.
    void Click(int x, int y);
    // Types digits into a box of slot s with that slot's keypad: box 1, 2 or 3.
    void Type(int s, int box, const QString& digits);
    // Presses the check button of slot s (the right one for the panel in use).
    void Check(int s);
    int Problem(int s) { return st().Item(s, 1); }
    int Rec(int s, int i) { return st().Item(s, st().Item(s, 1) * 10 + i); }
    int MarkOf(int s, int k) { return st().Item(s, k * 10 + 8); }
    // Seeds the random source so a test sees fixed problems.
    void Seed(uint32_t seed) { form->rnd.Seed(seed); }
};

// One try at slot 1 of the level running: a typed answer that is rarely right (which one
// follows from attempt), or the first kind button on the level that has no check button.
void RarelyRightTry(Form1& form, int attempt);

// Counts pixels of a colour inside a rectangle of an image.
int CountPixels(const QImage& image, const QRect& r, QRgb colour);
