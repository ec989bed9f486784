// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/grade3/LengthAndWater.h"

#include "levels/LevelTable.h"

namespace {

const QString kLengthPrompt = QStringLiteral("色をぬった長さは、何ｍですか。");
const QString kWaterPrompt = QStringLiteral("水のかさは,何ﾘｯﾄﾙですか。");
const QString kMetre = QStringLiteral("ｍ");
const QString kLitre = QStringLiteral("ﾘｯﾄﾙ");
const QString kOneMetre = QStringLiteral("１ｍ");

class LengthAndWaterRules final : public DefaultRule
{
public:
    explicit LengthAndWaterRules(int level) : level_(level) {}

    void Generate(Exercise& ex, int s, int k) override
    {
        const ProperFraction f = DrawLengthOrWater(ex.rnd, level_);
        const int d = f.d, n = f.n;
        const int top = Exercise::Top(s);
        const bool length = level_ == 1 || level_ == 3;
        Surface& p = ex.Pic();
        p.FillStyle = 1;
        if (length) {
            p.FilledBox(80, top + 190, n * 500.0 / d, 25, colours::Red);
            for (int i = 1; i <= d; ++i)
                p.Line(80 + i * 500.0 / d, top + 190, 0, 25, colours::Black);
            p.Box(80, top + 190, 500, 25, colours::Black);
            p.ForeColor = colours::Black;
            ex.PrintAt(300, top + 160, kOneMetre);
            p.Line(80, top + 190, 200, -15, colours::Black);
            p.Line(580, top + 190, -200, -15, colours::Black);
        } else {
            p.FilledBox(480, top + 230, 120, -n * 120.0 / d, colours::Cyan);
            for (int i = 1; i <= d; ++i)
                p.Line(480, top + 110 + i * 120.0 / d, 10, 0, colours::Black);
            p.Box(480, top + 110, 120, 120, colours::Black);
        }
        ex.Rec(s, k, 1) = d;
        ex.Rec(s, k, 2) = n;
        ex.Rec(s, k, 3) = 0;
        ex.Rec(s, k, 4) = 0;
        ex.st.PromptText = length ? kLengthPrompt : kWaterPrompt;
        p.ForeColor = colours::Black;
        ex.PrintAt(length ? 80 : 60, top + 120, ex.st.PromptText);
        ex.MoveBox(ex.Text1(s), 620, top + 180);
        ex.MoveBox(ex.Text2(s), 620, top + 120);
        ex.Bar(610, top + 170, 67);
        ex.PrintAt(686, top + 150, length ? kMetre : kLitre);
    }

private:
    int level_;
};

} // namespace

ProperFraction DrawLengthOrWater(Random& rnd, int level)
{
    const bool small = level == 1 || level == 2;
    for (;;) {
        int d = small ? int(rnd.Rnd() * 5 + 2) : int(rnd.Rnd() * 10 + 2);
        if (d > 10)
            d = 10;
        const int n = int(rnd.Rnd() * d + 1);
        if (n < d)
            return {d, n};
    }
}

LevelRules& Level1Rules() { static LengthAndWaterRules rules(1); return rules; }
LevelRules& Level2Rules() { static LengthAndWaterRules rules(2); return rules; }
LevelRules& Level3Rules() { static LengthAndWaterRules rules(3); return rules; }
LevelRules& Level4Rules() { static LengthAndWaterRules rules(4); return rules; }
