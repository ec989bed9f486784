// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "levels/LevelRules.h"

// Judging rules that several levels share. Each names the record items it compares.

// Levels 1-4, 6 and 7: Text1 = item 1 (denominator), Text2 = item 2 (numerator).
class DefaultRule : public LevelRules
{
public:
    Verdict Judge(Exercise& ex, int s, int k, int t, const TypedAnswer& answer) override;
};

// Levels 10 and 15: Text1 = item 1 (denominator), Text2 = item 4 (the answer's numerator).
// After a right answer the hidden Text3 is emptied and greyed; after a wrong one Text1 and
// Text2 are emptied and Text1 receives the keypad again.
class DenominatorAndResultRule : public LevelRules
{
public:
    Verdict Judge(Exercise& ex, int s, int k, int t, const TypedAnswer& answer) override;
    void AfterCheck(Exercise& ex, int s, Verdict v) override;
};

// Levels 11, 12 and 16: Text1 = item 3 (whole part), Text3 = item 2 (numerator),
// Text2 = item 1 (denominator). After every check all three boxes are emptied, the answer
// bar of the level is drawn again and Text1 receives the keypad.
class MixedAnswerRule : public LevelRules
{
public:
    Verdict Judge(Exercise& ex, int s, int k, int t, const TypedAnswer& answer) override;
    void AfterCheck(Exercise& ex, int s, Verdict v) override;
};

// Empties Text3 of slot s and greys it: it is not in use until the pupil clicks it.
void ResetText3(Exercise& ex, int s);
// Draws the answer bar of the level's box placement in slot s again.
void RedrawAnswerBar(Exercise& ex, int s);
