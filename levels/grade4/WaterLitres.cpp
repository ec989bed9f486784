#include "levels/LevelTable.h"
#include "levels/NotBuilt.h"

LevelRules& Level11Rules() { static NotBuiltRules rules; return rules; }
