// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "levels/History.h"
#include "levels/LevelRules.h"
#include "shell/Random.h"

#include <functional>
#include <optional>
#include <utility>
#include <vector>

// Levels 9 (a/d + b/d) and 10 (a/d - b/d, where a = d stands for the whole number 1).
struct SameDenominatorProblem
{
    int d, a, b;
    int result;   // numerator of the answer: a + b or a - b
};

// Either level can make 36 different (d, a) pairs: d = 2..9 with d-1 values of a each.
constexpr int kSameDenominatorPairs = 36;
// A similar problem is accepted after this many similar draws in a row.
constexpr int kSimilarRetries = 10;

// One draw that keeps the level's bounds: level 9 has a + b <= d, level 10 a - b >= 1.
SameDenominatorProblem DrawSameDenominatorCandidate(Random& rnd, int level);

// What the no-repeat and similarity rules look at in a slot.
struct SlotPast
{
    std::vector<std::pair<int, int>> used;                 // (d, a) of the current round
    std::optional<SameDenominatorProblem> previous;        // the problem just before
};

// The past of problem k in slot s, from the records of its earlier problems.
SlotPast PastOf(Exercise& ex, int s, int k);

// True when the candidate resembles the previous problem closely enough to be drawn again.
bool IsSimilar(const SameDenominatorProblem& previous, const SameDenominatorProblem& candidate);

// Draws candidates until one is accepted: no (d, a) pair of the current round again, and a
// problem similar to the previous one only after kSimilarRetries similar draws. After
// maxRejected rejected draws in all, an unused pair is picked directly, so the choice
// always ends.
SameDenominatorProblem ChooseSameDenominator(int level, const SlotPast& past,
                                             const std::function<SameDenominatorProblem()>& draw,
                                             Random& rnd, int maxRejected = kMaxRejectedDraws);

// Level 9's judgement of the typed numbers (T1 denominator, T2 numerator, T3 whole number).
// A sum of one written as d over d without the 1 earns the hint.
Verdict JudgeSum(int d, int result, double t1, double t2, double t3);
