// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "shell/Random.h"

// The kind codes of level 14, in the order of the buttons 真分数, 仮分数, 帯分数.
enum class FractionKind { Proper = 0, Improper = 1, Mixed = 2 };

// A fraction to name: n over d, with the whole part w in front of a mixed number.
struct NamedFraction
{
    FractionKind kind;
    int d, n, w;
};

// Kind and denominator 2..9 are drawn first; a numerator that does not suit the kind
// (n >= d for a proper fraction or a mixed number, n <= d for an improper one, which
// runs up to 19) starts the draw over from the kind. Mixed numbers get a whole part 1..9.
NamedFraction DrawNamedFraction(Random& rnd);
