// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/grade4/NamingFractions.h"

#include "levels/LevelTable.h"

#include <algorithm>

namespace {

const QString kQuestion = QStringLiteral("次の分数の名前は何ですか？");
constexpr int kQuestionX = 70, kQuestionY = 110;
constexpr int kWholeX = 240, kWholeY = 205;
constexpr int kFractionX = 280, kNumeratorY = 180, kDenominatorY = 230;
constexpr int kBarX = 265, kBarY = 220;

// Level 14: the answer is one of the kind buttons of the slot's row, judged by the
// check frame as soon as it is pressed; there are no boxes to read or reset.
class NamingFractionsRules final : public LevelRules
{
public:
    void Generate(Exercise& ex, int s, int k) override
    {
        const NamedFraction f = DrawNamedFraction(ex.rnd);
        const int top = Exercise::Top(s);
        Surface& p = ex.Pic();
        p.FillStyle = 1;
        ex.Rec(s, k, 1) = int(f.kind);
        ex.Rec(s, k, 2) = f.d;
        ex.Rec(s, k, 3) = f.n;
        ex.Rec(s, k, 4) = f.w;

        p.ForeColor = colours::Black;
        ex.PrintAt(kQuestionX, top + kQuestionY, kQuestion);
        if (f.w != 0)
            ex.PrintAt(kWholeX, top + kWholeY, f.w);
        ex.FractionWithWideNumerator(kFractionX, top + kNumeratorY, top + kDenominatorY, kBarX, top + kBarY, f.n,
                                     f.d);
    }

    // Never reached: the level has no check button.
    Verdict Judge(Exercise&, int, int, int, const TypedAnswer&) override { return Verdict::Wrong; }
};

} // namespace

NamedFraction DrawNamedFraction(Random& rnd)
{
    for (;;) {
        const int c = std::min(int(rnd.Rnd() * 3), 2);
        const int d = int(rnd.Rnd() * 8 + 2);
        if (c == 1) {
            const int n = int(rnd.Rnd() * 20);
            if (n <= d)
                continue;
            return {FractionKind::Improper, d, n, 0};
        }
        const int n = int(rnd.Rnd() * d + 1);
        if (n >= d)
            continue;
        if (c == 0)
            return {FractionKind::Proper, d, n, 0};
        const int w = int(rnd.Rnd() * 9 + 1);
        if (w == 0)
            continue;
        return {FractionKind::Mixed, d, n, w};
    }
}

LevelRules& Level14Rules() { static NamingFractionsRules rules; return rules; }
