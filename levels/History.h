// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The no-repeat rules of several levels would reject every draw once a slot has shown all
// the problems a level can make. The history therefore starts over in rounds: problems of
// one round never repeat each other, and a new round begins when a round is full.
// Returns the first problem number (>= 1) whose record counts for problem k.
constexpr int HistoryStart(int k, int distinctProblems)
{
    if (distinctProblems <= 0)
        return k;
    return ((k - 1) / distinctProblems) * distinctProblems + 1;
}

// A draw rejected this many times by history or similarity rules is accepted anyway, so
// that generation ends even where the remaining problems all break a similarity rule.
constexpr int kMaxRejectedDraws = 2000;
