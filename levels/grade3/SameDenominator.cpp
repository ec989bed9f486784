// SPDX-License-Identifier: GPL-3.0-or-later
#include "levels/grade3/SameDenominator.h"

#include "levels/LevelTable.h"
#include "levels/SharedRules.h"

#include <algorithm>

namespace {

const QString kHint = QStringLiteral("分母と分子が同じ数のときは？");
const QString kPlus = QStringLiteral("＋");
const QString kMinus = QStringLiteral("－");
const QString kEquals = QStringLiteral("＝");
const QString kOne = QStringLiteral("1");

// Pixels of the expression, x from the panel's left, y below the slot's y0.
constexpr int kLeftX = 180, kRightX = 330;
constexpr int kNumeratorY = 130, kDenominatorY = 180, kWholeOneY = 160;
constexpr int kLeftBarX = 165, kRightBarX = 315, kBarY = 170, kBarWidth = 45;
constexpr int kSignX = 250, kEqualsX = 410, kSignY = 152;
constexpr int kAnswerBarX = 450, kAnswerBarY = 166, kAnswerBarWidth = 64;

// 1..d-1 with 1 twice as often: Int(Rnd*d) with 0 raised to 1.
int DrawSmallNumerator(Random& rnd, int d)
{
    int v = int(rnd.Rnd() * d);
    if (v >= d)
        v = d - 1;
    return std::max(v, 1);
}

bool Used(const SlotPast& past, int d, int a)
{
    return std::find(past.used.begin(), past.used.end(), std::pair{d, a}) != past.used.end();
}

// Picks a pair the round has not used yet, and a second numerator that fits it.
std::optional<SameDenominatorProblem> PickUnused(int level, const SlotPast& past, Random& rnd)
{
    std::vector<std::pair<int, int>> free;
    for (int d = 2; d <= 9; ++d)
        for (int a = level == 9 ? 1 : 2; a <= (level == 9 ? d - 1 : d); ++a)
            if (!Used(past, d, a))
                free.emplace_back(d, a);
    if (free.empty())
        return std::nullopt;
    const auto [d, a] = free[std::min(size_t(rnd.Rnd() * free.size()), free.size() - 1)];
    if (level == 9) {
        const int b = 1 + int(rnd.Rnd() * (d - a));
        return SameDenominatorProblem{d, a, b, a + b};
    }
    const int b = 1 + int(rnd.Rnd() * (a - 1));
    return SameDenominatorProblem{d, a, b, a - b};
}

void PrintFraction(Exercise& ex, int top, int x, int barX, int numerator, int denominator)
{
    ex.PrintAt(x, top + kDenominatorY, denominator);
    ex.PrintAt(x, top + kNumeratorY, numerator);
    ex.Bar(barX, top + kBarY, kBarWidth);
}

void PrintSignAndEquals(Exercise& ex, int top, const QString& sign)
{
    ex.Pic().ForeColor = colours::Black;
    ex.PrintAt(kSignX, top + kSignY, sign);
    ex.Pic().ForeColor = colours::Black;
    ex.PrintAt(kEqualsX, top + kSignY, kEquals);
    ex.Bar(kAnswerBarX, top + kAnswerBarY, kAnswerBarWidth);
}

SameDenominatorProblem MakeProblem(Exercise& ex, int level, int s, int k)
{
    const SameDenominatorProblem p = ChooseSameDenominator(
        level, PastOf(ex, s, k), [&ex, level] { return DrawSameDenominatorCandidate(ex.rnd, level); }, ex.rnd);
    ex.Pic().FillStyle = 1;
    ex.Rec(s, k, 1) = p.d;
    ex.Rec(s, k, 2) = p.a;
    ex.Rec(s, k, 3) = p.b;
    ex.Rec(s, k, 4) = p.result;
    return p;
}

class SumRules final : public LevelRules
{
public:
    void Generate(Exercise& ex, int s, int k) override
    {
        const SameDenominatorProblem p = MakeProblem(ex, 9, s, k);
        const int top = Exercise::Top(s);
        ex.PrintAt(kLeftX, top + kDenominatorY, p.d);
        ex.PrintAt(kRightX, top + kDenominatorY, p.d);
        ex.PrintAt(kLeftX, top + kNumeratorY, p.a);
        ex.Bar(kLeftBarX, top + kBarY, kBarWidth);
        ex.PrintAt(kRightX, top + kNumeratorY, p.b);
        ex.Bar(kRightBarX, top + kBarY, kBarWidth);
        PrintSignAndEquals(ex, top, kPlus);
    }

    Verdict Judge(Exercise& ex, int s, int k, int, const TypedAnswer& a) override
    {
        const Verdict v = JudgeSum(ex.Rec(s, k, 1), ex.Rec(s, k, 4), a.t1, a.t2, a.t3);
        if (v == Verdict::Hint)
            ex.platform.MsgBox(kHint);
        return v;
    }

    // Text3 keeps a typed 1 through a wrong answer; a new problem after a right one starts
    // with it empty.
    void AfterCheck(Exercise& ex, int s, Verdict v) override
    {
        if (v == Verdict::Right) {
            ResetText3(ex, s);
        } else {
            ex.EmptyBoxes(s, true, true, false);
            ex.MakeText1Target(s, true);
        }
    }
};

class DifferenceRules final : public DenominatorAndResultRule
{
public:
    void Generate(Exercise& ex, int s, int k) override
    {
        const SameDenominatorProblem p = MakeProblem(ex, 10, s, k);
        const int top = Exercise::Top(s);
        if (p.a != p.d)
            PrintFraction(ex, top, kLeftX, kLeftBarX, p.a, p.d);
        else
            ex.PrintAt(kLeftX, top + kWholeOneY, kOne);
        PrintFraction(ex, top, kRightX, kRightBarX, p.b, p.d);
        PrintSignAndEquals(ex, top, kMinus);
    }
};

} // namespace

SameDenominatorProblem DrawSameDenominatorCandidate(Random& rnd, int level)
{
    for (;;) {
        int d = int(rnd.Rnd() * 9 + 2);
        if (d > 9)
            d = 9;
        if (level == 9) {
            const int a = DrawSmallNumerator(rnd, d);
            const int b = DrawSmallNumerator(rnd, d);
            if (a + b <= d)
                return {d, a, b, a + b};
        } else {
            int a = int(rnd.Rnd() * d + 1);
            if (a >= d)
                a = d;
            const int b = DrawSmallNumerator(rnd, d);
            if (a - b >= 1)
                return {d, a, b, a - b};
        }
    }
}

SlotPast PastOf(Exercise& ex, int s, int k)
{
    SlotPast past;
    for (int j = HistoryStart(k, kSameDenominatorPairs); j < k; ++j)
        past.used.emplace_back(ex.Rec(s, j, 1), ex.Rec(s, j, 2));
    if (k > 1)
        past.previous = SameDenominatorProblem{ex.Rec(s, k - 1, 1), ex.Rec(s, k - 1, 2), ex.Rec(s, k - 1, 3),
                                               ex.Rec(s, k - 1, 4)};
    return past;
}

bool IsSimilar(const SameDenominatorProblem& previous, const SameDenominatorProblem& candidate)
{
    // Third condition, our choice: the same answer numerator (a+b, or a-b) as the previous one.
    return previous.d == candidate.d || previous.a == candidate.a || previous.result == candidate.result;
}

SameDenominatorProblem ChooseSameDenominator(int level, const SlotPast& past,
                                             const std::function<SameDenominatorProblem()>& draw,
                                             Random& rnd, int maxRejected)
{
    int similar = 0;
    for (int rejected = 0;; ++rejected) {
        if (rejected >= maxRejected) {
            // The draws keep missing the few pairs left: take one of them directly.
            if (const auto unused = PickUnused(level, past, rnd))
                return *unused;
            return draw();
        }
        const SameDenominatorProblem p = draw();
        if (!past.previous)
            return p;
        if (Used(past, p.d, p.a))
            continue;
        if (IsSimilar(*past.previous, p) && similar < kSimilarRetries) {
            ++similar;
            continue;
        }
        return p;
    }
}

Verdict JudgeSum(int d, int result, double t1, double t2, double t3)
{
    if (t1 != d || t2 != result)
        return Verdict::Wrong;
    if (t1 == t2 && t3 != 1)
        return Verdict::Hint;
    return Verdict::Right;
}

LevelRules& Level9Rules() { static SumRules rules; return rules; }
LevelRules& Level10Rules() { static DifferenceRules rules; return rules; }
