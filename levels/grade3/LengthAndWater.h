// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "levels/SharedRules.h"

struct ProperFraction
{
    int d, n;
};

// Levels 1 and 2 draw denominators 2..6, levels 3 and 4 2..10 (10 twice as often);
// the numerator is 1..d-1.
ProperFraction DrawLengthOrWater(Random& rnd, int level);

