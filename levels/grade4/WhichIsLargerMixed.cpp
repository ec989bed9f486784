// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/LevelTable.h"
#include "levels/LevelWords.h"
#include "levels/grade3/WhichIsLarger.h"

namespace {

// Level 8 with whole parts 1..6 in front of the fractions. Only the comparison result is
// recorded, not the numbers.
class WhichIsLargerMixedRules final : public ChoiceBoxRules
{
public:
    void Generate(Exercise& ex, int s, int k) override
    {
        const auto [d, a, e] = DrawSameDenominatorPair(ex.rnd);
        const int w1 = int(ex.Rnd() * 6) + 1;
        const int w2 = int(ex.Rnd() * 6) + 1;
        const int top = Exercise::Top(s);
        ex.Rec(s, k, 1) = CompareOverSameDenominator(w1, a, w2, e, d);
        DrawComparison(ex, s, d, a, e, 345);
        ex.PrintAt(140, top + 205, w1);
        ex.PrintAt(320, top + 205, w2);
        shown_.at(size_t(s)) = MixedWords(w1, a, d) + QStringLiteral(" ？ ") + MixedWords(w2, e, d);
    }

    QString ProblemInWords(Exercise&, int s, int) override { return shown_.at(size_t(s)); }

protected:
    ChoiceBox RightBox(Exercise& ex, int s, int k) override { return BoxFor(ex.Rec(s, k, 1)); }

private:
    // What each slot shows, for the learning record: its numbers are not in the record.
    std::array<QString, 4> shown_;
};

} // namespace

LevelRules& Level13Rules() { static WhichIsLargerMixedRules rules; return rules; }
