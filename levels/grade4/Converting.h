// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "shell/Random.h"

// The mixed number w n/d and the improper fraction (w*d + n)/d of the same amount.
struct MixedNumber
{
    int d, n, w;
    int ImproperNumerator() const { return w * d + n; }
};

// d is 2..9 and n 1..d-1 (a draw of n = d starts over with a new d), w is 1..9.
MixedNumber DrawConversion(Random& rnd);
