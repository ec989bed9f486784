// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/grade4/Converting.h"

#include "levels/LevelTable.h"
#include "levels/SharedRules.h"

namespace {

const QString kToImproper = QStringLiteral("仮分数になおしましょう。");
const QString kToMixed = QStringLiteral("帯分数になおしましょう。");
const QString kEquals = QStringLiteral("＝");
constexpr int kQuestionX = 70, kTextY = 150;

// Level 15 shows the mixed number w n/d; the answer boxes stand right of its "＝".
class ToImproperRules final : public DenominatorAndResultRule
{
public:
    void Generate(Exercise& ex, int s, int k) override
    {
        const MixedNumber m = DrawConversion(ex.rnd);
        const int top = Exercise::Top(s);
        Surface& p = ex.Pic();
        p.FillStyle = 1;
        // Only what the check compares is kept: the answer's denominator and numerator.
        ex.Rec(s, k, 1) = m.d;
        ex.Rec(s, k, 2) = 0;
        ex.Rec(s, k, 3) = 0;
        ex.Rec(s, k, 4) = m.ImproperNumerator();

        p.ForeColor = colours::Black;
        ex.PrintAt(kQuestionX, top + kTextY, kToImproper);
        ex.PrintAt(560, top + kTextY, m.w);
        ex.PrintAt(600, top + 175, m.d);
        ex.PrintAt(600, top + 125, m.n);
        ex.Bar(585, top + 165, 45);
        ex.PrintAt(634, top + kTextY, kEquals);
    }
};

// Level 16 shows the improper fraction N/d and asks for the mixed number.
class ToMixedRules final : public MixedAnswerRule
{
public:
    void Generate(Exercise& ex, int s, int k) override
    {
        const MixedNumber m = DrawConversion(ex.rnd);
        const int top = Exercise::Top(s);
        const int improper = m.ImproperNumerator();
        Surface& p = ex.Pic();
        p.FillStyle = 1;
        ex.Rec(s, k, 1) = m.d;
        ex.Rec(s, k, 2) = m.n;
        ex.Rec(s, k, 3) = m.w;
        ex.Rec(s, k, 4) = 0;

        p.ForeColor = colours::Black;
        ex.PrintAt(kQuestionX, top + kTextY, kToMixed);
        ex.FractionWithWideNumerator(500, top + 125, top + 175, 485, top + 165, improper, m.d);
        ex.PrintAt(540, top + kTextY, kEquals);
    }
};

} // namespace

MixedNumber DrawConversion(Random& rnd)
{
    for (;;) {
        const int d = int(rnd.Rnd() * 8 + 2);
        const int n = int(rnd.Rnd() * d + 1);
        if (n >= d)
            continue;
        const int w = int(rnd.Rnd() * 9 + 1);
        if (w == 0)
            continue;
        return {d, n, w};
    }
}

LevelRules& Level15Rules() { static ToImproperRules rules; return rules; }
LevelRules& Level16Rules() { static ToMixedRules rules; return rules; }
