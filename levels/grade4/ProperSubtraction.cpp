#include "levels/LevelTable.h"
#include "levels/NotBuilt.h"

LevelRules& Level19Rules() { static NotBuiltRules rules; return rules; }
LevelRules& Level21Rules() { static NotBuiltRules rules; return rules; }
