// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "levels/LevelRules.h"

// One row per level: which panel it uses and whether the check refuses an empty first box.
struct LevelInfo
{
    int panel;                  // 0: answer boxes and keypads, 1: kind buttons, no boxes
    bool requiresTypedAnswer;   // "こたえをタイプしてください。" on an empty Text1
    LevelRules& (*rules)();
};

const LevelInfo& InfoFor(int level);   // level 1..22

// The rules of each kind of exercise, defined in levels/grade3 and levels/grade4.
LevelRules& Level1Rules();
LevelRules& Level2Rules();
LevelRules& Level3Rules();
LevelRules& Level4Rules();
LevelRules& Level5Rules();
LevelRules& Level6Rules();
LevelRules& Level7Rules();
LevelRules& Level8Rules();
LevelRules& Level9Rules();
LevelRules& Level10Rules();
LevelRules& Level11Rules();
LevelRules& Level12Rules();
LevelRules& Level13Rules();
LevelRules& Level14Rules();
LevelRules& Level15Rules();
LevelRules& Level16Rules();
LevelRules& Level17Rules();
LevelRules& Level18Rules();
LevelRules& Level19Rules();
LevelRules& Level20Rules();
LevelRules& Level21Rules();
LevelRules& Level22Rules();
