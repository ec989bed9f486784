// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "levels/grade3/LengthAndWater.h"

#include <functional>
#include <vector>

// Level 5 knows this many problems: d 2..8 and n 1..d-1.
constexpr int kColouringProblems = 28;

// Draws level 5's next problem for a slot whose earlier problems are `earlier`, oldest
// first. d is 2..8 with 8 twice as likely as each other value, n is 1..d-1. A problem does
// not repeat one of the slot's earlier problems until the slot has shown all of them, and then
// the slot starts over (levels/History.h). A problem sharing the denominator or the numerator
// with the previous one is taken only after ten draws have been rejected for that reason.
ProperFraction DrawColouring(const std::function<double()>& rnd, const std::vector<ProperFraction>& earlier);
