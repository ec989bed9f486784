// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/grade4/ProperSubtraction.h"

#include "levels/LevelTable.h"

#include <algorithm>
#include <utility>

const std::vector<FractionRecord>& AllProperDifferences()
{
    static const std::vector<FractionRecord> all = [] {
        std::vector<FractionRecord> v;
        for (int d = 2; d <= 9; ++d)
            for (int a = 2; a <= 18; ++a)
                for (int b = std::max(1, a - d + 1); b < a; ++b)
                    if (a != d && b != d)
                        v.push_back({d, a, b, a - b, 0});
        return v;
    }();
    return all;
}

const std::vector<FractionRecord>& AllBorrowingDifferences()
{
    static const std::vector<FractionRecord> all = [] {
        std::vector<FractionRecord> v;
        for (int d = 3; d <= 9; ++d)
            for (int a = 1; a < d; ++a)
                for (int b = a + 1; b < d; ++b)
                    v.push_back({d, a, b, a + d - b, 0});
        return v;
    }();
    return all;
}

namespace {

// The test of the previous problem both levels use: its denominator, a numerator, or its
// second numerator equal to the new a+b.
bool LooksLikeLastDifference(const FractionRecord& prev, const FractionRecord& r)
{
    return r.a + r.b == prev.b || r.d == prev.d || r.a == prev.a || r.b == prev.b;
}

constexpr int kSimilarRetries = 10;

// One raw draw of a level, or nothing when the draw itself is turned down.
using RawDraw = std::optional<FractionRecord> (*)(Random&);

std::optional<FractionRecord> RawProperDifference(Random& rnd)
{
    const int d = DrawDenominatorUpTo9(rnd);
    int a = std::max(int(rnd.Rnd() * 19), 1);
    int b = std::max(int(rnd.Rnd() * 19), 1);
    if (a == d || b == d)
        return std::nullopt;
    if (a < b)
        std::swap(a, b);
    if (a == b || a - b >= d)
        return std::nullopt;
    return FractionRecord{d, a, b, a - b, 0};
}

std::optional<FractionRecord> RawBorrowingDifference(Random& rnd)
{
    const int d = std::min(int(rnd.Rnd() * 9 + 3), 9);
    int a = int(rnd.Rnd() * d + 1);
    if (a >= d)
        return std::nullopt;
    int b = int(rnd.Rnd() * d + 2);
    if (b >= d)
        return std::nullopt;
    if (a > b)
        std::swap(a, b);
    if (a == b)
        return std::nullopt;
    return FractionRecord{d, a, b, a + d - b, 0};
}

FractionRecord DrawWithRules(Random& rnd, const SlotPast& past, RawDraw raw, const std::vector<FractionRecord>& all)
{
    int similar = 0;
    for (int draw = 0; draw < kMaxRejectedDraws; ++draw) {
        const std::optional<FractionRecord> r = raw(rnd);
        if (!r || past.Used(*r))
            continue;
        if (past.previous && LooksLikeLastDifference(*past.previous, *r) && similar < kSimilarRetries) {
            ++similar;
            continue;
        }
        return *r;
    }
    const auto left = PickRemaining(rnd, all, [&](const FractionRecord& r) { return !past.Used(r); });
    return left ? *left : all.front();
}

} // namespace

FractionRecord DrawProperDifference(Random& rnd, const SlotPast& past)
{
    return DrawWithRules(rnd, past, &RawProperDifference, AllProperDifferences());
}

FractionRecord DrawBorrowingDifference(Random& rnd, const SlotPast& past)
{
    return DrawWithRules(rnd, past, &RawBorrowingDifference, AllBorrowingDifferences());
}

Judgement JudgeProperDifference(const FractionRecord& r, const TypedAnswer& x)
{
    const bool right = x.t1 == r.d && x.t2 == r.item4 && x.text3.isEmpty();
    return {right ? Verdict::Right : Verdict::Wrong, {}};
}

namespace {

const QString kMinus = QStringLiteral("－");
const QString kEquals = QStringLiteral("＝");
const QString kOne = QStringLiteral("1");

class ProperSubtractionRules final : public FractionAnswerRules
{
public:
    explicit ProperSubtractionRules(bool borrowing) : borrowing_(borrowing) {}

    void Generate(Exercise& ex, int s, int k) override
    {
        const auto& all = borrowing_ ? AllBorrowingDifferences() : AllProperDifferences();
        const SlotPast past = ReadPast(ex, s, k, int(all.size()));
        const FractionRecord r = borrowing_ ? DrawBorrowingDifference(ex.rnd, past) : DrawProperDifference(ex.rnd, past);
        ex.Pic().FillStyle = 1;
        WriteRecord(ex, s, k, r, 4);

        const int y0 = Exercise::Top(s);
        if (borrowing_)
            ex.PrintAt(130, y0 + 158, kOne);
        ex.PrintAt(180, y0 + 180, r.d);
        ex.PrintAt(330, y0 + 180, r.d);
        // Two-digit numerators start 10 pixels further left so they stay over their bar.
        ex.PrintAt(r.a >= 10 ? 170 : 180, y0 + 130, r.a);
        ex.Bar(165, y0 + 170, 45);
        ex.PrintAt(r.b >= 10 ? 320 : 330, y0 + 130, r.b);
        ex.Bar(315, y0 + 170, 45);
        ex.Pic().ForeColor = colours::Black;
        ex.PrintAt(250, y0 + 152, kMinus);
        ex.PrintAt(380, y0 + 152, kEquals);
        ex.Bar(440, y0 + 166, 64);
    }

protected:
    Judgement JudgeRecord(const FractionRecord& r, const TypedAnswer& answer) const override
    {
        return JudgeProperDifference(r, answer);
    }

private:
    bool borrowing_;
};

} // namespace

LevelRules& Level19Rules() { static ProperSubtractionRules rules(false); return rules; }
LevelRules& Level21Rules() { static ProperSubtractionRules rules(true); return rules; }
