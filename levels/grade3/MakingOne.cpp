#include "levels/LevelTable.h"
#include "levels/NotBuilt.h"

LevelRules& Level7Rules() { static NotBuiltRules rules; return rules; }
