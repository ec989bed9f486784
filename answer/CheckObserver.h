// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "levels/LevelRules.h"

// Told of every check the window judges. The learning record listens this way on the
// desktop; a build without the record has nobody listening and links nothing of it.
class CheckObserver
{
public:
    virtual ~CheckObserver() = default;
    // A check of problem k in slot s (try t) is about to be judged; a kind button of
    // level 14 is a check whose answer's t1 is the kind.
    virtual void CheckBegins(int s, int k, int t, const TypedAnswer& answer, bool kindButton) = 0;
    // The check's verdict.
    virtual void CheckEnds(Verdict v) = 0;
    // 「けってい」 started an exercise of `level`; 終わる ended it.
    virtual void ExerciseBegins(int /*level*/) {}
    virtual void ExerciseEnds() {}
};
