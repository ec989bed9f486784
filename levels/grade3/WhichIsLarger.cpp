#include "levels/LevelTable.h"
#include "levels/NotBuilt.h"

LevelRules& Level8Rules() { static NotBuiltRules rules; return rules; }
