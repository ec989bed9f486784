#include "levels/LevelTable.h"
#include "levels/NotBuilt.h"

LevelRules& Level20Rules() { static NotBuiltRules rules; return rules; }
LevelRules& Level22Rules() { static NotBuiltRules rules; return rules; }
