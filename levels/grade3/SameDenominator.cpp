#include "levels/LevelTable.h"
#include "levels/NotBuilt.h"

LevelRules& Level9Rules() { static NotBuiltRules rules; return rules; }
LevelRules& Level10Rules() { static NotBuiltRules rules; return rules; }
