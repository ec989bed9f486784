// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers for the tests of levels 17 to 22: typed answers, drills through the window and
// reading the drawn problem back.
#include "levels/grade4/Addition.h"
#include "support/Harness.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <functional>
#include <optional>

// What the pupil writes: whole part (Text3), numerator (Text2), denominator (Text1).
struct Boxes
{
    QString whole, num, den;
};

// The answer as the check reads it from the three texts.
TypedAnswer Typed(const Boxes& b);
// Types the answer with the slot's keypad; empty texts are left alone.
void Answer(Harness& h, int s, const Boxes& b);
// The record of the slot's current problem.
FractionRecord CurrentRecord(Harness& h, int s);
// Draws new problems in slot s until one fits; false when none did within `tries`.
bool ProblemUntil(Harness& h, int s, const std::function<bool(const FractionRecord&)>& fits, int tries = 2000);
// Pixels darker than mid-grey inside r (text is anti-aliased, bars are pure black).
int DarkPixels(const QImage& image, const QRect& r);

// How a level is answered: right, and, for problems that allow it, the form that earns a
// hint (with the hint's text).
struct LevelAnswers
{
    int level;
    std::function<Boxes(const FractionRecord&)> right;
    std::function<std::optional<std::pair<Boxes, QString>>(const FractionRecord&)> hint;
};

enum class DrillPath { RightAtOnce, HintThenRight, WrongThenRight, ThreeWrong };
// Runs one drill in slot s of a fresh window; failures are reported through QTest.
void RunDrill(const LevelAnswers& answers, DrillPath path, int s, uint32_t seed);
// The boxes after a wrong answer: all empty, Text1 pink and receiving digits, others grey.
void VerifyBoxesReset(Harness& h, int s);
