// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "levels/grade4/Addition.h"

// Levels 20 and 22: w1 a/d - w2 b/d. The record holds d, a, b and the whole parts w1, w2
// (w1 > w2).

// Level 20: a > b (b may be 0: the second number is the whole number w2). Never an earlier
// (d, a, b) of the round, never the previous problem's b.
FractionRecord DrawMixedDifference(Random& rnd, const SlotPast& past);
// Level 22: its own draw with a and b of 2..d-1 in any order, or the level-20 draw when the
// own one has w1 <= w2 or repeats an earlier (d, a, b).
FractionRecord DrawMixedDifferenceWithBorrowing(Random& rnd, const SlotPast& past);
// Every (d, a, b) the level-20 draw can make (whole parts 0).
const std::vector<FractionRecord>& AllMixedDifferences();
// Shows "整数部分に０を書くんですか" before a wrong "0" in the whole-part box of an answer
// that has none, and the borrowing hint for a whole part that was not reduced.
Judgement JudgeMixedDifference(const FractionRecord& r, const TypedAnswer& answer);
