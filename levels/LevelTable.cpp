// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/LevelTable.h"

#include <array>

namespace {
const std::array<LevelInfo, 22> kLevels{{
    {0, true, &Level1Rules},   {0, true, &Level2Rules},   {0, true, &Level3Rules},
    {0, true, &Level4Rules},   {1, true, &Level5Rules},   {0, true, &Level6Rules},
    {0, true, &Level7Rules},   {1, true, &Level8Rules},   {0, true, &Level9Rules},
    {0, true, &Level10Rules},  {0, false, &Level11Rules}, {0, true, &Level12Rules},
    {1, true, &Level13Rules},  {1, true, &Level14Rules},  {0, true, &Level15Rules},
    {0, true, &Level16Rules},  {0, false, &Level17Rules}, {0, false, &Level18Rules},
    {0, false, &Level19Rules}, {0, false, &Level20Rules}, {0, false, &Level21Rules},
    {0, false, &Level22Rules},
}};
} // namespace

const LevelInfo& InfoFor(int level)
{
    return kLevels.at(size_t(level - 1));
}

LevelRules& RulesFor(int level)
{
    return InfoFor(level).rules();
}
