// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/grade4/Addition.h"

#include "levels/LevelTable.h"
#include "levels/SharedRules.h"

#include <algorithm>

// ---- shared by levels 17 to 22 ----

bool SlotPast::Used(const FractionRecord& r) const
{
    return std::any_of(earlier.begin(), earlier.end(), [&](const FractionRecord& e) { return e.SameFractions(r); });
}

SlotPast PastOf(const std::vector<FractionRecord>& records, int distinctProblems)
{
    SlotPast past;
    const int k = int(records.size()) + 1;
    past.earlier.assign(records.begin() + (HistoryStart(k, distinctProblems) - 1), records.end());
    if (!records.empty())
        past.previous = records.back();
    return past;
}

FractionRecord ReadRecord(Exercise& ex, int s, int k)
{
    return {ex.Rec(s, k, 1), ex.Rec(s, k, 2), ex.Rec(s, k, 3), ex.Rec(s, k, 4), ex.Rec(s, k, 5)};
}

SlotPast ReadPast(Exercise& ex, int s, int k, int distinctProblems)
{
    std::vector<FractionRecord> records;
    for (int j = 1; j < k; ++j)
        records.push_back(ReadRecord(ex, s, j));
    return PastOf(records, distinctProblems);
}

void WriteRecord(Exercise& ex, int s, int k, const FractionRecord& r, int items)
{
    const int values[5] = {r.d, r.a, r.b, r.item4, r.item5};
    for (int i = 1; i <= items; ++i)
        ex.Rec(s, k, i) = values[i - 1];
}

int DrawDenominatorUpTo9(Random& rnd)
{
    return std::min(int(rnd.Rnd() * 9 + 2), 9);
}

int DrawSmallNumerator(Random& rnd, int d)
{
    int n = int(rnd.Rnd() * 9);
    if (n >= d)
        n = d - 1;
    return std::max(n, 1);
}

Verdict FractionAnswerRules::Judge(Exercise& ex, int s, int k, int, const TypedAnswer& answer)
{
    const Judgement j = JudgeRecord(ReadRecord(ex, s, k), answer);
    if (!j.message.isEmpty())
        ex.platform.MsgBox(j.message);
    return j.verdict;
}

void FractionAnswerRules::AfterCheck(Exercise& ex, int s, Verdict v)
{
    if (v == Verdict::Right) {
        ResetText3(ex, s);
        return;
    }
    ex.EmptyBoxes(s, true, true, true);
    ex.MakeText1Target(s, true);
}

// ---- levels 17 and 18 ----

const std::vector<FractionRecord>& AllAdditions()
{
    static const std::vector<FractionRecord> all = [] {
        std::vector<FractionRecord> v;
        for (int d = 2; d <= 9; ++d)
            for (int a = 1; a < d; ++a)
                for (int b = 1; b < d; ++b)
                    v.push_back({d, a, b, a + b, 0});
        return v;
    }();
    return all;
}

namespace {

// The previous problem shares its numerator sum, its denominator or a numerator.
bool LooksLikeLastSum(const FractionRecord& prev, const FractionRecord& r)
{
    return prev.item4 == r.a + r.b || prev.d == r.d || prev.a == r.a || prev.b == r.b;
}

constexpr int kSimilarRetries = 10;

} // namespace

FractionRecord DrawProperSum(Random& rnd, const SlotPast& past)
{
    int similar = 0;
    for (int draw = 0; draw < kMaxRejectedDraws; ++draw) {
        const int d = DrawDenominatorUpTo9(rnd);
        const int a = DrawSmallNumerator(rnd, d);
        const int b = DrawSmallNumerator(rnd, d);
        const FractionRecord r{d, a, b, a + b, 0};
        if (past.Used(r))
            continue;
        if (past.previous && LooksLikeLastSum(*past.previous, r) && similar < kSimilarRetries) {
            ++similar;
            continue;
        }
        return r;
    }
    const auto left = PickRemaining(rnd, AllAdditions(), [&](const FractionRecord& r) { return !past.Used(r); });
    return left ? *left : AllAdditions().front();
}

FractionRecord DrawMixedSum(Random& rnd, const SlotPast& past)
{
    for (int draw = 0; draw < kMaxRejectedDraws; ++draw) {
        const int d = DrawDenominatorUpTo9(rnd);
        const int a = DrawSmallNumerator(rnd, d);
        const int b = DrawSmallNumerator(rnd, d);
        const int w1 = int(rnd.Rnd() * 4);
        const int w2 = int(rnd.Rnd() * 4) + 1;
        const FractionRecord r{d, a, b, w1, w2};
        if (!past.Used(r))   // the whole parts do not count
            return r;
    }
    const auto left = PickRemaining(rnd, AllAdditions(), [&](const FractionRecord& r) { return !past.Used(r); });
    FractionRecord r = left ? *left : AllAdditions().front();
    r.item4 = int(rnd.Rnd() * 4);
    r.item5 = int(rnd.Rnd() * 4) + 1;
    return r;
}

Judgement JudgeProperSum(const FractionRecord& r, const TypedAnswer& x)
{
    const int d = r.d, sum = r.item4;
    const bool fraction = x.t1 == d && x.t2 == sum;
    if (sum < d)
        return {fraction && x.text3.isEmpty() ? Verdict::Right : Verdict::Wrong, {}};
    if (sum == d) {
        if (x.t3 == 1 && x.text1.isEmpty() && x.text2.isEmpty())
            return {Verdict::Right, {}};
        if (fraction && x.text3.isEmpty())
            return {Verdict::Hint, hints::SameNumbers};
        return {Verdict::Wrong, {}};
    }
    if (x.t3 == 1 && x.t1 == d && x.t2 == sum - d)
        return {Verdict::Right, {}};
    if (fraction && x.t3 == 0)
        return {Verdict::Hint, hints::ImproperSum};
    return {Verdict::Wrong, {}};
}

Judgement JudgeMixedSum(const FractionRecord& r, const TypedAnswer& x)
{
    const int d = r.d, sum = r.a + r.b, whole = r.item4 + r.item5;
    const bool unconverted = x.t3 == whole && x.t1 == d && x.t2 == sum;
    if (sum < d)
        return {unconverted ? Verdict::Right : Verdict::Wrong, {}};
    if (sum == d) {
        if (x.t3 == whole + 1)   // the fraction boxes are not looked at
            return {Verdict::Right, {}};
        return unconverted ? Judgement{Verdict::Hint, hints::SameNumbers} : Judgement{Verdict::Wrong, {}};
    }
    if (x.t3 == whole + 1 && x.t1 == d && x.t2 == sum - d)
        return {Verdict::Right, {}};
    return unconverted ? Judgement{Verdict::Hint, hints::NumeratorTooLarge} : Judgement{Verdict::Wrong, {}};
}

namespace {

const QString kPlus = QStringLiteral("＋");
const QString kEquals = QStringLiteral("＝");

// Both levels draw the answer bar here; the boxes around it were placed at the slot's start.
constexpr int kAnswerBarLeft = 500;

class AdditionRules final : public FractionAnswerRules
{
public:
    explicit AdditionRules(bool mixed) : mixed_(mixed) {}

    void Generate(Exercise& ex, int s, int k) override
    {
        const SlotPast past = ReadPast(ex, s, k, int(AllAdditions().size()));
        const FractionRecord r = mixed_ ? DrawMixedSum(ex.rnd, past) : DrawProperSum(ex.rnd, past);
        ex.Pic().FillStyle = 1;
        // Level 17 leaves item 10k+5 alone; level 18 keeps the whole parts there.
        WriteRecord(ex, s, k, r, mixed_ ? 5 : 4);
        if (mixed_)
            DrawMixed(ex, s, r);
        else
            DrawProper(ex, s, r);
    }

protected:
    Judgement JudgeRecord(const FractionRecord& r, const TypedAnswer& answer) const override
    {
        return mixed_ ? JudgeMixedSum(r, answer) : JudgeProperSum(r, answer);
    }

private:
    static void DrawProper(Exercise& ex, int s, const FractionRecord& r)
    {
        const int y0 = Exercise::Top(s);
        ex.PrintAt(180, y0 + 180, r.d);
        ex.PrintAt(330, y0 + 180, r.d);
        ex.PrintAt(180, y0 + 130, r.a);
        ex.Bar(165, y0 + 170, 45);
        ex.PrintAt(330, y0 + 130, r.b);
        ex.Bar(315, y0 + 170, 45);
        ex.Pic().ForeColor = colours::Black;
        ex.PrintAt(250, y0 + 152, kPlus);
        ex.PrintAt(410, y0 + 152, kEquals);
        ex.Bar(kAnswerBarLeft, y0 + 166, 64);
    }

    static void DrawMixed(Exercise& ex, int s, const FractionRecord& r)
    {
        const int y0 = Exercise::Top(s);
        if (r.item4 > 0)   // without a whole part the first number is a proper fraction
            ex.PrintAt(140, y0 + 150, r.item4);
        ex.PrintAt(190, y0 + 177, r.d);
        ex.PrintAt(360, y0 + 177, r.d);
        ex.PrintAt(310, y0 + 152, r.item5);
        ex.Bar(165, y0 + 166, 64);
        ex.PrintAt(190, y0 + 127, r.a);
        ex.PrintAt(360, y0 + 127, r.b);
        ex.Bar(335, y0 + 166, 64);
        ex.Pic().ForeColor = colours::Black;
        ex.PrintAt(255, y0 + 152, kPlus);
        ex.PrintAt(410, y0 + 152, kEquals);
        ex.Bar(kAnswerBarLeft, y0 + 166, 64);
    }

    bool mixed_;
};

} // namespace

LevelRules& Level17Rules() { static AdditionRules rules(false); return rules; }
LevelRules& Level18Rules() { static AdditionRules rules(true); return rules; }
