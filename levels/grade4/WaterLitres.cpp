// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/grade4/WaterLitres.h"

#include "levels/LevelTable.h"
#include "levels/SharedRules.h"

namespace {

const QString kLitre = QStringLiteral("ﾘｯﾄﾙ");

// The containers are 120 px squares standing on the same floor; the partly filled one is
// on the right and the full ones line up to its left, 125 px apart.
constexpr int kPartialLeft = 450;
constexpr int kTop = 110;        // below the slot's top offset
constexpr int kSize = 120;
constexpr int kStep = 125;
constexpr int kMarkLength = 10;
constexpr int kUnitX = 700, kUnitY = 150;

// Level 11: the pupil writes the amount as a mixed number in the three boxes of the slot.
class WaterLitresRules final : public MixedAnswerRule
{
public:
    void Generate(Exercise& ex, int s, int k) override
    {
        const WaterAmount a = DrawWaterLitres(ex.rnd);
        const int top = Exercise::Top(s);
        Surface& p = ex.Pic();
        p.FillStyle = 1;
        for (int i = 1; i <= a.w; ++i) {
            const int x = kPartialLeft - kStep * i;
            p.FilledBox(x, top + kTop, kSize, kSize, colours::Cyan);
            p.Box(x, top + kTop, kSize, kSize, colours::Black);
        }
        // The water rises from the bottom to n/d of the height.
        p.FilledBox(kPartialLeft, top + kTop + kSize, kSize, -double(kSize) * a.n / a.d, colours::Cyan);
        for (int i = 1; i <= a.d; ++i)
            p.Line(kPartialLeft, top + kTop + double(i) * kSize / a.d, kMarkLength, 0, colours::Black);
        p.Box(kPartialLeft, top + kTop, kSize, kSize, colours::Black);

        ex.Rec(s, k, 1) = a.d;
        ex.Rec(s, k, 2) = a.n;
        ex.Rec(s, k, 3) = a.w;
        ex.Rec(s, k, 4) = 0;
        p.ForeColor = colours::Black;
        ex.PrintAt(kUnitX, top + kUnitY, kLitre);
    }
};

} // namespace

WaterAmount DrawWaterLitres(Random& rnd)
{
    for (;;) {
        const int d = int(rnd.Rnd() * 5) + 2;
        const int n = int(rnd.Rnd() * d) + 1;
        if (n >= d)
            continue;
        const int w = int(rnd.Rnd() * 4);
        return {d, n, w};
    }
}

LevelRules& Level11Rules() { static WaterLitresRules rules; return rules; }
