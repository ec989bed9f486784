#include "levels/LevelTable.h"
#include "levels/NotBuilt.h"

LevelRules& Level12Rules() { static NotBuiltRules rules; return rules; }
