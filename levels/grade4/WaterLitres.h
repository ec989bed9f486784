// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "shell/Random.h"

// A water amount of w whole litres and n/d of a litre.
struct WaterAmount
{
    int d, n, w;
};

// d is 2..6 and n 1..d-1 (a draw of n = d starts over), w is 0..3; every d and w equally likely.
WaterAmount DrawWaterLitres(Random& rnd);
