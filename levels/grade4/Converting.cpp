#include "levels/LevelTable.h"
#include "levels/NotBuilt.h"

LevelRules& Level15Rules() { static NotBuiltRules rules; return rules; }
LevelRules& Level16Rules() { static NotBuiltRules rules; return rules; }
