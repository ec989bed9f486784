#include "levels/LevelTable.h"
#include "levels/NotBuilt.h"

LevelRules& Level13Rules() { static NotBuiltRules rules; return rules; }
