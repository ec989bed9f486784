// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/grade4/MixedSubtraction.h"

#include "levels/LevelTable.h"

#include <algorithm>

const std::vector<FractionRecord>& AllMixedDifferences()
{
    static const std::vector<FractionRecord> all = [] {
        std::vector<FractionRecord> v;
        for (int d = 3; d <= 9; ++d)
            for (int a = 2; a < d; ++a)
                for (int b = 0; b < a; ++b)
                    v.push_back({d, a, b, 0, 0});
        return v;
    }();
    return all;
}

namespace {

int DrawDenominator3To9(Random& rnd)
{
    return std::min(int(rnd.Rnd() * 9 + 3), 9);
}

int DrawNumeratorFrom2(Random& rnd, int d)
{
    return std::min(int(rnd.Rnd() * d + 2), d - 1);
}

int DrawWhole(Random& rnd)
{
    return int(rnd.Rnd() * 4) + 1;
}

// The level-20 draw repeats neither an earlier (d, a, b) nor the previous second numerator.
bool FitsMixedHistory(const SlotPast& past, const FractionRecord& r)
{
    return !past.Used(r) && !(past.previous && past.previous->b == r.b);
}

} // namespace

FractionRecord DrawMixedDifference(Random& rnd, const SlotPast& past)
{
    for (int draw = 0; draw < kMaxRejectedDraws; ++draw) {
        const int d = DrawDenominator3To9(rnd);
        const int a = DrawNumeratorFrom2(rnd, d);
        const int b = int(rnd.Rnd() * d);
        const int w1 = DrawWhole(rnd);
        const int w2 = DrawWhole(rnd);
        if (a <= b || w1 <= w2)
            continue;
        const FractionRecord r{d, a, b, w1, w2};
        if (FitsMixedHistory(past, r))
            return r;
    }
    // Near the end of a slot's capacity every remaining problem may break a rule: first
    // give up the second-numerator rule, then the no-repeat rule.
    const auto& all = AllMixedDifferences();
    auto left = PickRemaining(rnd, all, [&](const FractionRecord& r) { return FitsMixedHistory(past, r); });
    if (!left)
        left = PickRemaining(rnd, all, [&](const FractionRecord& r) { return !past.Used(r); });
    FractionRecord r = left ? *left : all[size_t(rnd.Rnd() * double(all.size()))];
    static constexpr int kWholes[6][2] = {{2, 1}, {3, 1}, {3, 2}, {4, 1}, {4, 2}, {4, 3}};
    const auto& w = kWholes[int(rnd.Rnd() * 6)];
    r.item4 = w[0];
    r.item5 = w[1];
    return r;
}

FractionRecord DrawMixedDifferenceWithBorrowing(Random& rnd, const SlotPast& past)
{
    const int d = DrawDenominator3To9(rnd);
    const int a = DrawNumeratorFrom2(rnd, d);
    const int b = DrawNumeratorFrom2(rnd, d);
    const int w1 = DrawWhole(rnd);
    const int w2 = DrawWhole(rnd);
    const FractionRecord r{d, a, b, w1, w2};
    if (w1 <= w2 || past.Used(r))
        return DrawMixedDifference(rnd, past);
    return r;
}

Judgement JudgeMixedDifference(const FractionRecord& r, const TypedAnswer& x)
{
    const int d = r.d, p = r.a - r.b, whole = r.item4 - r.item5;
    if (p > 0)
        return {x.t3 == whole && x.t1 == d && x.t2 == p ? Verdict::Right : Verdict::Wrong, {}};
    if (p == 0)   // the fractions cancel: only the whole number counts
        return {x.t3 == whole ? Verdict::Right : Verdict::Wrong, {}};

    // One whole is broken up: the answer is (whole-1) and (p+d)/d.
    QString notice;
    if (whole == 1 && !x.text3.isEmpty()) {
        // The answer has no whole part, so anything typed there is wrong; a "0" is told.
        if (x.text3 == QStringLiteral("0"))
            notice = hints::ZeroWhole;
        return {Verdict::Wrong, notice};
    }
    if (x.t3 == whole - 1 && x.t1 == d && x.t2 == p + d)
        return {Verdict::Right, {}};
    if (x.t3 == whole && x.t1 == d && x.t2 == p + d)
        return {Verdict::Hint, hints::Borrow};
    return {Verdict::Wrong, {}};
}

namespace {

const QString kMinus = QStringLiteral("－");
const QString kEquals = QStringLiteral("＝");

// The level-20 draw decides how long a round of the slot's history is: its 112 problems
// are the stricter set, also for level 22 which falls back on it.
int RoundLength()
{
    return int(AllMixedDifferences().size());
}

class MixedSubtractionRules final : public FractionAnswerRules
{
public:
    explicit MixedSubtractionRules(bool borrowing) : borrowing_(borrowing) {}

    void Generate(Exercise& ex, int s, int k) override
    {
        const SlotPast past = ReadPast(ex, s, k, RoundLength());
        const FractionRecord r = borrowing_ ? DrawMixedDifferenceWithBorrowing(ex.rnd, past)
                                            : DrawMixedDifference(ex.rnd, past);
        ex.Pic().FillStyle = 1;
        WriteRecord(ex, s, k, r, 5);

        const int y0 = Exercise::Top(s);
        ex.PrintAt(140, y0 + 150, r.item4);
        ex.PrintAt(190, y0 + 177, r.d);
        ex.PrintAt(190, y0 + 127, r.a);
        ex.Bar(165, y0 + 166, 64);
        ex.PrintAt(310, y0 + 152, r.item5);
        if (r.b > 0) {   // with b = 0 the second number is the whole number alone
            ex.PrintAt(360, y0 + 177, r.d);
            ex.PrintAt(360, y0 + 127, r.b);
            ex.Bar(335, y0 + 166, 64);
        }
        ex.Pic().ForeColor = colours::Black;
        ex.PrintAt(255, y0 + 152, kMinus);
        ex.PrintAt(410, y0 + 152, kEquals);
        ex.Bar(500, y0 + 166, 64);
    }

protected:
    Judgement JudgeRecord(const FractionRecord& r, const TypedAnswer& answer) const override
    {
        return JudgeMixedDifference(r, answer);
    }

private:
    bool borrowing_;
};

} // namespace

LevelRules& Level20Rules() { static MixedSubtractionRules rules(false); return rules; }
LevelRules& Level22Rules() { static MixedSubtractionRules rules(true); return rules; }
