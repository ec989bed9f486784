// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "shell/Random.h"

// A problem of level 7: g/? = 1 or ?/g = 1, the missing number being g again.
struct MakingOneProblem
{
    int g;      // 2..9, 9 drawn twice as often as each other value
    double r;   // the coin toss that decides which place g is printed in
};

MakingOneProblem DrawMakingOne(Random& rnd);
// True when g stands in the numerator place and the pupil types the denominator.
constexpr bool NumeratorIsGiven(double r)
{
    return r <= 0.5;
}
