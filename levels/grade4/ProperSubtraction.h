// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "levels/grade4/Addition.h"

// Levels 19 and 21: a difference of two fractions with one denominator that is always a
// proper fraction. The record holds d, a, b and the difference's numerator.

// Level 19: a/d - b/d with numerators up to 18 (a > b, neither equal to d, a-b < d).
FractionRecord DrawProperDifference(Random& rnd, const SlotPast& past);
// Level 21: 1 a/d - b/d with a < b, so that one whole is broken up; numerator a+d-b.
FractionRecord DrawBorrowingDifference(Random& rnd, const SlotPast& past);
// Every problem each level can make.
const std::vector<FractionRecord>& AllProperDifferences();
const std::vector<FractionRecord>& AllBorrowingDifferences();
// Right only as the difference over d with the hidden whole-part box empty; no hints.
Judgement JudgeProperDifference(const FractionRecord& r, const TypedAnswer& answer);
