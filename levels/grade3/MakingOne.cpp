// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/grade3/MakingOne.h"

#include "levels/LevelTable.h"
#include "levels/SharedRules.h"

namespace {

const QString kPrompt = QStringLiteral("１になるように数字をいれましょう。");
const QString kEqualsOne = QStringLiteral("＝ １");
constexpr int kNumeratorTop = 120;
constexpr int kDenominatorTop = 180;

// Only Text1 is shown; Text2 stays hidden and empty, so the default rule's second
// comparison (Text2 with item 2 = 0) always holds.
class MakingOneRules final : public DefaultRule
{
public:
    void Generate(Exercise& ex, int s, int k) override
    {
        const MakingOneProblem p = DrawMakingOne(ex.rnd);
        const int top = Exercise::Top(s);
        Surface& pic = ex.Pic();
        pic.FillStyle = 1;
        ex.Rec(s, k, 1) = p.g;
        ex.Rec(s, k, 2) = 0;
        ex.Rec(s, k, 3) = 0;
        ex.Rec(s, k, 4) = 0;
        ex.st.PromptText = kPrompt;
        pic.ForeColor = colours::Black;
        ex.PrintAt(80, top + 120, kPrompt);
        const bool numeratorGiven = NumeratorIsGiven(p.r);
        ex.MoveBox(ex.Text1(s), 620, top + (numeratorGiven ? kDenominatorTop : kNumeratorTop));
        ex.PrintAt(630, top + (numeratorGiven ? kNumeratorTop : kDenominatorTop), p.g);
        ex.Bar(608, top + 170, 67);
        ex.PrintAt(686, top + 150, kEqualsOne);
    }

    // The record keeps only g; where Text1 stands tells which half of the fraction is asked.
    QString ProblemInWords(Exercise& ex, int s, int k) override
    {
        const QString g = QString::number(ex.Rec(s, k, 1));
        const bool numeratorGiven = ex.Text1(s).y() == Exercise::Top(s) + kDenominatorTop;
        return (numeratorGiven ? g + QStringLiteral("/？") : QStringLiteral("？/") + g) + QStringLiteral(" = 1");
    }
};

} // namespace

MakingOneProblem DrawMakingOne(Random& rnd)
{
    int g = int(rnd.Rnd() * 9) + 2;
    if (g > 9)
        g = 9;
    const double r = rnd.Rnd();
    return {g, r};
}

LevelRules& Level7Rules() { static MakingOneRules rules; return rules; }
