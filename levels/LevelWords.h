// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "levels/LevelRules.h"

#include <QString>
#include <array>
#include <cstdint>

// The problems and answers of the levels in words, as the learning record writes them:
// "3/5 + 1/5", "2 3/5 − 1 4/5", "1 2/7". Plain functions of the record's numbers and the
// typed texts, so they need no window.

// Items 1..7 of a problem's record.
using RecordItems = std::array<int32_t, 7>;

// w n/d, or n/d alone when w is 0.
QString MixedWords(int w, int n, int d);
// The problem whose record holds `items`, for the levels that keep their numbers there.
QString ProblemWords(int level, const RecordItems& items);
// The typed answer of a level with answer boxes, as the pupil left the boxes: whole part,
// then numerator/denominator, each piece only when typed. At level 9 the third box is the
// whole number the sum equals: "5/5 = 1".
QString TypedAnswerWords(int level, const TypedAnswer& answer);
// The right answer to the problem whose record holds `items`, in the words of
// TypedAnswerWords (KindWords at level 14), one entry per form the level takes as right;
// nothing for the levels answered on the picture (5, 8, 13), which say it themselves.
QStringList RightAnswerWords(int level, const RecordItems& items);
// The caption of a kind button of level 14 (0 真分数, 1 仮分数, 2 帯分数).
QString KindWords(int kind);
