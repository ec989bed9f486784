#include "levels/LevelTable.h"
#include "levels/NotBuilt.h"

LevelRules& Level6Rules() { static NotBuiltRules rules; return rules; }
