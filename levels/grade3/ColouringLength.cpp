#include "levels/LevelTable.h"
#include "levels/NotBuilt.h"

LevelRules& Level5Rules() { static NotBuiltRules rules; return rules; }
