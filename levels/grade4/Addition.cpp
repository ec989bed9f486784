#include "levels/LevelTable.h"
#include "levels/NotBuilt.h"

LevelRules& Level17Rules() { static NotBuiltRules rules; return rules; }
LevelRules& Level18Rules() { static NotBuiltRules rules; return rules; }
