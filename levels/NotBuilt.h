// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "levels/LevelRules.h"

// Rules of a level whose exercise is not written yet: the slot shows only its score line.
class NotBuiltRules final : public LevelRules
{
public:
    void Generate(Exercise&, int, int) override {}
    Verdict Judge(Exercise&, int, int, int, const TypedAnswer&) override { return Verdict::Wrong; }
};
