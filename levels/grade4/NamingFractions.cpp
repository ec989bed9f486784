#include "levels/LevelTable.h"
#include "levels/NotBuilt.h"

LevelRules& Level14Rules() { static NotBuiltRules rules; return rules; }
