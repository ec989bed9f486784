#pragma once
#include "levels/LevelRules.h"

struct ProperFraction
{
    int d, n;
};

// Levels 1 and 2 draw denominators 2..6, levels 3 and 4 2..10 (10 twice as often);
// the numerator is 1..d-1.
ProperFraction DrawLengthOrWater(Random& rnd, int level);

// The answer shared by levels 1-4, 6 and 7: denominator in Text1, numerator in Text2,
// exactly the terms asked for.
bool TermsMatch(const TypedAnswer& a, int d, int n);

// The default rule of levels 1-4, 6 and 7: Text1 = item 1, Text2 = item 2 of the record.
class DefaultRule : public LevelRules
{
public:
    Verdict Judge(Exercise& ex, int s, int k, int t, const TypedAnswer& answer) override;
};
